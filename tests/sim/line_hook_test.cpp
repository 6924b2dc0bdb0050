// The line hook sees every byte both ways, each run once, the engine's only
// after it was written.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "host_line.h"
#include "sim/simulator.h"

namespace qv::sim {
namespace {

using sim_test::Bytes;

Bytes U32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

struct Seen {
    std::mutex mutex;
    Bytes fromHost;
    Bytes toHost;
};

TEST(SimulatorLineHook, SeesHostBytesAndEngineBytesOnce) {
    Simulator::Options options;
    options.registerDriver = false;
    options.driverSocket = false;
    options.powerSocket = false;
    options.engine.AnswerAtOnce();
    Simulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    Seen seen;
    sim.SetLineHook([&seen](Direction direction, std::span<const uint8_t> bytes) {
        std::lock_guard lock(seen.mutex);
        Bytes& into = direction == Direction::HostToEngine ? seen.fromHost : seen.toHost;
        into.insert(into.end(), bytes.begin(), bytes.end());
    });
    sim_test::HostLine host(sim.SlavePath());
    ASSERT_TRUE(host.Ok());
    ASSERT_NE(sim.DriverRequest(2, U32(1), {}).result, 0);  // supply on
    ASSERT_NE(sim.DriverRequest(6, U32(5), {}).result, 0);  // wake pulse
    ASSERT_NE(sim.DriverRequest(6, U32(4), {}).result, 0);

    const Bytes command = sim_test::HostFrame(0x12, 0x41, {0x70, 0x40, 0x02});
    ASSERT_TRUE(host.Write(command));
    const auto ack = host.ReadFrame();
    const auto result = host.ReadFrame();
    ASSERT_TRUE(ack && result);

    // What reached the host was already reported: the hook runs after the write.
    std::lock_guard lock(seen.mutex);
    EXPECT_EQ(seen.fromHost, command);
    Bytes expected = *ack;
    expected.insert(expected.end(), result->begin(), result->end());
    EXPECT_EQ(seen.toHost, expected);
}

}  // namespace
}  // namespace qv::sim

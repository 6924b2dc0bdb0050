// The line hook sees every byte both ways, each run once.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
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
    std::condition_variable grew;
    Bytes fromHost;
    Bytes toHost;
};

TEST(SimulatorLineHook, SeesHostBytesAndEngineBytesOnce) {
    Simulator::Options options;
    options.registerDriver = false;
    options.driverSocket = false;
    options.powerSocket = false;
    options.engine.AnswerAtOnce();
    Seen seen;  // outlives the simulator, whose thread calls the hook
    Simulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    sim.SetLineHook([&seen](Direction direction, std::span<const uint8_t> bytes) {
        {
            std::lock_guard lock(seen.mutex);
            Bytes& into = direction == Direction::HostToEngine ? seen.fromHost : seen.toHost;
            into.insert(into.end(), bytes.begin(), bytes.end());
        }
        seen.grew.notify_all();
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

    // The hook runs right after each write, so the host may be a step ahead.
    Bytes expected = *ack;
    expected.insert(expected.end(), result->begin(), result->end());
    std::unique_lock lock(seen.mutex);
    seen.grew.wait_for(lock, std::chrono::seconds(10), [&] {
        return seen.toHost.size() >= expected.size() && seen.fromHost.size() >= command.size();
    });
    EXPECT_EQ(seen.fromHost, command);
    EXPECT_EQ(seen.toHost, expected);
}

}  // namespace
}  // namespace qv::sim

#include "sim/driver_model.h"

#include <gtest/gtest.h>

#include "sim/commands.h"
#include "sim/parameter_table.h"
#include "sim/simulator.h"

namespace qv::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes U32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

Bytes Record(uint32_t line, uint32_t level) {
    Bytes r = U32(line);
    const Bytes l = U32(level);
    r.insert(r.end(), l.begin(), l.end());
    return r;
}

TEST(DriverModel, DedicatedRequestsAndLineRecordsDriveTheSameLines) {
    DriverModel d;
    EXPECT_NE(d.Request(2, U32(1), {}).result, 0);  // power, dedicated
    EXPECT_EQ(d.Request(3, {}, Bytes(4)).returned, U32(1));
    EXPECT_NE(d.Request(7, U32(6), {}).result, 0);  // trigger 0
    EXPECT_FALSE(d.Levels().trigger);
    EXPECT_NE(d.Request(1, U32(0), {}).result, 0);  // fallback form: trigger 1
    EXPECT_TRUE(d.Levels().trigger);
    EXPECT_NE(d.Request(1, Record(kLineWake, 1), {}).result, 0);
    EXPECT_TRUE(d.Levels().wake);

    // Read-line: identifier in the output buffer, level 1 put there by the caller.
    auto read = d.Request(2, {}, Record(kLineWake, 1));
    EXPECT_NE(read.result, 0);
    EXPECT_EQ(read.returned, Record(kLineWake, 1));
    EXPECT_NE(d.Request(6, U32(4), {}).result, 0);
    EXPECT_EQ(d.Request(2, {}, Record(kLineWake, 1)).returned, Record(kLineWake, 0));
    EXPECT_EQ(d.Request(2, {}, Record(kLinePower, 0)).returned, Record(kLinePower, 1));

    // Malformed requests fail and change nothing.
    EXPECT_EQ(d.Request(7, U32(9), {}).result, 0);
    EXPECT_EQ(d.Request(1, Record(0x12345678, 1), {}).result, 0);
    EXPECT_EQ(d.Request(3, {}, Bytes(2)).result, 0);
    EXPECT_EQ(d.Request(4, U32(1), {}).result, 0);
    EXPECT_EQ(d.Request(7, U32(7), {}, 1u << 7).result, 0);
    EXPECT_FALSE(d.Levels().trigger == false);
}

TEST(DriverModel, PowerBroadcastRecordLayout) {
    const Bytes message = PowerMessage(PowerBroadcastRecord(kPowerTransition, kPowerResume, u"on"));
    EXPECT_EQ(message,
              (Bytes{16, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x00, 0x01, 0x12, 4, 0, 0, 0, 'o', 0, 'n', 0}));
}

TEST(ParameterTable, FactoryDefaultsCoverTheHostsParameters) {
    ParameterTable t;
    EXPECT_EQ(t.Get(0x7B, 0xA2), 100);
    EXPECT_EQ(t.Get(0x60, 0xC1), 1);
    EXPECT_EQ(t.Get(0x4B, 0xC3), 0);  // companion of EAN-13's code-ID
    EXPECT_EQ(t.Get(0x43, 0x59), 0x1D);
    EXPECT_TRUE(t.Get(0x4A, 0x4C) && t.Get(0x46, 0x4C));  // asked for with the Detail record
    EXPECT_FALSE(t.Get(0x38, 0x40));
    EXPECT_TRUE(t.Set(0x7B, 0x44, 0x1FF));
    EXPECT_EQ(t.Get(0x7B, 0x44), 0xFF) << "one-byte parameters keep the low byte";
    t.RestoreFactory();
    EXPECT_EQ(t.Get(0x7B, 0x44), 0);
    // Every code-ID parameter differs from the host's assignment.
    EXPECT_EQ(t.Get(0x42, 0x48), 'H');
    EXPECT_EQ(t.Get(0x4E, 0x48), 'l');
}

TEST(Commands, BarcodeLinesAndFaults) {
    Simulator sim;  // not started: the console language works on the models alone
    EXPECT_TRUE(RunCommand(sim, "12 ABC 123").ok);
    EXPECT_TRUE(RunCommand(sim, "QR a\\x03b\\\\c").ok);
    EXPECT_FALSE(RunCommand(sim, "qr bad\\q").ok);
    EXPECT_FALSE(RunCommand(sim, "nosuch text").ok);
    EXPECT_EQ(sim.QueuedBarcodes(), 2u);
    std::string text;
    EXPECT_TRUE(UnescapeText("a\\x03b\\\\c", text));
    EXPECT_EQ(text, std::string("a\x03"
                                "b\\c"));

    EXPECT_TRUE(RunCommand(sim, "fault nak 50").ok);
    EXPECT_EQ(sim.GetFaults().nakReason, 0x50);
    EXPECT_TRUE(RunCommand(sim, "fault split 20 3 8").ok);
    EXPECT_EQ(sim.GetFaults().splitAt, (std::vector<size_t>{3, 8}));
    EXPECT_TRUE(RunCommand(sim, "fault refuse 6 7").ok);
    EXPECT_EQ(sim.GetFaults().refuseDriverCodes, (1u << 6) | (1u << 7));
    EXPECT_FALSE(RunCommand(sim, "fault garbage zz").ok);
    EXPECT_TRUE(RunCommand(sim, "fault clear").ok);
    EXPECT_FALSE(sim.GetFaults().nakReason);
    EXPECT_TRUE(RunCommand(sim, "param 7B 82 4660").ok);
    EXPECT_EQ(sim.Parameter(0x7B, 0x82), 4660);
    EXPECT_TRUE(RunCommand(sim, "quit").quit);
}

}  // namespace
}  // namespace qv::sim

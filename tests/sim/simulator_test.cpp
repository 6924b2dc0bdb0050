// The simulator driven from the host's side through the real pseudo-terminal,
// with hand-built frames.
#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "host_line.h"
#include "init_payload.h"
#include "platform/core/clock.h"
#include "platform/driver/device_driver.h"
#include "sim/parameter_table.h"
#include "test_support/temp_dir.h"

namespace qv::sim {
namespace {

using sim_test::Bytes;
using sim_test::HostFrame;
using sim_test::PayloadOf;

Bytes U32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

class SimulatorLine : public ::testing::Test {
  protected:
    void SetUp() override {
        Simulator::Options options;
        options.engine.ackResendMs = 400;
        options.registerDriver = false;
        m_sim = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(m_sim->Start(&error)) << error;
        m_host = std::make_unique<sim_test::HostLine>(m_sim->SlavePath());
        ASSERT_TRUE(m_host->Ok());
    }

    // Dedicated driver requests, as a host of model class -1 sends them.
    void Request(uint32_t code, uint32_t value) {
        ASSERT_NE(m_sim->DriverRequest(code, U32(value), {}).result, 0);
    }
    void PowerOn() { Request(2, 1); }
    void WakePulse() {
        Request(6, 5);
        Request(6, 4);
    }
    void PressTrigger() { Request(7, 6); }
    void ReleaseTrigger() { Request(7, 7); }

    // Sends a command after a wake pulse; returns the engine's ACK and reply.
    std::pair<Bytes, Bytes> Command(uint8_t type, const Bytes& payload) {
        WakePulse();
        const uint8_t seq = m_seq = m_seq == 0xFF ? 0x11 : m_seq + 1;
        EXPECT_TRUE(m_host->Write(HostFrame(seq, type, payload)));
        auto ack = m_host->ReadFrame();
        auto reply = m_host->ReadFrame();
        EXPECT_TRUE(ack && reply);
        if (!ack || !reply) return {};
        EXPECT_EQ(*ack, (Bytes{0x02, seq, 0x06, 0x00, 0x03}));
        return {*ack, *reply};
    }

    void AckEngineFrame(const Bytes& frame) {
        WakePulse();
        ASSERT_TRUE(m_host->Write({0x02, frame[1], 0x06, 0x00, 0x03}));
    }

    std::unique_ptr<Simulator> m_sim;
    std::unique_ptr<sim_test::HostLine> m_host;
    uint8_t m_seq = 0x11;
};

TEST_F(SimulatorLine, WorkedExampleIsAcceptedAndAnswered) {
    PowerOn();
    WakePulse();
    ASSERT_TRUE(m_host->Write({0x02, 0x12, 0x41, 0x70, 0x40, 0x02, 0x61, 0x04, 0x96, 0x03}));
    EXPECT_EQ(m_host->ReadFrame(), (Bytes{0x02, 0x12, 0x06, 0x00, 0x03}));
    const auto result = m_host->ReadFrame();
    ASSERT_TRUE(result);  // its checksum fits, or ReadFrame would not have cut it
    EXPECT_EQ((*result)[2], 0x51);
    EXPECT_GE((*result)[1], 0x11);  // the engine's own sequence, never a control value

    ASSERT_TRUE(m_sim->WaitForReceived(0x41, 1, 1000));
    const auto seen = m_sim->LastReceived(0x41);
    ASSERT_TRUE(seen);
    EXPECT_TRUE(seen->checksumOk);
    EXPECT_EQ(seen->payload, (Bytes{0x70, 0x40, 0x02}));
}

TEST_F(SimulatorLine, FlippedChecksumBitIsRefusedAndFramesWithoutWakeAreIgnored) {
    PowerOn();
    // Asleep: no wake pulse yet, so the engine hears nothing.
    ASSERT_TRUE(m_host->Write({0x02, 0x12, 0x41, 0x70, 0x40, 0x02, 0x61, 0x04, 0x96, 0x03}));
    EXPECT_TRUE(m_host->Drain(300).empty());
    EXPECT_EQ(m_sim->CountReceived(0x41), 0u);

    WakePulse();
    ASSERT_TRUE(m_host->Write({0x02, 0x12, 0x41, 0x70, 0x40, 0x02, 0x61, 0x04, 0x97, 0x03}));
    EXPECT_EQ(m_host->ReadFrame(), (Bytes{0x02, 0x12, 0x15, 0x50, 0x03}));

    // An unknown frame type is refused as not implemented.
    WakePulse();
    ASSERT_TRUE(m_host->Write(HostFrame(0x13, 0x44, {})));
    EXPECT_EQ(m_host->ReadFrame(), (Bytes{0x02, 0x13, 0x15, 0x40, 0x03}));
}

TEST_F(SimulatorLine, InitialisedQueryReportsFactoryCharactersThenTheAssignment) {
    PowerOn();
    const Bytes query{0x48, 0x48, 0x49, 0x48, 0x4E, 0x48};
    auto [ack, reply] = Command(0x40, query);
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_EQ(reply[2], 0x50);
    const Bytes fresh = PayloadOf(reply);
    auto factory = [](uint8_t group) {
        return static_cast<uint8_t>(ParameterTable::Factory(group, 0x48).value_or(0));
    };
    EXPECT_EQ(fresh, (Bytes{0x48, 0x48, factory(0x48), 0x49, 0x48, factory(0x49), 0x4E, 0x48,
                            factory(0x4E)}));
    EXPECT_NE(fresh, (Bytes{0x48, 0x48, 0x42, 0x49, 0x48, 0x43, 0x4E, 0x48, 0x44}));

    const Bytes init = sim_test::InitialisationPayload();
    ASSERT_EQ(init.size(), 369u);
    auto [initAck, result] = Command(0x41, init);
    EXPECT_EQ(result[2], 0x51);
    EXPECT_TRUE(m_sim->UnknownPairs().empty());

    auto [ack2, reply2] = Command(0x40, query);
    EXPECT_EQ(PayloadOf(reply2), (Bytes{0x48, 0x48, 0x42, 0x49, 0x48, 0x43, 0x4E, 0x48, 0x44}));

    // A reset brings the factory characters back.
    auto [resetAck, resetResult] = Command(0x42, {0x30, 0x40, 0x00, 0x40, 0x06});
    EXPECT_EQ(resetResult[2], 0x51);
    auto [ack3, reply3] = Command(0x40, query);
    EXPECT_EQ(PayloadOf(reply3), fresh);
}

TEST_F(SimulatorLine, Code39BarcodeOnlyWhileTriggeredAndEnabled) {
    PowerOn();
    Command(0x41, sim_test::InitialisationPayload());
    Command(0x41, {0x42, 0x40, 0x00});  // Code 39 off
    ASSERT_TRUE(m_sim->QueueBarcode(12, "CODE-39"));

    EXPECT_TRUE(m_host->Drain(500).empty()) << "no trigger, no barcode";
    PressTrigger();
    EXPECT_TRUE(m_host->Drain(600).empty()) << "Code 39 disabled";

    // Enabled while the trigger is still held: the engine reads it.
    Command(0x41, {0x42, 0x40, 0x01});
    const auto barcode = m_host->ReadFrame();
    ASSERT_TRUE(barcode);
    const Bytes expected{0x00, 0x08, '8', 'C', 'O', 'D', 'E', '-', '3', '9'};
    EXPECT_EQ((*barcode)[2], 0x60);
    EXPECT_EQ(PayloadOf(*barcode), expected);
    AckEngineFrame(*barcode);
    EXPECT_TRUE(m_host->Drain(900).empty()) << "acknowledged: no resend";
    EXPECT_EQ(m_sim->QueuedBarcodes(), 0u);

    // One read per press: the next barcode waits for a new press, and a
    // release before the decode time cancels it.
    ASSERT_TRUE(m_sim->QueueBarcode(12, "AGAIN"));
    EXPECT_TRUE(m_host->Drain(500).empty());
    ReleaseTrigger();
    PressTrigger();
    ReleaseTrigger();
    EXPECT_TRUE(m_host->Drain(500).empty());
    EXPECT_EQ(m_sim->QueuedBarcodes(), 1u);
}

TEST_F(SimulatorLine, UnacknowledgedBarcodeIsSentTwiceAndLongOneCarries012C) {
    PowerOn();
    ASSERT_TRUE(m_sim->QueueBarcode(9, std::string(299, 'x')));
    PressTrigger();
    const auto first = m_host->ReadFrame();
    ASSERT_TRUE(first);
    ASSERT_EQ(first->size(), 300u + 9u);
    EXPECT_EQ((*first)[3], 0x01);
    EXPECT_EQ((*first)[4], 0x2C);
    EXPECT_EQ((*first)[5], *ParameterTable::Factory(0x43, 0x48));  // factory code-ID of Code 128
    const auto again = m_host->ReadFrame(3000);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *first);
    EXPECT_TRUE(m_host->Drain(900).empty()) << "resent once only";
}

TEST_F(SimulatorLine, VersionTextsFollowTheirEntries) {
    PowerOn();
    m_sim->SetVersions("FW-1", "BT-2", "HW-3");
    auto [ack, reply] = Command(0x43, {0x30, 0xC6, 0x30, 0xC0, 0x30, 0xC2});
    EXPECT_EQ(reply[2], 0x53);
    const Bytes expected{0x30, 0xC6, 0,   0,   'F',  'W',  '-', '1', 0x30, 0xC0, 0,   0,
                         'B',  'T',  '-', '2', 0x30, 0xC2, 0,   0,   'H',  'W',  '-', '3'};
    EXPECT_EQ(PayloadOf(reply), expected);
}

TEST_F(SimulatorLine, FaultsBendTheAnswers) {
    PowerOn();
    Faults nak;
    nak.nakReason = 0x30;
    nak.commandsAffected = 1;
    m_sim->SetFaults(nak);
    WakePulse();
    ASSERT_TRUE(m_host->Write(HostFrame(0x20, 0x40, {0x71, 0x40})));
    EXPECT_EQ(m_host->ReadFrame(), (Bytes{0x02, 0x20, 0x15, 0x30, 0x03}));

    // The budget is spent: the next command is answered normally, here with
    // garbage ahead of each frame and the reply cut in two with a pause.
    Faults noisy;
    noisy.garbage = {0xFF, 0x00};
    noisy.splitAt = {4};
    noisy.splitPauseMs = 100;
    m_sim->SetFaults(noisy);
    auto [ack, reply] = Command(0x40, {0x71, 0x40});
    EXPECT_EQ(PayloadOf(reply), (Bytes{0x71, 0x40, 0x01}));
    EXPECT_EQ(m_host->Noise(), (Bytes{0xFF, 0x00, 0xFF, 0x00}));

    Faults busy;
    busy.firstAnswer = FirstAnswer::Busy;
    m_sim->SetFaults(busy);
    WakePulse();
    ASSERT_TRUE(m_host->Write(HostFrame(0x22, 0x40, {0x71, 0x40})));
    EXPECT_EQ(m_host->ReadFrame(), (Bytes{0x02, 0x22, 0x1B, 0x00, 0x03}));
    EXPECT_EQ(m_host->ReadFrame(), (Bytes{0x02, 0x22, 0x06, 0x00, 0x03}));
    const auto late = m_host->ReadFrame();
    ASSERT_TRUE(late);
    EXPECT_EQ((*late)[2], 0x50);

    Faults silent;
    silent.silent = true;
    m_sim->SetFaults(silent);
    WakePulse();
    ASSERT_TRUE(m_host->Write(HostFrame(0x23, 0x40, {0x71, 0x40})));
    EXPECT_TRUE(m_host->Drain(400).empty());
    EXPECT_EQ(m_sim->CountReceived(0x40), 4u);  // the last one heard, not answered
}

TEST_F(SimulatorLine, NoSupplyNoAnswers) {
    PowerOn();
    m_sim->DropSupply();
    EXPECT_FALSE(m_sim->Lines().power);
    WakePulse();
    ASSERT_TRUE(m_host->Write({0x02, 0x12, 0x41, 0x70, 0x40, 0x02, 0x61, 0x04, 0x96, 0x03}));
    EXPECT_TRUE(m_host->Drain(300).empty());
    EXPECT_FALSE(m_sim->SendEventNotification());

    PowerOn();
    const Bytes event{0x01};
    ASSERT_TRUE(m_sim->SendEventNotification(event));
    const auto frame = m_host->ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ((*frame)[2], 0x61);
    EXPECT_EQ(PayloadOf(*frame), event);
}

// The two outside bindings: the driver socket through the platform's own
// client, and the notification socket read as the platform would.
TEST(SimulatorSockets, DriverSocketAndPowerNotifications) {
    Simulator sim;
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    const auto env = sim.EnvironmentLines();
    ASSERT_EQ(env.size(), 3u);
    EXPECT_EQ(env[0], "QV_PORT_COM2=" + sim.SlavePath());
    EXPECT_EQ(env[1], "QV_DRIVER_BAR1=unix:" + sim.DriverSocketPath());
    EXPECT_EQ(env[2], "QV_POWER_NOTIFY=unix:" + sim.PowerSocketPath());

    {
        test_support::ScopedEnv bar1("QV_DRIVER_BAR1", "unix:" + sim.DriverSocketPath());
        auto handle = platform::DriverHandle::Open("BAR1:");
        ASSERT_TRUE(handle);
        uint32_t on = 1;
        EXPECT_NE(handle->IoControl(2, &on, 4, nullptr, 0), 0);
        uint32_t status = 0;
        EXPECT_NE(handle->IoControl(3, nullptr, 0, &status, 4), 0);
        EXPECT_EQ(status, 1u);
        // Line record read: identifier in, level back.
        uint8_t record[8] = {0x08, 0x41, 0x41, 0x04, 1, 0, 0, 0};
        EXPECT_NE(handle->IoControl(2, nullptr, 0, record, 8), 0);
        EXPECT_EQ(record[4], 1);
        Faults refuse;
        refuse.refuseDriverCodes = 1u << 7;
        sim.SetFaults(refuse);
        uint32_t press = 6;
        EXPECT_EQ(handle->IoControl(7, &press, 4, nullptr, 0), 0);
    }
    // In-process registration reaches the same driver.
    {
        auto handle = platform::DriverHandle::Open("BAR1:");
        ASSERT_TRUE(handle);
        uint32_t status = 0;
        EXPECT_NE(handle->IoControl(3, nullptr, 0, &status, 4), 0);
        EXPECT_EQ(status, 1u);
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sim.PowerSocketPath().c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    for (int i = 0; i < 200 && sim.PowerListeners() == 0; ++i)
        platform::Sleep(10);
    EXPECT_EQ(sim.Suspend(), 1u);
    EXPECT_FALSE(sim.Lines().power) << "the handheld's sleep cuts the engine's supply";
    uint8_t message[64] = {};
    size_t got = 0;
    while (got < 4 + 12 + 14) {
        const ssize_t n = ::recv(fd, message + got, sizeof message - got, 0);
        ASSERT_GT(n, 0);
        got += static_cast<size_t>(n);
    }
    EXPECT_EQ(Bytes(message, message + 16),
              (Bytes{26, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x00, 0x20, 0x00, 14, 0, 0, 0}));
    EXPECT_EQ(Bytes(message + 16, message + 20), (Bytes{'s', 0, 'u', 0}));
    ::close(fd);
}

}  // namespace
}  // namespace qv::sim

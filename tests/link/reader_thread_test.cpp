#include "link/reader_thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "engine/imager_engine.h"
#include "link/command_exchange.h"
#include "link/engine_frames.h"
#include "link/link_test_support.h"
#include "sim/simulator.h"

namespace qv {
namespace {

using namespace test_frames;
using namespace std::chrono_literals;

// An engine object opened on a pseudo-terminal with its reader running; the
// test plays the engine on the master side.
class ReaderThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.SlavePath().empty());
        engine.m_serial.Configure(2, 57600, 8, 0, 0);
        ASSERT_TRUE(engine.m_serial.Open());
        engine.m_bActive = 1;
        engine.m_hStopEvent = std::make_unique<platform::Event>();
        engine.m_hRespEvent = std::make_unique<platform::Event>();
        ASSERT_TRUE(engine.m_hComThread.Start([this] { ThreadComProc(&engine); }));
        ASSERT_TRUE(log.WaitFor("[ThreadComProc] Start!!!!!!!"));
    }
    void TearDown() override {
        if (engine.m_serial.IsOpen()) engine.m_serial.PrepareClose();
        engine.m_bIdle = 1;
        engine.m_hStopEvent->Set();
        EXPECT_TRUE(engine.m_hComThread.WaitFor(5000));
        engine.m_hComThread.Join();
    }

    // Answers the next command (of `commandLength` bytes) with `answer`.
    std::thread Answer(size_t commandLength, Bytes answer) {
        return std::thread([this, commandLength, answer] {
            command = pty.Read(commandLength);
            pty.Write(answer);
        });
    }

    LogCapture log;
    test_support::TempDir registryDir;
    test_support::ScopedEnv registry{"QV_REGISTRY", registryDir.Path() + "/registry.reg"};
    PtyPair pty;
    test_support::ScopedEnv port{"QV_PORT_COM2", pty.SlavePath()};
    ImagerEngine engine;
    Bytes command;
};

TEST_F(ReaderThreadTest, AnAckAndAReplyBackToBackAnswerTheCommand) {
    const Bytes payload = {0x48, 0x48, 0x42, 0x48, 0x49, 0x03};
    std::thread engineSide =
        Answer(9, Join({Short(0x06, 0x70), Full(0x50, 0x71, payload), Short(0x06, 0x72)}));
    uint8_t reply[kFrameBufferSize] = {};
    int32_t replyLength = 0;
    const uint8_t query[] = {0x48, 0x48};
    EXPECT_EQ(SendCommand(engine, FrameKind::SETUP_QUERY, query, 2, reply, &replyLength, false), 1);
    engineSide.join();
    EXPECT_EQ(Bytes(reply, reply + replyLength), payload);
    // The reader acknowledged the reply with the reply's own sequence number.
    EXPECT_EQ(pty.Read(5), (Bytes{0x02, 0x71, 0x06, 0x00, 0x03}));
    EXPECT_TRUE(log.WaitFor("[RO25]<== ACK COME\r\n"));
    EXPECT_TRUE(log.Contains("[RO25]==> ACK SEND\r\n[RO25]<== SETUP_REPLY\r\n"));
    EXPECT_FALSE(log.Contains("TIME OUT"));
}

TEST_F(ReaderThreadTest, ANakFailsTheCommandAndTheNextReusesItsFrameNumber) {
    engine.m_module.m_frameNo = 3;
    std::thread engineSide = Answer(7, Short(0x15, 0x73, 0x30));
    uint8_t reply[kFrameBufferSize];
    int32_t replyLength = 0;
    EXPECT_EQ(SendCommand(engine, FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
              0);
    engineSide.join();
    EXPECT_EQ(command[3], 0x64);
    EXPECT_EQ(engine.m_module.m_frameNo.load(), 3u);
    EXPECT_TRUE(log.WaitFor("[RO25]<== NAK COME [<== frame number error]\r\n"));
    EXPECT_TRUE(log.Contains("[RO25]NAK\r\n"));
    // The engine's NAK is not acknowledged.
    EXPECT_TRUE(pty.Read(1, 200).empty());

    engineSide = Answer(7, Full(0x51, 0x74, {}));
    EXPECT_EQ(SendCommand(engine, FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
              1);
    engineSide.join();
    EXPECT_EQ(command[3], 0x64);
    EXPECT_EQ(replyLength, 0);
}

TEST_F(ReaderThreadTest, ABarcodeIsAcknowledgedBeforeItIsDelivered) {
    pty.Write(Barcode(0x44, {'j', 'A', 'B', 0x03, 'C'}));
    EXPECT_EQ(pty.Read(5), (Bytes{0x02, 0x44, 0x06, 0x00, 0x03}));
    ASSERT_TRUE(log.WaitFor("READ DATA["));
    const std::string text = log.Text();
    EXPECT_LT(text.find("[RO25]<== BARCODE_DATA\r\n"), text.find("[RO25]==> ACK SEND\r\n"));
    EXPECT_LT(text.find("[RO25]==> ACK SEND\r\n"), text.find("READ DATA[jAB"));
}

TEST_F(ReaderThreadTest, AFrameInPiecesWithPausesIsFoundOnce) {
    const Bytes frame = Full(0x61, 0x45, {0x10, 0x20, 0x30, 0x40});
    for (size_t at = 0; at < frame.size(); at += 3) {
        pty.Write(
            Bytes(frame.begin() + long(at), frame.begin() + long(std::min(at + 3, frame.size()))));
        std::this_thread::sleep_for(60ms);
    }
    EXPECT_EQ(pty.Read(5), (Bytes{0x02, 0x45, 0x06, 0x00, 0x03}));
    EXPECT_TRUE(log.WaitFor("[RO25]<== EVENT_NOTIFICATION COME\r\n"));
    EXPECT_EQ(log.Count("EVENT_NOTIFICATION COME"), 1);
}

TEST_F(ReaderThreadTest, WhileSuspendedEveryLineEventClearsAndNothingIsAcknowledged) {
    engine.m_bActive = 0;
    pty.Write(Full(0x61, 0x46, {}));
    ASSERT_TRUE(log.WaitFor("[RO25]CLEAR BUFFER\r\n"));
    std::this_thread::sleep_for(100ms);
    pty.Write(Barcode(0x47, {'j', 'x'}));
    EXPECT_TRUE(log.WaitFor("[RO25]CLEAR BUFFER\r\n[RO25]CLEAR BUFFER\r\n"));
    EXPECT_TRUE(pty.Read(1, 300).empty());
    EXPECT_FALSE(log.Contains("BARCODE_DATA"));

    // Resumed: frames are handled again.
    engine.m_bActive = 1;
    pty.Write(Full(0x61, 0x48, {}));
    EXPECT_EQ(pty.Read(5), (Bytes{0x02, 0x48, 0x06, 0x00, 0x03}));
}

TEST_F(ReaderThreadTest, TheStopEventEndsAnIdleReaderAtTheNextLineEvent) {
    engine.m_hStopEvent->Set();
    pty.Write({0x55});
    EXPECT_TRUE(engine.m_hComThread.WaitFor(5000));
    EXPECT_TRUE(log.Contains("[RO25]STOP EVENT\r\n[RO25]\t----> [ThreadComProc] Stop!!!!!!!\r\n"));
}

TEST_F(ReaderThreadTest, ClosingThePortReleasesTheReader) {
    EXPECT_TRUE(engine.m_serial.PrepareClose());
    EXPECT_TRUE(engine.m_hComThread.WaitFor(5000));
    EXPECT_TRUE(log.Contains("[RO25]\t----> [ThreadComProc] Stop!!!!!!!\r\n"));
}

TEST_F(ReaderThreadTest, AVanishedDeviceEndsTheReader) {
    pty.CloseMaster();
    EXPECT_TRUE(engine.m_hComThread.WaitFor(5000));
    EXPECT_TRUE(log.Contains("[ThreadComProc] Stop!!!!!!!"));
}

// End to end against the engine simulator on its own pseudo-terminal.
TEST(ReaderOnTheSimulator, ASetupQueryIsAnsweredThroughTheReader) {
    LogCapture log;
    test_support::TempDir registryDir;
    test_support::ScopedEnv registry{"QV_REGISTRY", registryDir.Path() + "/registry.reg"};
    test_support::ScopedEnv noDriverSocket{"QV_DRIVER_BAR1", ""};
    ::unsetenv("QV_DRIVER_BAR1");
    sim::Simulator::Options options;
    options.driverSocket = false;
    options.powerSocket = false;
    sim::Simulator simulator(options);  // its "BAR1:" driver is registered in-process
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    test_support::ScopedEnv port{"QV_PORT_COM2", simulator.SlavePath()};

    // Powered through the driver, so every frame goes out behind a real wake pulse.
    ImagerEngine engine;
    ASSERT_EQ(engine.m_module.OpenDriver(), 1);
    ASSERT_NE(engine.m_module.SetModulePower(1), 0);
    engine.m_serial.Configure(2, 57600, 8, 0, 0);
    ASSERT_TRUE(engine.m_serial.Open());
    engine.m_bActive = 1;
    engine.m_hStopEvent = std::make_unique<platform::Event>();
    engine.m_hRespEvent = std::make_unique<platform::Event>();
    ASSERT_TRUE(engine.m_hComThread.Start([&] { ThreadComProc(&engine); }));

    // The initialised query: three code-ID parameters.
    const uint8_t query[] = {0x48, 0x48, 0x48, 0x49, 0x48, 0x4E};
    uint8_t reply[kFrameBufferSize] = {};
    int32_t replyLength = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(SendCommand(engine, FrameKind::SETUP_QUERY, query, 6, reply, &replyLength, false),
                  1);
        // Typically a few hundred ms; far below the time-out even on a loaded machine.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
        EXPECT_EQ(replyLength % 3, 0);
        EXPECT_EQ(reply[0], 0x48);
    }
    EXPECT_TRUE(simulator.WaitForReceived(0x06, 3, 5000));  // our ACKs of its replies

    engine.m_serial.PrepareClose();
    engine.m_bIdle = 1;
    engine.m_hStopEvent->Set();
    EXPECT_TRUE(engine.m_hComThread.WaitFor(5000));
    engine.m_hComThread.Join();
    engine.m_module.SetModulePower(0);
    engine.m_module.CloseDriver();
    simulator.Stop();
}

}  // namespace
}  // namespace qv

#include "link/reader_thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "engine/imager_engine.h"
#include "link/command_exchange.h"
#include "link/engine_frames.h"
#include "link/link_test_support.h"
#include "platform/clock.h"
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

// Frames that arrive while the reader acknowledges or delivers the one
// before are kept, in the driver and in the buffer alike: a reply 60 to
// 150 ms behind a barcode, a NAK 60 ms behind one, a barcode 50 to 90 ms
// behind a reply are all handled at once, each acknowledged with its own
// sequence number.
TEST_F(ReaderThreadTest, FramesBehindABarcodeOrAReplyAreNotPurged) {
    const Bytes payload = {0x48, 0x48, 0x03};
    const Bytes barcode = Barcode(0x44, {'j', 'A', 0x03, 0x02, 'B'});
    const Bytes barcodeAck = {0x02, 0x44, 0x06, 0x00, 0x03};
    const Bytes replyAck = {0x02, 0x71, 0x06, 0x00, 0x03};
    struct Case {
        const char* name;
        std::vector<std::pair<int, Bytes>> engine;  // pause in ms, then bytes
        int32_t result;
        Bytes acknowledgements;
    };
    const Case cases[] = {
        {"reply 60 ms behind a barcode",
         {{0, barcode}, {60, Join({Short(0x06, 0x20), Full(0x50, 0x71, payload)})}},
         1,
         Join({barcodeAck, replyAck})},
        {"reply 150 ms behind a barcode",
         {{0, barcode}, {150, Join({Short(0x06, 0x20), Full(0x50, 0x71, payload)})}},
         1,
         Join({barcodeAck, replyAck})},
        {"NAK 60 ms behind a barcode",
         {{0, barcode}, {60, Short(0x15, 0x20, 0x50)}},
         0,
         barcodeAck},
        {"barcode 50 ms behind a reply",
         {{0, Join({Short(0x06, 0x20), Full(0x50, 0x71, payload)})}, {50, barcode}},
         1,
         Join({replyAck, barcodeAck})},
        {"barcode 90 ms behind a reply",
         {{0, Join({Short(0x06, 0x20), Full(0x50, 0x71, payload)})}, {90, barcode}},
         1,
         Join({replyAck, barcodeAck})},
    };
    for (const Case& c : cases) {
        const int barcodesBefore = log.Count("READ DATA[jA");
        std::thread engineSide([&] {
            command = pty.Read(7);
            for (const auto& [pause, bytes] : c.engine) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pause));
                pty.Write(bytes);
            }
        });
        uint8_t reply[kFrameBufferSize] = {};
        int32_t replyLength = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(
            SendCommand(engine, FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
            c.result)
            << c.name;
        // Far below the 3000 ms time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms) << c.name;
        engineSide.join();
        if (c.result == 1) {
            EXPECT_EQ(Bytes(reply, reply + replyLength), payload) << c.name;
        }
        EXPECT_EQ(pty.Read(c.acknowledgements.size()), c.acknowledgements) << c.name;
        // Delivered right after its acknowledgement went out.
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (log.Count("READ DATA[jA") == barcodesBefore &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(2ms);
        }
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(log.Count("READ DATA[jA"), barcodesBefore + 1) << c.name;
        std::this_thread::sleep_for(100ms);  // the reader back between frames
    }
    EXPECT_FALSE(log.Contains("SKIP"));
    EXPECT_FALSE(log.Contains("REFUSED"));
}

// The engine loses power on suspend: the head of a frame cut by it is not
// glued to what the engine says after the resume, whether or not the line
// stirred while suspended.
TEST_F(ReaderThreadTest, AFrameCutBySuspendIsNotGluedToTheNextAnswer) {
    for (const bool lineEventWhileSuspended : {true, false}) {
        pty.Write({0x02, 0x35, 0x50, 0x00, 0x02});  // a reply's head
        std::this_thread::sleep_for(150ms);
        engine.m_bActive = 0;
        if (lineEventWhileSuspended) {
            pty.Write({0x00});
            ASSERT_TRUE(log.WaitFor("[RO25]CLEAR BUFFER\r\n"));
        }
        engine.m_bActive = 1;
        std::thread engineSide = Answer(7, Short(0x15, 0x20, 0x50));
        uint8_t reply[kFrameBufferSize];
        int32_t replyLength = 0;
        EXPECT_EQ(
            SendCommand(engine, FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false), 0)
            << lineEventWhileSuspended;
        engineSide.join();
        EXPECT_TRUE(log.Contains("[RO25]<== NAK COME [<== bad checksum]\r\n"));
        // Nothing acknowledged: no reply was made up of the glued bytes.
        EXPECT_TRUE(pty.Read(1, 200).empty());
    }
    EXPECT_FALSE(log.Contains("SETUP_REPLY"));
}

// Barcodes back to back as fast as the line takes them, of every length,
// with start and stop bytes and whole frames in their data and escaped
// length fields: each is acknowledged with its own sequence number and
// delivered once, in order, with nothing dropped.
TEST_F(ReaderThreadTest, ThreeHundredBarcodesBackToBackAreEachDeliveredOnce) {
    // Every wait a quarter as long; the quiet line that refuses an
    // unfinished frame still lasts 50 ms, longer than a loaded machine
    // keeps the writing side from running.
    struct ScaledClock {
        ScaledClock() { platform::SetClockScale(0.25); }
        ~ScaledClock() { platform::SetClockScale(1.0); }
    } scaled;
    uint64_t state = 12345;
    const auto random = [&state](size_t low, size_t high) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return low + static_cast<size_t>((state >> 33) % (high - low + 1));
    };
    Bytes line;
    Bytes acknowledgements;
    for (int i = 0; i < 300; ++i) {
        Bytes data(random(1, 1000));
        data[0] = 'j';
        for (size_t k = 1; k < data.size(); ++k) {
            const size_t pick = random(0, 9);
            data[k] = pick < 2 ? 0x02 : pick < 4 ? 0x03 : uint8_t(random(0x20, 0x7E));
        }
        if (data.size() > 30 && i % 3 == 0) {
            const Bytes inner =
                i % 2 == 0 ? Full(0x50, 0x21, {0x48, 0x03}) : Short(0x15, 0x22, 0x50);
            std::copy(inner.begin(), inner.end(), data.begin() + 10);
        }
        const auto sequence = uint8_t(i);
        line = Join({line, Barcode(sequence, data, /*escape=*/i % 7 == 0)});
        acknowledgements = Join({acknowledgements, {0x02, sequence, 0x06, 0x00, 0x03}});
    }
    std::thread engineSide([&] { pty.Write(line); });
    EXPECT_EQ(pty.Read(acknowledgements.size(), 60000), acknowledgements);
    engineSide.join();
    EXPECT_TRUE(log.WaitFor("[RO25]READ DATA"));
    EXPECT_EQ(log.Count("[RO25]<== BARCODE_DATA\r\n"), 300);
    EXPECT_EQ(log.Count("[RO25]READ DATA[j"), 300);
    EXPECT_FALSE(log.Contains("SKIP"));
    EXPECT_FALSE(log.Contains("REFUSED"));
    EXPECT_FALSE(log.Contains("NAK COME"));
    EXPECT_FALSE(log.Contains("SETUP_REPLY"));
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

// End to end against the engine simulator on its own pseudo-terminal,
// powered through its driver, so every frame goes out behind a real wake
// pulse.
class ReaderOnTheSimulator : public ::testing::Test {
  protected:
    static sim::Simulator::Options Options() {
        sim::Simulator::Options options;
        options.driverSocket = false;
        options.powerSocket = false;
        return options;
    }
    void SetUp() override {
        ::unsetenv("QV_DRIVER_BAR1");
        std::string error;
        ASSERT_TRUE(simulator.Start(&error)) << error;  // "BAR1:" registered in-process
        ::setenv("QV_PORT_COM2", simulator.SlavePath().c_str(), 1);
        ASSERT_EQ(engine.m_module.OpenDriver(), 1);
        ASSERT_NE(engine.m_module.SetModulePower(1), 0);
        engine.m_serial.Configure(2, 57600, 8, 0, 0);
        ASSERT_TRUE(engine.m_serial.Open());
        engine.m_bActive = 1;
        engine.m_hStopEvent = std::make_unique<platform::Event>();
        engine.m_hRespEvent = std::make_unique<platform::Event>();
        ASSERT_TRUE(engine.m_hComThread.Start([this] { ThreadComProc(&engine); }));
    }
    void TearDown() override {
        engine.m_serial.PrepareClose();
        engine.m_bIdle = 1;
        if (engine.m_hStopEvent) engine.m_hStopEvent->Set();
        EXPECT_TRUE(engine.m_hComThread.WaitFor(5000));
        engine.m_hComThread.Join();
        engine.m_module.SetModulePower(0);
        engine.m_module.CloseDriver();
        simulator.Stop();
    }

    LogCapture log;
    test_support::TempDir registryDir;
    test_support::ScopedEnv registry{"QV_REGISTRY", registryDir.Path() + "/registry.reg"};
    test_support::ScopedEnv noDriverSocket{"QV_DRIVER_BAR1", ""};
    test_support::ScopedEnv port{"QV_PORT_COM2", ""};
    sim::Simulator simulator{Options()};
    ImagerEngine engine;
};

// The initialised query: three code-ID parameters.
constexpr uint8_t kInitialisedQuery[] = {0x48, 0x48, 0x48, 0x49, 0x48, 0x4E};

TEST_F(ReaderOnTheSimulator, ASetupQueryIsAnsweredThroughTheReader) {
    uint8_t reply[kFrameBufferSize] = {};
    int32_t replyLength = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(SendCommand(engine, FrameKind::SETUP_QUERY, kInitialisedQuery, 6, reply,
                              &replyLength, false),
                  1);
        // Typically a few hundred ms; far below the time-out even on a loaded machine.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
        EXPECT_EQ(replyLength % 3, 0);
        EXPECT_EQ(reply[0], 0x48);
    }
    EXPECT_TRUE(simulator.WaitForReceived(0x06, 3, 5000));  // our ACKs of its replies
}

// A query made while the engine decodes: its answer arrives while the
// reader acknowledges and delivers the barcode, and is still taken.
TEST_F(ReaderOnTheSimulator, AQueryDuringAScanIsAnsweredAndTheBarcodeDelivered) {
    int round = 0;
    for (const int delayMs : {160, 200, 240}) {
        ASSERT_TRUE(simulator.QueueBarcode(9, "SCAN-" + std::to_string(round)));
        engine.m_module.SetTriggerLine(1);  // a fresh edge, as a scan starts
        engine.m_module.SetTriggerLine(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        uint8_t reply[kFrameBufferSize] = {};
        int32_t replyLength = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(SendCommand(engine, FrameKind::SETUP_QUERY, kInitialisedQuery, 6, reply,
                              &replyLength, false),
                  1)
            << delayMs;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms) << delayMs;
        EXPECT_EQ(replyLength % 3, 0);
        EXPECT_TRUE(log.WaitFor("SCAN-" + std::to_string(round) + "]\r\n")) << delayMs;
        ++round;
    }
    EXPECT_EQ(log.Count("READ DATA["), 3);
    EXPECT_FALSE(log.Contains("TIME OUT"));
}

}  // namespace
}  // namespace qv

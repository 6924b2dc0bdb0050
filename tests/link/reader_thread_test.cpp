#include "link/reader_thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "link/command_exchange.h"
#include "link/engine_frames.h"
#include "link/link_test_support.h"
#include "link/reader_actions.h"
#include "link/reader_gate.h"
#include "link/serial_port.h"
#include "platform/core/clock.h"
#include "power/module_control.h"

namespace qv {
namespace {

using namespace test_frames;
using namespace std::chrono_literals;

// Barcodes are only counted here: what delivery does with them is its own test.
struct CountingSink final : BarcodeSink {
    void DeliverBarcode(const uint8_t*, int32_t) override { ++delivered; }
    std::atomic<int> delivered{0};
};

struct LossCount final : LinkLossSink {
    void LinkLost() override { ++lost; }
    std::atomic<int> lost{0};
};

// The link on a pseudo-terminal, with its reader running; the test plays
// the engine on the master side.
class ReaderThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.SlavePath().empty());
        serial.Configure(2, 57600, 8, 0, 0);
        ASSERT_TRUE(serial.Open());
        exchange.OpenResponses();
        ASSERT_TRUE(reader.Start(nullptr));
        ASSERT_TRUE(log.WaitFor("[ThreadComProc] Start!!!!!!!"));
    }
    void TearDown() override {
        // Bounded here, so a reader that does not end fails the test
        // instead of holding it.
        if (serial.IsOpen()) serial.PrepareClose();
        ASSERT_TRUE(ReaderEnds());
        EXPECT_TRUE(reader.Stop());
    }

    bool ReaderEnds() const {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (!gate.HasEnded() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(2ms);
        }
        return gate.HasEnded();
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
    ModuleControl module;
    SerialPort serial;
    CommandExchange exchange{serial, module};
    ReaderGate gate;
    CountingSink barcodes;
    LossCount loss;
    ReaderActions actions{exchange, gate, barcodes, loss};
    std::atomic<int32_t> active{1};
    ReaderThread reader{serial, gate, actions, active};
    Bytes command;
};

TEST_F(ReaderThreadTest, AnAckAndAReplyBackToBackAnswerTheCommand) {
    const Bytes payload = {0x48, 0x48, 0x42, 0x48, 0x49, 0x03};
    std::thread engineSide =
        Answer(11, Join({Short(0x06, 0x70), Full(0x50, 0x71, payload), Short(0x06, 0x72)}));
    uint8_t reply[kFrameBufferSize] = {};
    int32_t replyLength = 0;
    const uint8_t query[] = {0x48, 0x48, 0x48, 0x49};
    EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, query, 4, reply, &replyLength, false),
              1);
    engineSide.join();
    EXPECT_EQ(Bytes(reply, reply + replyLength), payload);
    // The reader acknowledged the reply with the reply's own sequence number.
    EXPECT_EQ(pty.Read(5), (Bytes{0x02, 0x71, 0x06, 0x00, 0x03}));
    EXPECT_TRUE(log.WaitFor("[RO25]<== ACK COME\r\n"));
    EXPECT_TRUE(log.Contains("[RO25]==> ACK SEND\r\n[RO25]<== SETUP_REPLY\r\n"));
    EXPECT_FALSE(log.Contains("TIME OUT"));
}

TEST_F(ReaderThreadTest, ANakFailsTheCommandAndTheNextReusesItsFrameNumber) {
    module.m_frameNo = 3;
    std::thread engineSide = Answer(7, Short(0x15, 0x73, 0x30));
    uint8_t reply[kFrameBufferSize];
    int32_t replyLength = 0;
    EXPECT_EQ(exchange.SendCommand(FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
              0);
    engineSide.join();
    EXPECT_EQ(command[3], 0x64);
    EXPECT_EQ(module.m_frameNo.load(), 3u);
    EXPECT_TRUE(log.WaitFor("[RO25]<== NAK COME [<== frame number error]\r\n"));
    EXPECT_TRUE(log.Contains("[RO25]NAK\r\n"));
    // The engine's NAK is not acknowledged.
    EXPECT_TRUE(pty.Read(1, 200).empty());

    engineSide = Answer(7, Full(0x53, 0x74, {}));
    EXPECT_EQ(exchange.SendCommand(FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
              1);
    engineSide.join();
    EXPECT_EQ(command[3], 0x64);
    EXPECT_EQ(replyLength, 0);
}

// A reply whose checksum verifies by chance at an early stop byte, with the
// line pausing right there (an adapter that flushes in pieces): what was
// asked shows that more must follow, so the reply is not cut.
TEST_F(ReaderThreadTest, AChanceChecksumMatchBeforeAPauseDoesNotCutTheReply) {
    uint8_t value = 0x20;
    Bytes early;
    // Its checksum bytes must not read as control bytes themselves.
    const auto control = [](uint8_t b) { return b == 0x02 || b == 0x03; };
    for (; value < 0x7F; ++value) {
        early = Full(0x50, 0x71, {0x48, 0x48, value});
        if (!control(early[7]) && !control(early[8])) break;
    }
    // The early frame's management and checksum bytes are entries of the whole reply.
    const Bytes payload = {0x48, 0x48, value, 0x60, early[7], early[8], 0x03, 0x10, 0x05};
    const Bytes frame = Full(0x50, 0x71, payload);
    ASSERT_EQ(Bytes(frame.begin(), frame.begin() + 10), early);
    const uint8_t query[] = {0x48, 0x48, 0x60, early[7], 0x03, 0x10};
    std::thread engineSide([&] {
        command = pty.Read(13);
        pty.Write(Join({Short(0x06, 0x20), early}));
        std::this_thread::sleep_for(60ms);
        pty.Write(Bytes(frame.begin() + 10, frame.end()));
    });
    uint8_t reply[kFrameBufferSize] = {};
    int32_t replyLength = 0;
    EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, query, 6, reply, &replyLength, false),
              1);
    engineSide.join();
    EXPECT_EQ(Bytes(reply, reply + replyLength), payload);
    EXPECT_EQ(log.Count("<== SETUP_REPLY"), 1);
    EXPECT_EQ(log.Count("DROPPED"), 0);
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
    active = 0;
    pty.Write(Full(0x61, 0x46, {}));
    ASSERT_TRUE(log.WaitFor("[RO25]CLEAR BUFFER\r\n"));
    std::this_thread::sleep_for(100ms);
    pty.Write(Barcode(0x47, {'j', 'x'}));
    EXPECT_TRUE(log.WaitFor("[RO25]CLEAR BUFFER\r\n[RO25]CLEAR BUFFER\r\n"));
    EXPECT_TRUE(pty.Read(1, 300).empty());
    EXPECT_FALSE(log.Contains("BARCODE_DATA"));

    // Resumed: frames are handled again.
    active = 1;
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
    const Bytes reply = Join({Short(0x06, 0x20), Full(0x53, 0x71, payload)});
    const Bytes replyAck = {0x02, 0x71, 0x06, 0x00, 0x03};
    // Each case's barcode has a sequence number of its own: the same frame
    // again within seconds would be a resend, acknowledged and not delivered.
    const auto barcode = [](uint8_t sequence) {
        return Barcode(sequence, {'j', 'A', 0x03, 0x02, 'B'});
    };
    const auto barcodeAck = [](uint8_t sequence) {
        return Bytes{0x02, sequence, 0x06, 0x00, 0x03};
    };
    struct Case {
        const char* name;
        std::vector<std::pair<int, Bytes>> engine;  // pause in ms, then bytes
        int32_t result;
        Bytes acknowledgements;
    };
    const Case cases[] = {
        {"reply 60 ms behind a barcode",
         {{0, barcode(0x41)}, {60, reply}},
         1,
         Join({barcodeAck(0x41), replyAck})},
        {"reply 150 ms behind a barcode",
         {{0, barcode(0x42)}, {150, reply}},
         1,
         Join({barcodeAck(0x42), replyAck})},
        {"NAK 60 ms behind a barcode",
         {{0, barcode(0x43)}, {60, Short(0x15, 0x20, 0x50)}},
         0,
         barcodeAck(0x43)},
        {"barcode 50 ms behind a reply",
         {{0, reply}, {50, barcode(0x44)}},
         1,
         Join({replyAck, barcodeAck(0x44)})},
        {"barcode 90 ms behind a reply",
         {{0, reply}, {90, barcode(0x45)}},
         1,
         Join({replyAck, barcodeAck(0x45)})},
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
            exchange.SendCommand(FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
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
        active = 0;
        if (lineEventWhileSuspended) {
            pty.Write({0x00});
            ASSERT_TRUE(log.WaitFor("[RO25]CLEAR BUFFER\r\n"));
        }
        active = 1;
        std::thread engineSide = Answer(7, Short(0x15, 0x20, 0x50));
        uint8_t reply[kFrameBufferSize];
        int32_t replyLength = 0;
        EXPECT_EQ(
            exchange.SendCommand(FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
            0)
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
    EXPECT_EQ(barcodes.delivered.load(), 300);
    EXPECT_FALSE(log.Contains("SKIP"));
    EXPECT_FALSE(log.Contains("REFUSED"));
    EXPECT_FALSE(log.Contains("NAK COME"));
    EXPECT_FALSE(log.Contains("SETUP_REPLY"));
}

TEST_F(ReaderThreadTest, TheStopEventEndsAnIdleReaderAtTheNextLineEvent) {
    reader.m_hStopEvent->Set();
    pty.Write({0x55});
    EXPECT_TRUE(ReaderEnds());
    EXPECT_TRUE(log.Contains("[RO25]STOP EVENT\r\n[RO25]\t----> [ThreadComProc] Stop!!!!!!!\r\n"));
}

TEST_F(ReaderThreadTest, ClosingThePortReleasesTheReader) {
    EXPECT_TRUE(serial.PrepareClose());
    EXPECT_TRUE(ReaderEnds());
    EXPECT_TRUE(log.Contains("[RO25]\t----> [ThreadComProc] Stop!!!!!!!\r\n"));
}

// Whether this process still holds a descriptor of `path`.
bool HoldsOpen(const std::string& path) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) return true;
    }
    return false;
}

// The device going away while a command waits: the command fails then, not
// at its time-out; the loss is told once; the device is let go of at once,
// so that it can come back under its name; later commands fail unwritten.
TEST_F(ReaderThreadTest, AVanishedDeviceFailsTheWaitingCommandAndIsLetGo) {
    ASSERT_TRUE(HoldsOpen(pty.SlavePath()));
    std::atomic<int32_t> result{-1};
    std::thread command([&] {
        uint8_t reply[kFrameBufferSize];
        int32_t replyLength = 0;
        result =
            exchange.SendCommand(FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false);
    });
    ASSERT_EQ(pty.Read(7).size(), 7u) << "the command was written";
    pty.CloseMaster();
    // The link tells the loss to whoever owns it; here the test does what the engine does.
    ASSERT_TRUE(ReaderEnds());
    EXPECT_EQ(loss.lost.load(), 1);
    const auto told = std::chrono::steady_clock::now();
    exchange.DeviceLost();
    command.join();
    EXPECT_EQ(result.load(), 0);
    // Generous: the time-out is 3000 ms of library time.
    EXPECT_LT(std::chrono::steady_clock::now() - told, 2s);
    EXPECT_FALSE(log.Contains("TIME OUT"));
    EXPECT_TRUE(log.Contains("[RO25]DEVICE LOST: no reply will come\r\n"));
    EXPECT_FALSE(HoldsOpen(pty.SlavePath())) << "the tty is still open";

    uint8_t reply[kFrameBufferSize];
    int32_t replyLength = 0;
    EXPECT_EQ(exchange.SendCommand(FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
              0);
    EXPECT_EQ(loss.lost.load(), 1);
}

}  // namespace
}  // namespace qv

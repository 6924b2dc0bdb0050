#include "link/command_exchange.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "link/link_test_support.h"
#include "link/reply_match.h"
#include "link/serial_port.h"
#include "power/module_control.h"

namespace qv {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

constexpr uint8_t kSetupReply = 0x50;
constexpr uint8_t kResult = 0x51;
constexpr uint8_t kStatusReply = 0x53;

// The exchange with its port open on a pseudo-terminal and its response
// event created, as an open imager has them; the test plays both the engine
// (on the master side) and the reader thread (by posting replies).
class CommandExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.SlavePath().empty());
        serial.Configure(2, 57600, 8, 0, 0);
        ASSERT_TRUE(serial.Open());
        exchange.OpenResponses();
    }
    void TearDown() override { platform::SetClockScale(1.0); }

    // Answers the next command frame (of `frameLength` bytes) once it is on
    // the line, the way the reader thread would: with each reply frame of
    // `replies` in turn (type, payload), or a refusal.
    std::thread AnswerNextCommand(size_t frameLength,
                                  std::vector<std::pair<uint8_t, Bytes>> replies,
                                  bool refuse = false) {
        return std::thread([this, frameLength, replies, refuse] {
            received = pty.Read(frameLength);
            if (refuse) exchange.PostRefusal();
            for (const auto& [type, payload] : replies)
                exchange.PostReply(type, payload.data(), int32_t(payload.size()));
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
    Bytes received;
};

TEST_F(CommandExchangeTest, ACommandGetsExactlyThePayloadOfItsReply) {
    const uint8_t query[] = {0x48, 0x48, 0x49, 0x48};
    const Bytes payload = {0x48, 0x48, 0x03, 0x49, 0x48, 0x02};
    std::thread engineSide = AnswerNextCommand(sizeof query + 7, {{kSetupReply, payload}});
    uint8_t reply[kFrameBufferSize] = {};
    int32_t replyLength = -5;
    EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, query, 4, reply, &replyLength, false),
              1);
    engineSide.join();
    EXPECT_EQ(replyLength, 6);
    EXPECT_EQ(Bytes(reply, reply + replyLength), payload);
    // The frame on the line: start, sequence, SETUP_QUERY, payload, single
    // frame number 1 after the driver's open, checksum, stop.
    ASSERT_EQ(received.size(), 11u);
    EXPECT_EQ(received[0], 0x02);
    EXPECT_EQ(received[2], 0x40);
    EXPECT_EQ(Bytes(received.begin() + 3, received.begin() + 7), Bytes(query, query + 4));
    EXPECT_EQ(received[7], 0x61);
    EXPECT_TRUE(ChecksumMatches(received.data(), received.size()));
    EXPECT_FALSE(log.Contains("IN CORRECT CHECK SUM"));
}

TEST_F(CommandExchangeTest, ANakFailsOnlyACommandThatWantedTheReply) {
    uint8_t reply[kFrameBufferSize];
    int32_t replyLength = 0;
    std::thread refusal = AnswerNextCommand(7, {}, true);
    EXPECT_EQ(exchange.SendCommand(FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
              0);
    refusal.join();
    EXPECT_TRUE(
        log.Contains("[RO25]pData is null\r\n[RO25]NAK\r\n"
                     "[RO25]SERAIL : WaitResponse Fail\r\n"));
    EXPECT_EQ(exchange.m_recvLen.load(), -1);

    refusal = AnswerNextCommand(7, {}, true);
    EXPECT_EQ(exchange.SendCommand(FrameKind::RESET_COMMAND, nullptr, 0, nullptr, nullptr, false),
              1);
    refusal.join();
    EXPECT_EQ(log.Count("[RO25]NAK\r\n"), 1);
}

TEST_F(CommandExchangeTest, NoAnswerTimesOut) {
    platform::SetClockScale(0.05);  // 3000 ms become 150 ms
    uint8_t reply[kFrameBufferSize];
    int32_t replyLength = 0;
    EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, nullptr, 0, reply, &replyLength, false),
              0);
    EXPECT_EQ(pty.Read(7).size(), 7u);  // the command was written once
    EXPECT_TRUE(log.Contains("[RO25]TIME OUT!!!!\r\n[RO25]SERAIL : WaitResponse Fail\r\n"));
}

// A reply is taken only as the answer to the command that waits for it:
// one that came after its command gave up, one of another command's kind,
// one for other pairs or cut short is logged and dropped, and the command
// still gets its own answer.
TEST_F(CommandExchangeTest, OnlyTheAnswerToTheWaitingCommandIsTaken) {
    const uint8_t query[] = {0x48, 0x48, 0x49, 0x48};
    const Bytes answer = {0x48, 0x48, 0x01, 0x49, 0x48, 0x02};
    platform::SetClockScale(0.05);
    EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, query, 4, nullptr, nullptr, false), 0);
    // The answer to the command that gave up arrives now, and a late NAK.
    exchange.PostReply(kSetupReply, answer.data(), int32_t(answer.size()));
    exchange.PostRefusal();
    EXPECT_EQ(log.Count("[RO25]<== REPLY DROPPED: no command waits for it\r\n"), 1);
    EXPECT_EQ(log.Count("[RO25]<== NAK DROPPED: no command waits for it\r\n"), 1);
    platform::SetClockScale(1.0);
    pty.Read(11, 200);  // the frame written so far

    std::thread engineSide = AnswerNextCommand(
        11, {{kStatusReply, {0x30, 0xC6, 0x00, 0x00, 'F', 'W'}},   // another command's kind
             {kSetupReply, {0x48, 0x48, 0x01}},                    // cut short
             {kSetupReply, {0x49, 0x48, 0x02, 0x48, 0x48, 0x01}},  // out of order
             {kSetupReply, answer}});
    uint8_t reply[kFrameBufferSize] = {};
    int32_t replyLength = 0;
    EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, query, 4, reply, &replyLength, false),
              1);
    engineSide.join();
    EXPECT_EQ(Bytes(reply, reply + replyLength), answer);
    EXPECT_EQ(log.Count("[RO25]<== REPLY DROPPED: it does not answer the waiting command\r\n"), 3);
}

TEST(ReplyMatch, WhatAnswersWhichCommand) {
    const Bytes pairs = {0x48, 0x48, 0x49, 0x48};
    struct Case {
        const char* name;
        FrameKind kind;
        uint8_t type;
        Bytes payload;
        bool answers;
    };
    const Case cases[] = {
        {"entries for each pair",
         FrameKind::SETUP_QUERY,
         kSetupReply,
         {0x48, 0x48, 0x01, 0x49, 0x48, 0x02},
         true},
        {"a two-byte value",
         FrameKind::SETUP_QUERY,
         kSetupReply,
         {0x48, 0x48, 0x01, 0x02, 0x49, 0x48, 0x02},
         true},
        {"a pair unanswered", FrameKind::SETUP_QUERY, kSetupReply, {0x48, 0x48, 0x01}, false},
        {"a pair not asked",
         FrameKind::SETUP_QUERY,
         kSetupReply,
         {0x48, 0x48, 0x01, 0x49, 0x48, 0x02, 0x4A, 0x48, 0x00},
         false},
        {"a result to a query", FrameKind::SETUP_QUERY, kResult, {0x00}, false},
        {"a result to a setup", FrameKind::SETUP_COMMAND, kResult, {0x00}, true},
        {"a result to a reset", FrameKind::RESET_COMMAND, kResult, {0x00}, true},
        {"a setup reply to a setup", FrameKind::SETUP_COMMAND, kSetupReply, {}, false},
        {"a status reply to a status query", FrameKind::STATUS_QUERY, kStatusReply, {0x30}, true},
        {"a status reply to a query", FrameKind::SETUP_QUERY, kStatusReply, {}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AnswersCommand(c.kind, pairs, c.type, c.payload), c.answers) << c.name;
    }
}

TEST_F(CommandExchangeTest, AcknowledgementsAreShortFramesThatWaitForNothing) {
    exchange.SendAck(0x06, 0x12);
    EXPECT_EQ(pty.Read(5), (Bytes{0x02, 0x12, 0x06, 0x00, 0x03}));
    exchange.SendAck(0x15, 0x13);
    EXPECT_EQ(pty.Read(5), (Bytes{0x02, 0x13, 0x15, 0x00, 0x03}));
    EXPECT_EQ(log.Count("[RO25]==> ACK SEND\r\n"), 1);
    EXPECT_FALSE(log.Contains("TIME OUT"));
    EXPECT_FALSE(log.Contains("CHECK SUM"));
}

TEST_F(CommandExchangeTest, MalformedRequestsWriteAndLogNothing) {
    const std::string before = log.Text();
    const uint8_t two[] = {1, 2};
    EXPECT_EQ(exchange.SendCommand(FrameKind::ACK, two, 2, nullptr, nullptr, true), 0);
    EXPECT_EQ(exchange.SendCommand(static_cast<FrameKind>(9), two, 2, nullptr, nullptr, false), 0);
    EXPECT_TRUE(pty.Read(1, 100).empty());
    EXPECT_EQ(log.Text(), before);
}

TEST_F(CommandExchangeTest, AVanishedDeviceFailsCommandsAtTheirWrite) {
    pty.CloseMaster();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, nullptr, 0, nullptr, nullptr, false), 0);
    // Well under one 3000 ms time-out: nothing waited for a reply.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    // Once the device is known gone, commands fail without the wake pulse.
    for (int i = 0; i < 2; ++i) {
        const auto again = std::chrono::steady_clock::now();
        EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, nullptr, 0, nullptr, nullptr, false),
                  0);
        EXPECT_LT(std::chrono::steady_clock::now() - again, 10ms);
    }
    EXPECT_EQ(log.Count("[RO25]SERAIL : WriteComblock Fail\r\n"), 3);
    EXPECT_FALSE(log.Contains("TIME OUT"));
}

// A line whose output queue does not empty while it is held off, as with
// CTS held low or a wedged adapter; otherwise the terminal's own.
class HeldLine : public platform::OutputLine {
  public:
    int64_t WriteSome(const uint8_t* data, size_t size) override {
        return inner->WriteSome(data, size);
    }
    bool WaitWritable(uint32_t ms) override { return inner->WaitWritable(ms); }
    int64_t Unsent() override { return held ? 1 : inner->Unsent(); }
    void DiscardUnsent() override {
        ++discarded;
        inner->DiscardUnsent();
    }

    std::unique_ptr<platform::OutputLine> inner;
    std::atomic<bool> held{true};
    std::atomic<int> discarded{0};
};

TEST_F(CommandExchangeTest, AWriteThatCannotDrainFailsInTimeAndTheLinkGoesOn) {
    auto owned = std::make_unique<HeldLine>();
    HeldLine* line = owned.get();
    line->inner = serial.GetHandle()->SwapOutputLine(std::move(owned));

    uint8_t reply[kFrameBufferSize] = {};
    int32_t replyLength = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange.SendCommand(FrameKind::SETUP_QUERY, nullptr, 0, reply, &replyLength, false),
              0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_TRUE(log.Contains("[RO25]WriteFile : 110 \r\n[RO25]SERAIL : WriteComblock Fail\r\n"))
        << log.Text();  // ETIMEDOUT, failed as a write
    EXPECT_FALSE(log.Contains("TIME OUT")) << "no reply was waited for";
    EXPECT_EQ(line->discarded.load(), 1) << "the unsent frame is dropped";

    // Once the line empties, the next command goes through.
    line->held = false;
    pty.Read(kFrameBufferSize, 200);  // whatever of the failed frame got out
    std::thread engineSide = AnswerNextCommand(7, {{kStatusReply, {0x33}}});
    EXPECT_EQ(exchange.SendCommand(FrameKind::STATUS_QUERY, nullptr, 0, reply, &replyLength, false),
              1);
    engineSide.join();
    EXPECT_EQ(replyLength, 1);
}

TEST_F(CommandExchangeTest, CommandsAndAcknowledgementsOfTwoThreadsNeverMix) {
    platform::SetClockScale(0.01);  // the wake pulses of 200 frames
    constexpr int kEach = 100;
    const uint8_t payload[] = {0x30, 0xC6, 0x02, 0x03};
    Bytes line;
    std::thread drain([&] { line = pty.Read(kEach * 5 + kEach * 11, 20000); });
    std::thread acks([&] {
        for (int i = 0; i < kEach; ++i)
            exchange.SendAck(0x06, 0x20);
    });
    for (int i = 0; i < kEach; ++i) {
        exchange.SendCommand(FrameKind::SETUP_COMMAND, payload, 4, nullptr, nullptr, true);
    }
    acks.join();
    drain.join();
    // The line splits into whole frames: 5-byte ACKs and 11-byte commands.
    int acksSeen = 0, commandsSeen = 0;
    for (size_t at = 0; at < line.size();) {
        ASSERT_EQ(line[at], 0x02) << "at " << at;
        if (line[at + 2] == 0x06) {
            EXPECT_EQ(Bytes(line.begin() + at, line.begin() + at + 5),
                      (Bytes{0x02, 0x20, 0x06, 0x00, 0x03}));
            at += 5;
            ++acksSeen;
        } else {
            ASSERT_LE(at + 11, line.size());
            EXPECT_TRUE(ChecksumMatches(line.data() + at, 11)) << "at " << at;
            at += 11;
            ++commandsSeen;
        }
    }
    EXPECT_EQ(acksSeen, kEach);
    EXPECT_EQ(commandsSeen, kEach);
}

TEST(ReplyStore, StoreReplyClearsTheRestAndMarksRefusals) {
    LogCapture log;
    test_support::TempDir registryDir;
    test_support::ScopedEnv registry{"QV_REGISTRY", registryDir.Path() + "/registry.reg"};
    ModuleControl module;
    SerialPort serial;
    CommandExchange exchange{serial, module};
    const Bytes longer(10, 0xEE);
    exchange.StoreReply(longer.data(), 10);
    const Bytes shorter = {1, 2};
    exchange.StoreReply(shorter.data(), 2);
    EXPECT_EQ(exchange.m_recvLen.load(), 2);
    EXPECT_EQ(Bytes(exchange.m_recvData, exchange.m_recvData + 4), (Bytes{1, 2, 0, 0}));
    exchange.StoreReply(nullptr, -1);
    EXPECT_EQ(exchange.m_recvLen.load(), -1);
    EXPECT_EQ(log.Text(), "[RO25]pData is null\r\n");
    // No response event (the port never opened): a command's wait fails at once.
    EXPECT_EQ(exchange.WaitResponse(kResponseTimeoutMs, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace qv

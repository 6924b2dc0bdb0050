#include "link/frame_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "link/engine_frames.h"
#include "link/link_test_support.h"

namespace qv {
namespace {

using namespace test_frames;
using ::testing::ElementsAre;

// Feeds bytes to a reader as one read and processes them; by default the
// line then pauses, as behind a whole answer.
FrameReader::Outcome Feed(FrameReader& reader, Recorder& actions, const Bytes& bytes,
                          LineState line = LineState::Paused) {
    EXPECT_LE(bytes.size(), reader.Room());
    std::copy(bytes.begin(), bytes.end(), reader.Tail());
    reader.Append(bytes.size());
    return reader.Process(actions, line);
}

// A payload whose frame (type 0x50, sequence 0x21) has 0x03 in its checksum.
Bytes PayloadWithStopInChecksum() {
    for (int a = 0x10; a < 256; ++a) {
        for (int b = 0x10; b < 256; ++b) {
            const Bytes payload = {0x30, uint8_t(a), uint8_t(b)};
            const Bytes frame = Full(0x50, 0x21, payload);
            if (frame[frame.size() - 2] == 0x03) return payload;
        }
    }
    ADD_FAILURE() << "no such payload";
    return {};
}

TEST(FrameReader, AReplyAndAnAckInOneReadAreBothDispatched) {
    LogCapture log;
    const Bytes reply = Full(0x50, 0x30, {0x48, 0x48, 0x42});
    for (const Bytes& line : {Join({Short(0x06, 0x2F), reply}), Join({reply, Short(0x06, 0x2F)})}) {
        FrameReader reader;
        Recorder actions;
        EXPECT_EQ(Feed(reader, actions, line).frames, 2);
        EXPECT_EQ(actions.replies, std::vector<Bytes>{Bytes({0x48, 0x48, 0x42})});
        EXPECT_EQ(actions.events, (std::vector<std::string>{"ack 48", "reply"}));
        EXPECT_EQ(reader.Held(), 0u);
    }
    EXPECT_EQ(log.Count("[RO25]<== ACK COME\r\n"), 2);
    EXPECT_EQ(log.Count("[RO25]<== SETUP_REPLY\r\n"), 2);
}

TEST(FrameReader, EachReplyTypeHandsItsPayloadOver) {
    LogCapture log;
    const std::pair<uint8_t, const char*> types[] = {{0x50, "<== SETUP_REPLY"},
                                                     {0x51, "<== RESULT"},
                                                     {0x53, "<== STATUS_REPLY"},
                                                     {0x54, "<== SETUP_PERMISSION_REPLY"},
                                                     {0x62, "<== SETUP_BARCODE_DATA"}};
    for (auto [type, line] : types) {
        FrameReader reader;
        Recorder actions;
        Feed(reader, actions, Full(type, 0x40, {0x01, 0x02, 0x03, 0x10}));
        EXPECT_EQ(actions.replies, std::vector<Bytes>{Bytes({0x01, 0x02, 0x03, 0x10})}) << line;
        EXPECT_EQ(actions.events.front(), "ack 64");
        EXPECT_TRUE(log.Contains(std::string("[RO25]") + line + "\r\n"));
    }
}

TEST(FrameReader, StrayBytesAheadOfAFrameAreDropped) {
    LogCapture log;
    FrameReader reader;
    Recorder actions;
    Feed(reader, actions, Join({{0x7F}, Full(0x51, 0x22, {0x00})}));
    EXPECT_EQ(actions.replies.size(), 1u);
    EXPECT_TRUE(log.Contains("[RO25]<== SKIP 1 BYTES BEFORE FRAME START\r\n"));

    // Line noise without any start byte goes, and the next frame is found.
    Feed(reader, actions, {0x55, 0x03, 0x00});
    EXPECT_EQ(reader.Held(), 0u);
    Feed(reader, actions, Short(0x15, 0x23, 0x30));
    EXPECT_THAT(actions.events.back(), "refuse");

    // Noise right behind a reply: the reply is taken once the line is quiet.
    EXPECT_EQ(Feed(reader, actions, Join({Full(0x50, 0x24, {0x48, 0x03}), {0x7F, 0x03}})).wait,
              SplitWait::Quiet);
    reader.Process(actions, LineState::Quiet);
    EXPECT_EQ(actions.replies.back(), Bytes({0x48, 0x03}));
    EXPECT_EQ(reader.Held(), 0u);
}

TEST(FrameReader, AFrameSplitAtEveryPositionIsFoundOnce) {
    // With a 0x02 and a 0x03 in its payload, so a cut after them is tempting.
    const Bytes frame = Full(0x50, 0x24, {0x30, 0xC6, 0x03, 0x31, 0x02, 0x10});
    for (size_t cut = 1; cut < frame.size(); ++cut) {
        FrameReader reader;
        Recorder actions;
        Feed(reader, actions, Bytes(frame.begin(), frame.begin() + long(cut)), LineState::Busy);
        EXPECT_TRUE(actions.replies.empty()) << "cut " << cut;
        Feed(reader, actions, Bytes(frame.begin() + long(cut), frame.end()));
        ASSERT_EQ(actions.replies.size(), 1u) << "cut " << cut;
        EXPECT_EQ(actions.replies[0], Bytes({0x30, 0xC6, 0x03, 0x31, 0x02, 0x10}));
        EXPECT_EQ(reader.Held(), 0u);
    }
}

TEST(FrameReader, StopBytesInsideAReplyCutNothing) {
    LogCapture log;
    // An option value of 3, then 2, and a checksum holding 0x03.
    for (const Bytes& payload :
         {Bytes{0x30, 0xC6, 0x03}, Bytes{0x31, 0x02, 0x03, 0x03}, PayloadWithStopInChecksum()}) {
        FrameReader reader;
        Recorder actions;
        const auto outcome = Feed(reader, actions, Full(0x50, 0x21, payload));
        EXPECT_EQ(outcome.frames, 1);
        EXPECT_EQ(actions.replies, std::vector<Bytes>{payload});
    }
    EXPECT_FALSE(log.Contains("REFUSED"));
}

TEST(FrameReader, ASevenByteReplyIsAnEmptyReply) {
    FrameReader reader;
    Recorder actions;
    Feed(reader, actions, Full(0x51, 0x25, {}));
    EXPECT_EQ(actions.replies, std::vector<Bytes>{Bytes{}});
}

TEST(FrameReader, NakRefusesWithItsReasonLogged) {
    LogCapture log;
    FrameReader reader;
    Recorder actions;
    Feed(reader, actions, Short(0x15, 0x26, 0x50));
    Feed(reader, actions, Short(0x15, 0x27, 0x10));
    EXPECT_THAT(actions.events, ElementsAre("refuse", "refuse"));
    EXPECT_TRUE(log.Contains("[RO25]<== NAK COME [<== bad checksum]\r\n"));
    EXPECT_TRUE(log.Contains("[RO25]<== NAK COME []\r\n"));
}

TEST(FrameReader, ShortFramesEndAtTheirFirstStopByte) {
    LogCapture log;
    FrameReader reader;
    Recorder actions;
    // BUSY and RESEND in the engine's long form: the stop byte in the
    // checksum still ends them, and what follows is dropped as noise.
    Feed(reader, actions, Join({Short(0x1B, 0x28), Short(0x05, 0x29), Short(0x44, 0x2A)}));
    EXPECT_TRUE(actions.events.empty());
    EXPECT_EQ(reader.Held(), 0u);
    EXPECT_TRUE(log.Contains("[RO25]<== BUSY COME\r\n[RO25]<== RESEND COME\r\n"));
    Feed(reader, actions, Full(0x61, 0x2B, {0x01}));
    EXPECT_THAT(actions.events, ElementsAre("ack 43"));
    EXPECT_TRUE(log.Contains("[RO25]<== EVENT_NOTIFICATION COME\r\n"));
}

TEST(FrameReader, BarcodesAreAcknowledgedThenDeliveredWhole) {
    LogCapture log;
    Bytes data(300, 'A');
    data[0] = 'j';
    data[100] = 0x03;  // a stop byte in the data
    data[101] = 0x02;
    const Bytes frame = Barcode(0x2C, data);
    ASSERT_EQ(frame[3], 0x01);
    ASSERT_EQ(frame[4], 0x2C);
    FrameReader reader;
    Recorder actions;
    Feed(reader, actions, frame);
    EXPECT_THAT(actions.events, ElementsAre("ack 44", "deliver"));
    ASSERT_EQ(actions.delivered.size(), 1u);
    EXPECT_EQ(actions.delivered[0], data);
    EXPECT_TRUE(log.Contains("[RO25]<== BARCODE_DATA\r\n"));
    EXPECT_TRUE(log.Contains("[RO25]READ DATA[jAAA"));
}

TEST(FrameReader, EscapedBarcodeLengthStartsTheDataOneLater) {
    const Bytes data(0x12, 'x');
    const Bytes frame = Barcode(0x2D, data, /*escape=*/true);
    ASSERT_EQ(Bytes(frame.begin() + 3, frame.begin() + 6), (Bytes{0x00, 0x10, 0x52}));
    FrameReader reader;
    Recorder actions;
    Feed(reader, actions, frame);
    ASSERT_EQ(actions.delivered.size(), 1u);
    EXPECT_EQ(actions.delivered[0], data);
}

TEST(FrameReader, MalformedFramesAreRefusedNotCopied) {
    LogCapture log;
    // A BARCODE_DATA frame that checks out but says it holds no data.
    FrameReader reader;
    Recorder actions;
    Feed(reader, actions, Full(0x60, 0x33, {0x00, 0x00}));
    EXPECT_TRUE(log.Contains("[RO25]<== FRAME REFUSED [no barcode data] 9 BYTES\r\n"));
    // A barcode whose length runs past 1024 bytes is refused at once.
    Feed(reader, actions, Full(0x60, 0x31, {0x04, 0x00, 'j', 'x'}));
    EXPECT_TRUE(log.Contains("[RO25]<== FRAME REFUSED [barcode length past 1024 bytes]"));
    EXPECT_TRUE(actions.events.empty());
    EXPECT_EQ(reader.Held(), 0u);
}

// An answer the engine never finished, or whose checksum never verifies,
// is refused once the line is quiet: never handed over, never acknowledged.
TEST(FrameReader, AFrameThatNeverVerifiesIsRefusedOnceTheLineIsQuiet) {
    LogCapture log;
    Bytes badChecksum = Full(0x51, 0x35, {0x30, 0x07, 0x41, 0x42});
    badChecksum[badChecksum.size() - 2] ^= 0x80;
    const Bytes reply = Full(0x50, 0x34, {0x48, 0x49, 0x00, 0x48, 0x4A, 0x03, 0x48, 0x4B, 0x01});
    const Bytes barcode = Barcode(0x36, {'j', 'A', 0x03, 'B'});
    const Bytes cases[] = {
        {0x02, 0x30, 0x50, 0x11, 0x03},               // a reply cut to five bytes
        Bytes(reply.begin(), reply.begin() + 9),      // cut right behind a value 3
        Bytes(reply.begin(), reply.begin() + 11),     // cut further on
        badChecksum,                                  // whole, checksum wrong
        Bytes(barcode.begin(), barcode.begin() + 8),  // barcode cut short
        Full(0x60, 0x32, {0x00, 0x20, 'j', 'x'}),     // length past what came
    };
    for (const Bytes& bytes : cases) {
        FrameReader reader;
        Recorder actions;
        EXPECT_EQ(Feed(reader, actions, bytes).wait, SplitWait::Quiet);
        EXPECT_EQ(reader.Process(actions, LineState::Quiet).wait, SplitWait::None);
        EXPECT_TRUE(actions.events.empty()) << bytes.size();
        EXPECT_EQ(reader.Held(), 0u);
    }
    EXPECT_EQ(log.Count("[RO25]<== FRAME REFUSED [no verified end]"), 6);
}

// Whatever stale head lies ahead (a lone start byte, a start and sequence,
// a head with its type, an unfinished reply, a barcode head whose length
// swallows what follows), only the frame behind it is dispatched, and it is
// acknowledged with its own sequence number.
TEST(FrameReader, OnlyTheFrameBehindAStaleHeadIsDispatched) {
    const Bytes heads[] = {
        {0x02},
        {0x02, 0x35},
        {0x02, 0x35, 0x50},
        {0x02, 0x35, 0x50, 0x48, 0x49, 0x03, 0x48, 0x02},
        {0x02, 0x35, 0x60, 0x00, 0x05, 'j'},
    };
    struct Following {
        Bytes frame;
        std::vector<std::string> events;
        Bytes data;
    };
    const Following followers[] = {
        {Short(0x06, 0x15), {}, {}},  // the engine's ACK of host sequence 0x15
        {Short(0x15, 0x26, 0x50), {"refuse"}, {}},
        {Short(0x1B, 0x27), {}, {}},
        {Full(0x50, 0x30, {0x48, 0x49, 0x03}), {"ack 48", "reply"}, {0x48, 0x49, 0x03}},
        {Barcode(0x44, {'j', 0x02, 0x03, 'x'}), {"ack 68", "deliver"}, {'j', 0x02, 0x03, 'x'}},
    };
    for (const Bytes& head : heads) {
        for (const Following& next : followers) {
            LogCapture log;
            FrameReader reader;
            Recorder actions;
            Feed(reader, actions, Join({head, next.frame}));
            reader.Process(actions, LineState::Quiet);
            const std::string where =
                std::to_string(head.size()) + " + type " + std::to_string(next.frame[2]);
            EXPECT_EQ(actions.events, next.events) << where;
            if (!next.data.empty()) {
                const auto& got = next.frame[2] == 0x60 ? actions.delivered : actions.replies;
                EXPECT_EQ(got, std::vector<Bytes>{next.data}) << where;
            }
            const int shortFrames =
                log.Count("ACK COME") + log.Count("BUSY COME") + log.Count("NAK COME");
            EXPECT_EQ(
                shortFrames,
                next.frame[2] == 0x06 || next.frame[2] == 0x1B || next.frame[2] == 0x15 ? 1 : 0)
                << where;
            EXPECT_EQ(reader.Held(), 0u) << where;
        }
    }
}

// A reply whose checksum happens to verify at an earlier stop byte is not
// cut there unless a frame can begin behind it.
TEST(FrameReader, AnEarlyChanceMatchDoesNotEndAReply) {
    // The payload opens with what, read from the reply's start byte, is a
    // whole frame with a valid checksum: 02 40 50 48 01 v 60 c1 c2 03.
    Bytes payload;
    for (int v = 0; v < 256 && payload.empty(); ++v) {
        const Bytes early = Full(0x50, 0x40, {0x48, 0x01, uint8_t(v)});
        if (early[7] > 0x03 && early[8] > 0x03) payload = Bytes(early.begin() + 3, early.end());
    }
    payload.insert(payload.end(), {0x48, 0x20, 0x04});
    const Bytes reply = Full(0x50, 0x40, payload);
    // Whole, and cut right behind the early end while more is on its way.
    for (size_t cut : {reply.size(), size_t{10}}) {
        FrameReader reader;
        Recorder actions;
        Feed(reader, actions, Bytes(reply.begin(), reply.begin() + long(cut)), LineState::Busy);
        Feed(reader, actions, Bytes(reply.begin() + long(cut), reply.end()));
        EXPECT_EQ(actions.replies, std::vector<Bytes>{payload}) << cut;
        EXPECT_EQ(actions.events.front(), "ack 64");
    }
}

// A reply of `size` bytes with no start or stop byte between its own.
Bytes CleanReply(size_t size) {
    Bytes payload(size - 7, 0x41);
    for (int last = 0x10; last < 256; ++last) {
        payload.back() = uint8_t(last);
        const Bytes frame = Full(0x50, 0x38, payload);
        if (std::count(frame.begin(), frame.end(), 0x02) == 1 &&
            std::count(frame.begin(), frame.end(), 0x03) == 1) {
            return frame;
        }
    }
    ADD_FAILURE() << "no such reply";
    return {};
}

// No more bytes fit, so a full buffer is decided whatever the line does:
// waiting to see what follows its last byte would wedge the reader.
TEST(FrameReader, AFullBufferIsDecidedAtOnce) {
    Bytes noEnd(kReceiveBufferSize, 0x41);
    noEnd[0] = 0x02;
    noEnd[2] = 0x50;
    const Bytes filling = CleanReply(kReceiveBufferSize);
    const Bytes behindHead = Join({{0x02, 0x41, 0x50}, CleanReply(kReceiveBufferSize - 3)});
    const struct {
        const char* name;
        Bytes bytes;
        size_t replySize;  // 0: nothing handed over
        const char* logLine;
    } cases[] = {
        {"no frame end", noEnd, 0, "<== FRAME REFUSED [no frame end in 1024 bytes] 1024 BYTES"},
        {"a reply ending at the last byte", filling, kReceiveBufferSize - 7, "<== SETUP_REPLY"},
        {"a stale head, then a reply to the last byte", behindHead, kReceiveBufferSize - 10,
         "<== SKIP 3 BYTES BEFORE FRAME START"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        FrameReader reader;
        Recorder actions;
        ASSERT_EQ(c.bytes.size(), kReceiveBufferSize);
        EXPECT_EQ(Feed(reader, actions, c.bytes, LineState::Busy).wait, SplitWait::None);
        EXPECT_EQ(reader.Held(), 0u);
        EXPECT_TRUE(log.Contains(std::string("[RO25]") + c.logLine));
        if (c.replySize == 0) {
            EXPECT_TRUE(actions.replies.empty());
        } else {
            ASSERT_EQ(actions.replies.size(), 1u);
            EXPECT_EQ(actions.replies[0].size(), c.replySize);
        }
        Feed(reader, actions, Full(0x50, 0x39, {0x01}));
        EXPECT_EQ(actions.replies.size(), c.replySize == 0 ? 1u : 2u);
    }
}

TEST(FrameReader, AFrameWithoutItsStopByteWaitsForTheRest) {
    FrameReader reader;
    Recorder actions;
    const Bytes frame = Full(0x51, 0x39, {0x11, 0x22, 0x33, 0x44});
    ASSERT_EQ(std::count(frame.begin(), frame.end(), 0x03), 1);
    const auto outcome =
        Feed(reader, actions, Bytes(frame.begin(), frame.end() - 1), LineState::Quiet);
    EXPECT_EQ(outcome.wait, SplitWait::None);
    EXPECT_EQ(reader.Held(), frame.size() - 1);
    // A verified end that is the last byte held waits for the line to pause.
    EXPECT_EQ(Feed(reader, actions, {0x03}, LineState::Busy).wait, SplitWait::Confirm);
    EXPECT_TRUE(actions.replies.empty());
    reader.Process(actions, LineState::Paused);
    EXPECT_EQ(actions.replies.size(), 1u);
}

TEST(FrameReader, ClearForgetsWhatIsHeld) {
    FrameReader reader;
    Recorder actions;
    Feed(reader, actions, {0x02, 0x35, 0x50, 0x48, 0x49});
    reader.Clear();
    EXPECT_EQ(reader.Held(), 0u);
    Feed(reader, actions, Short(0x15, 0x26, 0x30));
    EXPECT_EQ(actions.events, std::vector<std::string>{"refuse"});
}

TEST(RemoveFront, MovesTheRestForwardAndZeroesBehind) {
    uint8_t buffer[6] = {1, 2, 3, 4, 5, 6};
    RemoveFront(buffer, 5, 2);
    EXPECT_THAT(buffer, ElementsAre(3, 4, 5, 0, 0, 6));
    RemoveFront(buffer, 3, 3);
    EXPECT_THAT(buffer, ElementsAre(0, 0, 0, 0, 0, 6));
}

}  // namespace
}  // namespace qv

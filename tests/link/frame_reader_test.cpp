#include "link/frame_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "link/engine_frames.h"
#include "link/link_test_support.h"

namespace qv {
namespace {

using namespace test_frames;
using ::testing::ElementsAre;

// Feeds bytes to a reader as one read and processes them.
FrameReader::Outcome Feed(FrameReader& reader, Recorder& actions, const Bytes& bytes,
                          bool settled = false) {
    EXPECT_LE(bytes.size(), reader.Room());
    std::memcpy(reader.Tail(), bytes.data(), bytes.size());
    reader.Append(bytes.size());
    return reader.Process(actions, settled);
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
        EXPECT_EQ(actions.purges, 1);
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
}

TEST(FrameReader, AFrameSplitAtEveryPositionIsFoundOnce) {
    // With a 0x02 and a 0x03 in its payload, so a cut after them is tempting.
    const Bytes frame = Full(0x50, 0x24, {0x30, 0xC6, 0x03, 0x31, 0x02, 0x10});
    for (size_t cut = 1; cut < frame.size(); ++cut) {
        FrameReader reader;
        Recorder actions;
        Feed(reader, actions, Bytes(frame.begin(), frame.begin() + long(cut)));
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
    EXPECT_EQ(actions.purges, 1);
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
    {
        // A reply cut to five bytes: refused once the line is quiet.
        FrameReader reader;
        Recorder actions;
        EXPECT_TRUE(Feed(reader, actions, {0x02, 0x30, 0x50, 0x11, 0x03}).ambiguous);
        EXPECT_TRUE(actions.replies.empty());
        reader.Process(actions, true);
        EXPECT_TRUE(actions.events.empty());
        EXPECT_EQ(reader.Held(), 0u);
        EXPECT_TRUE(log.Contains("[RO25]<== FRAME REFUSED [too short] 5 BYTES\r\n"));
    }
    {
        // A barcode whose length runs past 1024 bytes.
        FrameReader reader;
        Recorder actions;
        Feed(reader, actions, Full(0x60, 0x31, {0x04, 0x00, 'j', 'x'}));
        EXPECT_TRUE(actions.events.empty());
        EXPECT_TRUE(log.Contains("[RO25]<== FRAME REFUSED [barcode length past 1024 bytes]"));
    }
    {
        // A verified barcode frame whose length claims more than it holds.
        FrameReader reader;
        Recorder actions;
        Feed(reader, actions, Full(0x60, 0x32, {0x00, 0x20, 'j', 'x'}));
        EXPECT_TRUE(actions.events.empty());
        EXPECT_TRUE(log.Contains("[RO25]<== FRAME REFUSED [barcode length past frame]"));
    }
    {
        FrameReader reader;
        Recorder actions;
        Feed(reader, actions, Full(0x60, 0x33, {0x00, 0x00}));
        EXPECT_TRUE(actions.events.empty());
        EXPECT_TRUE(log.Contains("[RO25]<== FRAME REFUSED [no barcode data]"));
    }
}

TEST(FrameReader, AFrameThatNeverChecksOutEndsAtItsFirstStopByteOnceQuiet) {
    Bytes frame = Full(0x50, 0x34, {0x30, 0x03, 0x07});
    frame[frame.size() - 2] ^= 0xFF;  // corrupt the checksum
    FrameReader reader;
    Recorder actions;
    EXPECT_TRUE(Feed(reader, actions, frame).ambiguous);
    EXPECT_TRUE(actions.replies.empty());
    // Nothing more comes: the first stop byte ends it, as the engine's
    // framing has always been read. Its payload is cut at the value 3.
    reader.Process(actions, true);
    EXPECT_TRUE(actions.replies.empty());  // 0x02 .. 0x03 is too short for a reply
    EXPECT_EQ(reader.Held(), 0u);

    // A bad checksum with no stop byte ahead of the end is handed over whole.
    Bytes clean = Full(0x51, 0x35, {0x30, 0x07, 0x41, 0x42});
    ASSERT_EQ(std::count(clean.begin(), clean.end(), 0x03), 1);
    clean[clean.size() - 2] ^= 0x80;
    Feed(reader, actions, clean, true);
    EXPECT_EQ(actions.replies, std::vector<Bytes>{Bytes({0x30, 0x07, 0x41, 0x42})});
}

TEST(FrameReader, ABrokenFrameAheadOfAGoodOneIsDropped) {
    LogCapture log;
    FrameReader reader;
    Recorder actions;
    // A reply head that never finished, then a whole reply.
    const Bytes good = Full(0x50, 0x36, {0x48, 0x48, 0x42});
    Feed(reader, actions, Join({{0x02, 0x35, 0x50, 0x48}, good}));
    EXPECT_EQ(actions.replies, std::vector<Bytes>{Bytes({0x48, 0x48, 0x42})});
    EXPECT_TRUE(log.Contains("[RO25]<== SKIP 4 BYTES BEFORE FRAME START\r\n"));
    // The same behind a lone start byte, and behind a short frame's head.
    for (const Bytes& head : {Bytes{0x02}, Bytes{0x02, 0x37, 0x06}}) {
        FrameReader next;
        Recorder more;
        Feed(next, more, head);
        Feed(next, more, good);
        EXPECT_EQ(more.replies.size(), 1u);
        EXPECT_EQ(next.Held(), 0u);
    }
}

TEST(FrameReader, AFullBufferWithoutAFrameEndIsCleared) {
    LogCapture log;
    FrameReader reader;
    Recorder actions;
    Bytes junk(kReceiveBufferSize, 0x41);
    junk[0] = 0x02;
    junk[2] = 0x50;
    Feed(reader, actions, junk);
    EXPECT_EQ(reader.Held(), 0u);
    EXPECT_TRUE(log.Contains("[RO25]<== FRAME REFUSED [no frame end in 1024 bytes] 1024 BYTES"));
    Feed(reader, actions, Full(0x50, 0x38, {0x01}));
    EXPECT_EQ(actions.replies.size(), 1u);
}

TEST(FrameReader, AFrameWithoutItsStopByteWaitsForTheRest) {
    FrameReader reader;
    Recorder actions;
    const Bytes frame = Full(0x51, 0x39, {0x11, 0x22, 0x33, 0x44});
    ASSERT_EQ(std::count(frame.begin(), frame.end(), 0x03), 1);
    const auto outcome =
        Feed(reader, actions, Bytes(frame.begin(), frame.end() - 1), /*settled=*/true);
    EXPECT_FALSE(outcome.ambiguous);
    EXPECT_EQ(reader.Held(), frame.size() - 1);
    Feed(reader, actions, {0x03});
    EXPECT_EQ(actions.replies.size(), 1u);
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

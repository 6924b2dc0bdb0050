#include "sim/frame_codec.h"

#include <gtest/gtest.h>

#include "host_line.h"

namespace qv::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimFrames, ChecksumAndBarcodeLengthField) {
    const Bytes example{0x02, 0x12, 0x41, 0x70, 0x40, 0x02, 0x61, 0x04, 0x96, 0x03};
    EXPECT_EQ(Checksum(example, 7), 0x0496);
    EXPECT_EQ(BuildFrame(0x12, 0x41, Bytes{0x70, 0x40, 0x02}, 0x61), example);

    auto lengthBytes = [](size_t n) {
        const Bytes frame = BuildBarcodeFrame(0x20, 0x61, Bytes(n, 'x'));
        return Bytes(frame.begin() + 3, frame.begin() + (frame[4] == 0x10 ? 6 : 5));
    };
    EXPECT_EQ(lengthBytes(300), (Bytes{0x01, 0x2C}));
    EXPECT_EQ(lengthBytes(0x12), (Bytes{0x00, 0x12}));
    // The low byte is escaped when it equals a control byte, and only then.
    EXPECT_EQ(lengthBytes(0x02), (Bytes{0x00, 0x10, 0x42}));
    EXPECT_EQ(lengthBytes(0x103), (Bytes{0x01, 0x10, 0x43}));
    EXPECT_EQ(lengthBytes(0x110), (Bytes{0x01, 0x10, 0x50}));
    const Bytes escaped = BuildBarcodeFrame(0x20, 0x61, Bytes(0x103, 'x'));
    EXPECT_EQ(escaped.size(), 0x103u + 10);
    EXPECT_TRUE(DecodeFrame(escaped)->checksumOk);
}

TEST(SimFrames, SplitterFindsTheEndByTheChecksum) {
    HostFrameSplitter splitter;
    // Value 3 inside the payload is not the end of the frame.
    const Bytes withStop = sim_test::HostFrame(0x12, 0x41, {0x71, 0x40, 0x03, 0x42, 0x40, 0x02});
    const Bytes ack{0x02, 0x33, 0x06, 0x00, 0x03};
    Bytes stream{0xFF, 0x00};
    stream.insert(stream.end(), withStop.begin(), withStop.begin() + 5);
    splitter.Feed(stream, 100);

    auto item = splitter.Next(100);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->discarded, (Bytes{0xFF, 0x00}));
    EXPECT_FALSE(splitter.Next(100)) << "half a frame waits for the rest";

    Bytes rest(withStop.begin() + 5, withStop.end());
    rest.insert(rest.end(), ack.begin(), ack.end());
    splitter.Feed(rest, 105);
    item = splitter.Next(105);
    ASSERT_TRUE(item && item->frame);
    EXPECT_EQ(item->frame->raw, withStop);
    EXPECT_EQ(item->frame->payload, (Bytes{0x71, 0x40, 0x03, 0x42, 0x40, 0x02}));
    item = splitter.Next(105);
    ASSERT_TRUE(item && item->frame);
    EXPECT_TRUE(item->frame->isShort);
    EXPECT_EQ(item->frame->sequence, 0x33);
    EXPECT_EQ(splitter.Held(), 0u);
}

TEST(SimFrames, DamagedFrameIsReportedOnceTheLineIsQuiet) {
    HostFrameSplitter splitter(30);
    Bytes bad = sim_test::HostFrame(0x12, 0x40, {0x48, 0x48});
    bad[bad.size() - 2] ^= 0x01;
    Bytes stream = bad;
    const Bytes next = sim_test::HostFrame(0x13, 0x43, {});
    stream.insert(stream.end(), next.begin(), next.begin() + 3);
    splitter.Feed(stream, 1000);
    EXPECT_FALSE(splitter.Next(1010));
    EXPECT_EQ(splitter.Deadline(), 1030u);
    auto item = splitter.Next(1030);
    ASSERT_TRUE(item && item->frame);
    EXPECT_FALSE(item->frame->checksumOk);
    EXPECT_EQ(item->frame->raw, bad) << "cut at the stop byte that a start byte follows";
    EXPECT_EQ(splitter.Held(), 3u);
}

TEST(SimFrames, DescriptionsNameTheTypeAndTheEntries) {
    auto line = [](const Bytes& raw, Direction d) { return DescribeFrame(*DecodeFrame(raw), d); };
    EXPECT_EQ(line(sim_test::HostFrame(0x12, 0x41, {0x70, 0x40, 0x02, 0x7B, 0x82, 0x12, 0x34}),
                   Direction::HostToEngine),
              "H->E #12 SETUP_COMMAND {70 40=02, 7B 82=1234} fm=61 checksum ok");
    EXPECT_EQ(line({0x02, 0x12, 0x15, 0x50, 0x03}, Direction::EngineToHost),
              "E->H #12 NAK reason 50");
    Bytes bad = sim_test::HostFrame(0x12, 0x40, {0x48, 0x48});
    bad[bad.size() - 2] ^= 0x01;
    EXPECT_NE(line(bad, Direction::HostToEngine).find("SETUP_QUERY {48 48} fm=61 checksum BAD"),
              std::string::npos);
    const Bytes code39{'8', 'A', 0x03};
    EXPECT_EQ(line(BuildBarcodeFrame(0x11, 0x60, code39), Direction::EngineToHost),
              "E->H #11 BARCODE_DATA len=3 id=\"8\" \"A\\x03\" fm=60 checksum ok");
}

}  // namespace
}  // namespace qv::sim

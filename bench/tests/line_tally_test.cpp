#include "bench/line_tally.h"

#include <gtest/gtest.h>

#include <vector>

#include "bench/sample_stream.h"
#include "sim/frame_codec.h"
#include "symbology/symbology_settings.h"

namespace qv::bench {
namespace {

std::vector<uint8_t> Barcode(size_t dataBytes) {
    std::vector<uint8_t> data = BarcodeText(dataBytes);
    data[0] = 'j';
    return sim::BuildBarcodeFrame(0x31, sim::SingleFrameManagement(0), data);
}

// Feeds `frame` cut at `cuts`; the writes after which the tracker said done.
std::vector<size_t> DoneAfter(BarcodeEndTracker& t, const std::vector<uint8_t>& frame,
                              std::vector<size_t> cuts) {
    cuts.push_back(frame.size());
    std::vector<size_t> done;
    size_t from = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        if (t.Feed(std::span(frame).subspan(from, cuts[i] - from))) done.push_back(i);
        from = cuts[i];
    }
    return done;
}

TEST(BarcodeEndTracker, EndsAtTheLastByteHoweverTheFrameIsCut) {
    BarcodeEndTracker t;
    EXPECT_EQ(DoneAfter(t, Barcode(20), {}), (std::vector<size_t>{0}));
    // Sliced as the line pacing does, with the length field itself cut.
    EXPECT_EQ(DoneAfter(t, Barcode(300), {2, 4, 29, 58, 290}), (std::vector<size_t>{5}));
    // Length bytes 0x01 0x03: the low byte is escaped, one byte longer.
    const auto escaped = Barcode(259);
    ASSERT_EQ(escaped[4], 0x10);
    EXPECT_EQ(DoneAfter(t, escaped, {5, 100}), (std::vector<size_t>{2}));
}

TEST(BarcodeEndTracker, OtherFramesAreNotBarcodes) {
    BarcodeEndTracker t;
    EXPECT_FALSE(t.Feed(sim::BuildShortFrame(0x21, sim::frame_type::kAck)));
    EXPECT_FALSE(t.Feed(sim::BuildFrame(0x22, sim::frame_type::kResult, std::vector<uint8_t>{0},
                                        sim::SingleFrameManagement(1))));
    const std::vector<uint8_t> reply = sim::BuildFrame(
        0x23, sim::frame_type::kSetupReply, std::vector<uint8_t>{0x60, 0x40, 1, 0x60, 0x41, 0},
        sim::SingleFrameManagement(2));
    EXPECT_EQ(DoneAfter(t, reply, {1, 2}), std::vector<size_t>{});
    EXPECT_EQ(DoneAfter(t, Barcode(20), {}), (std::vector<size_t>{0}));
}

TEST(LineTally, OnlyWholeRecordQueriesArePausedAfter) {
    EXPECT_TRUE(IsRecordQuery(0x40, kEnableQueryLength));
    EXPECT_TRUE(IsRecordQuery(0x40, kDetailQueryLength));
    EXPECT_TRUE(IsRecordQuery(0x40, kOtherQueryLength));
    EXPECT_FALSE(IsRecordQuery(0x40, 6));  // the initialised check
    EXPECT_FALSE(IsRecordQuery(0x41, kDetailQueryLength));
}

}  // namespace
}  // namespace qv::bench

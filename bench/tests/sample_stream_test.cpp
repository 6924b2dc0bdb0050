// The benchmarks' stream is what it claims to be: the library's splitter
// finds in it exactly the frames (and the noise) it was built from.
#include "bench/sample_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "link/frame_reader.h"
#include "symbology/symbology_settings.h"

namespace qv::bench {
namespace {

TEST(SampleStream, SplitsIntoTheFramesItWasBuiltFrom) {
    const SampleStream s = MakeMixedStream();
    ASSERT_EQ(s.parts.size(), 7u);
    EXPECT_EQ(s.Frames(), 6u);
    FrameReader reader;
    std::copy(s.bytes.begin(), s.bytes.end(), reader.Tail());
    reader.Append(s.bytes.size());
    size_t at = 0;
    for (const StreamPart& part : s.parts) {
        const SplitResult r = reader.Next(LineState::Paused);
        EXPECT_EQ(r.kind, part.type == 0 ? SplitKind::Drop : SplitKind::Frame) << at;
        ASSERT_EQ(r.length, part.length) << at;
        if (part.type != 0) {
            EXPECT_EQ(reader.Data()[2], part.type);
            if (part.type == 0x60) {
                const FrameContent c = ReadFrameContent(reader.Data(), part.length);
                EXPECT_TRUE(c.dataLength == 20 || c.dataLength == 300) << c.dataLength;
            }
        }
        reader.Remove(r.length);
        at += r.length;
    }
    EXPECT_EQ(at, s.bytes.size());
}

TEST(SampleStream, RepliesAnswerEveryPairAndParse) {
    std::array<uint8_t, kPayloadBufferSize> query{};
    int32_t length = 0;
    ASSERT_EQ(SymbologySettings::MakeDetailQuery(query, length), 1);
    const auto reply = ReplyTo({query.data(), static_cast<size_t>(length)});
    size_t expected = 0;
    for (int32_t i = 0; i + 1 < length; i += 2)
        expected += query[static_cast<size_t>(i) + 1] >= 0x80 ? 4 : 3;
    EXPECT_EQ(reply.size(), expected);
    SymbologySettings store;
    EXPECT_EQ(store.ParseDetailReply(reply.data(), static_cast<int32_t>(reply.size())), 1);
}

}  // namespace
}  // namespace qv::bench

#include "bench/stats.h"

#include <gtest/gtest.h>

namespace qv::bench {
namespace {

TEST(Stats, MedianAndPercentilesOfUnsortedSamples) {
    EXPECT_DOUBLE_EQ(Median({5, 1, 3}), 3);
    EXPECT_DOUBLE_EQ(Median({4, 1, 3, 2}), 2.5);
    EXPECT_DOUBLE_EQ(Percentile({10, 0, 20, 30, 40}, 90), 36);
    EXPECT_DOUBLE_EQ(Percentile({7}, 90), 7);
    EXPECT_DOUBLE_EQ(Percentile({1, 2}, 250), 2);  // clamped to the largest
    EXPECT_DOUBLE_EQ(Median({}), 0);

    const Summary s = Summarize({3, 9, 1, 4});
    EXPECT_EQ(s.count, 4u);
    EXPECT_DOUBLE_EQ(s.median, 3.5);
    EXPECT_DOUBLE_EQ(s.min, 1);
    EXPECT_DOUBLE_EQ(s.max, 9);
    EXPECT_EQ(Summarize({}).count, 0u);
}

}  // namespace
}  // namespace qv::bench

#include "bench/floor.h"

#include <gtest/gtest.h>

namespace qv::bench {
namespace {

// An open that checked the engine once and applied three stored records:
// four commands, each answered by ACK + reply and acknowledged by the host.
Exchange StoredOpen() {
    Exchange e;
    e.engineFrames = {{0x06, 4}, {0x50, 1}, {0x51, 3}};
    e.wakePulses = 8;
    e.triggerReleases = 2;
    e.hostBytes = 460;
    e.engineBytes = 116;
    return e;
}

TEST(Floor, CountsEveryMandatedWaitOnce) {
    const Floor f = FloorOf(StoredOpen(), kOpenFixedMs);
    EXPECT_EQ(f.settleWaits, 4u);  // the engine's ACKs ride with their replies
    EXPECT_DOUBLE_EQ(f.waitsMs, 500 + 8 * 80 + 4 * 40 + 2 * 5);
    EXPECT_DOUBLE_EQ(f.lineMs, 576 * 10 * 1000.0 / 57600);

    Exchange set;  // query + setup of one record
    set.engineFrames = {{0x06, 2}, {0x50, 1}, {0x51, 1}};
    set.wakePulses = 4;
    set.recordReads = 1;
    EXPECT_DOUBLE_EQ(FloorOf(set, 0).waitsMs, 4 * 80 + 2 * 40 + 100);
}

TEST(Floor, ShortEngineFramesNeedNoSettleOfTheirOwn) {
    Exchange e;
    e.engineFrames = {{0x05, 1}, {0x06, 3}, {0x15, 2}, {0x1B, 1}};
    EXPECT_EQ(SettleWaits(e), 0u);
    e.engineFrames = {{0x53, 1}, {0x54, 1}, {0x60, 2}, {0x61, 1}, {0x62, 1}};
    EXPECT_EQ(SettleWaits(e), 6u);
}

TEST(Floor, DifferenceKeepsOnlyWhatHappenedBetween) {
    Exchange before = StoredOpen();
    Exchange after = StoredOpen();
    after.engineFrames[0x06] += 2;
    after.engineFrames[0x60] = 1;  // a type not seen before
    after.wakePulses += 3;
    after.recordReads += 1;
    after.engineBytes += 40;
    const Exchange d = after - before;
    EXPECT_EQ(d.engineFrames, (std::map<uint8_t, uint64_t>{{0x06, 2}, {0x60, 1}}));
    EXPECT_EQ(d.wakePulses, 3u);
    EXPECT_EQ(d.triggerReleases, 0u);
    EXPECT_EQ(d.recordReads, 1u);
    EXPECT_EQ(d.hostBytes, 0u);
    EXPECT_EQ(d.engineBytes, 40u);
}

TEST(Floor, DescriptionAddsUp) {
    EXPECT_EQ(DescribeFloor(StoredOpen(), kOpenFixedMs),
              "500 fixed + 8 wake x 80 + 4 settle x 40 + 0 read x 100 + 2 trigger x 5 = 1310 ms "
              "(line: 576 B, 100.0 ms)");
}

}  // namespace
}  // namespace qv::bench

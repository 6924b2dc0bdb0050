#include "bench/os/process_stats.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace qv::bench {
namespace {

TEST(ProcessStats, ThreadCpuIsThatThreadsAlone) {
    std::atomic<pid_t> tid{0};
    std::atomic<bool> stop{false};
    std::thread spinner([&] {
        tid = CurrentTid();
        volatile uint64_t x = 0;
        while (!stop)
            x = x + 1;
    });
    while (tid == 0)
        std::this_thread::yield();
    const double mineBefore = ThreadCpuMs(CurrentTid()).value_or(-1);
    const double before = ThreadCpuMs(tid).value_or(-1);
    // Spins until it has had 20 ms of CPU, however loaded the machine is.
    while (ThreadCpuMs(tid).value_or(0) < before + 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    spinner.join();
    EXPECT_GE(before, 0);
    // This thread mostly slept meanwhile.
    EXPECT_LT(ThreadCpuMs(CurrentTid()).value_or(1e9) - mineBefore, 20);
    // Gone once the kernel has reaped it, which may trail the join a little.
    for (int i = 0; i < 200 && ThreadCpuMs(tid).has_value(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(ThreadCpuMs(tid).has_value());
    EXPECT_GE(ProcessCpuMs(), 20);
}

TEST(ProcessStats, PeakResidentFollowsTouchedMemoryAndResets) {
    const auto base = ResidentKiB();
    ASSERT_TRUE(base.has_value());
    {
        std::vector<char> block(32 << 20);
        std::memset(block.data(), 1, block.size());
        EXPECT_GE(*ResidentKiB() - *base, 30 << 10);
        EXPECT_GE(*PeakResidentKiB() - *base, 30 << 10);
    }
    if (!ResetPeakResident()) GTEST_SKIP() << "the kernel does not reset the peak";
    EXPECT_LT(*PeakResidentKiB() - *base, 16 << 10);
}

}  // namespace
}  // namespace qv::bench

// Threads: priorities, and an owner destroyed on the thread itself.
#include "platform/core/thread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <thread>

#include "platform/core/event.h"

namespace qv::platform {
namespace {

int PolicyOfThisThread(int* priority) {
    int policy = -1;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0) return -1;
    *priority = param.sched_priority;
    return policy;
}

TEST(Thread, RaisedThreadIsModerateAndItsWorkersRunAtNormalPriority) {
    // Application code runs on the raised reader: never the maximum.
    EXPECT_EQ(RealTimePriorityOfLevel(0), kHighestRealTimePriority);
    EXPECT_LT(kHighestRealTimePriority, sched_get_priority_max(SCHED_RR) / 2);
    EXPECT_EQ(RealTimePriorityOfLevel(3), 0);
    EXPECT_EQ(RealTimePriorityOfLevel(7), 0);

    // Whether this system grants real-time priority at all.
    int probe = -1;
    std::thread([&probe] {
        sched_param param{};
        param.sched_priority = 1;
        probe = pthread_setschedparam(pthread_self(), SCHED_RR, &param);
    }).join();
    if (probe != 0) GTEST_SKIP() << "no real-time priority allowed here";

    Event raised;
    std::atomic<int> raisedPolicy{-1}, raisedPriority{-1}, workerPolicy{-1};
    Thread reader;
    ASSERT_TRUE(reader.Start([&] {
        raised.Wait(kInfinite);
        int priority = 0;
        raisedPolicy = PolicyOfThisThread(&priority);
        raisedPriority = priority;
        Event started;
        Thread worker;
        worker.Start([&] {
            started.Wait(kInfinite);  // looked at once Start has returned
            int ignored = 0;
            workerPolicy = PolicyOfThisThread(&ignored);
        });
        started.Set();
        worker.Join();
    }));
    reader.SetPriority(0);
    raised.Set();
    reader.Join();
    // Raised right after the start, as the reader is: never undone.
    EXPECT_EQ(raisedPolicy.load(), SCHED_RR);
    EXPECT_EQ(raisedPriority.load(), kHighestRealTimePriority);
    EXPECT_EQ(workerPolicy.load(), SCHED_OTHER);
}

TEST(Thread, OwnerDestroyedOnTheThreadItselfLetsItFinish) {
    std::atomic<Thread*> owner{new Thread};
    Event started;
    std::atomic<int> finished{0};
    ASSERT_TRUE(owner.load()->Start([&] {
        started.Wait(kInfinite);
        delete owner.load();  // joins itself: the thread finishes detached
        finished = 1;
    }));
    started.Set();
    for (int i = 0; i < 500 && finished.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(finished.load(), 1);
    // Give the detached thread time to signal its end on the shared state.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace
}  // namespace qv::platform

// The counter behind the reader's allocation figure: it must see every form
// of operator new on the watched thread, and nothing else.
#include "bench/os/alloc_counter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "bench/os/process_stats.h"

namespace qv::bench {
namespace {

struct alignas(64) Wide {
    char bytes[64];
};

// Kept from being optimised away.
template <class T>
void Keep(T* p) {
    asm volatile("" : : "g"(p) : "memory");
}

TEST(AllocCounter, CountsEveryFormOnTheWatchedThreadOnly) {
    // Another thread allocates while the count runs; starting it is an
    // allocation of this thread's, so it is started first.
    std::atomic<int> step{0};
    std::thread other([&step] {
        while (step.load() != 1)
            std::this_thread::yield();
        auto p = std::make_unique<std::string>(100, 'x');
        Keep(p.get());
        step = 2;
    });
    alloc::Start(CurrentTid(), false);
    auto* one = new int(1);
    auto* many = new int[8];
    auto* quiet = new (std::nothrow) int(2);
    auto* wide = new Wide;
    Keep(one);
    Keep(many);
    Keep(quiet);
    Keep(wide);
    delete one;
    delete[] many;
    delete quiet;
    delete wide;
    step = 1;
    while (step.load() != 2)
        std::this_thread::yield();
    {
        const alloc::Pause pause;
        auto p = std::make_unique<int>(3);
        Keep(p.get());
    }
    EXPECT_EQ(alloc::Stop(), 4u);
    other.join();

    // Nothing after Stop.
    auto p = std::make_unique<int>(4);
    Keep(p.get());
    alloc::Start(CurrentTid(), false);
    EXPECT_EQ(alloc::Stop(), 0u);
}

// Kept out of line so an optimised build still has a frame to name.
[[gnu::noinline]] void AllocateHere() {
    auto p = std::make_unique<std::vector<int>>(16);
    Keep(p.get());
}

TEST(AllocCounter, NamesWhereTheAllocationsCameFrom) {
    alloc::Prepare();
    alloc::Start(CurrentTid(), true);
    for (int i = 0; i < 3; ++i)
        AllocateHere();
    alloc::Stop();
    const auto sites = alloc::Sites();
    ASSERT_FALSE(sites.empty());
    uint64_t total = 0;
    bool named = false;
    for (const auto& [chain, count] : sites) {
        total += count;
        named = named || chain.find("AllocateHere") != std::string::npos ||
                chain.find("alloc_counter_test") != std::string::npos;
    }
    EXPECT_EQ(total, 6u);  // the vector object and its storage, three times
    EXPECT_TRUE(named) << sites.front().first;
}

}  // namespace
}  // namespace qv::bench

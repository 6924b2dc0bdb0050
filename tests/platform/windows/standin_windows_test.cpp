// The window and message stand-in: ownership by thread, post and send
// across threads, waits that block, translation of injected keys.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/clock.h"
#include "platform/core/event.h"
#include "platform/keyboard/keyboard.h"
#include "platform/windows/message.h"
#include "platform/windows/message_record.h"
#include "platform/windows/window.h"

using namespace qv::platform;
using ::testing::ElementsAre;

namespace {

// What a test window saw, in order.
struct Seen {
    std::mutex mutex;
    std::vector<Message> messages;
    std::vector<Message> All() {
        std::lock_guard lock(mutex);
        return messages;
    }
};

intptr_t RecordingProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* seen = static_cast<Seen*>(GetWindowUserData(window));
    if (seen != nullptr) {
        std::lock_guard lock(seen->mutex);
        seen->messages.push_back(Message{window, message, wParam, lParam, 0});
    }
    return static_cast<intptr_t>(message) + 1000;
}

// A window on a thread of its own that pumps until told to stop.
class WindowThread {
  public:
    explicit WindowThread(std::u16string className) {
        m_thread = std::thread([this, className] {
            m_window = CreateWindow(className, RecordingProc, &seen);
            m_ready.Set();
            while (!m_stop.load())
                PumpMessagesFor(20);
            DestroyWindow(m_window);
        });
        m_ready.Wait(kInfinite);
    }
    ~WindowThread() {
        m_stop = 1;
        PostMessage(m_window, QV_WM_USER, 0, 0);
        m_thread.join();
    }
    QVHWND Window() const { return m_window; }
    Seen seen;

  private:
    std::thread m_thread;
    QVHWND m_window = nullptr;
    Event m_ready;
    std::atomic<int32_t> m_stop{0};
};

double ThreadCpuMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

class StandInWindows : public ::testing::Test {
  protected:
    void SetUp() override { ClearRecordedEffects(); }
    void TearDown() override {
        for (QVHWND w : m_windows)
            DestroyWindow(w);
        Message m{};
        while (PeekMessage(&m, nullptr, true)) {
        }
    }
    // The window's record lives as long as the fixture, past the window.
    QVHWND Make(std::u16string_view className, Seen*& seen) {
        seen = &m_seen.emplace_back();
        QVHWND w = CreateWindow(className, RecordingProc, seen);
        m_windows.push_back(w);
        return w;
    }
    std::deque<Seen> m_seen;
    std::vector<QVHWND> m_windows;
};

TEST_F(StandInWindows, PostedMessagesWaitForTheLoopAndAreRecorded) {
    Seen* seen = nullptr;
    QVHWND w = Make(u"APP", seen);
    EXPECT_TRUE(PostMessage(w, 0x0464, 132, 0x1234));
    EXPECT_TRUE(seen->All().empty());  // posting never calls the procedure
    Message m{};
    ASSERT_TRUE(PeekMessage(&m, nullptr, true));
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(DispatchMessage(m), 0x0464 + 1000);
    ASSERT_EQ(seen->All().size(), 1u);
    EXPECT_EQ(seen->All()[0].wParam, 132u);
    EXPECT_EQ(seen->All()[0].lParam, 0x1234);
    EXPECT_FALSE(PeekMessage(&m, nullptr, true));

    EXPECT_FALSE(PostMessage(reinterpret_cast<QVHWND>(0x999990), 0x10, 0, 0));
    char expected[64];
    std::snprintf(expected, sizeof expected, "post 0x%lX 0x0464 132 0x1234 1",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(w)));
    EXPECT_THAT(RecordedEffects("post"), ElementsAre(expected, "post 0x999990 0x0010 0 0x0 0"));
}

TEST_F(StandInWindows, APostedTextLivesUntilTheNextTakeAndTheQueueIsBounded) {
    Seen* seen = nullptr;
    QVHWND w = Make(u"APP", seen);
    ASSERT_TRUE(PostMessageWithText(w, 0x0464, 1, u"first"));
    ASSERT_TRUE(PostMessageWithText(w, 0x0464, 2, u""));
    ASSERT_TRUE(PostMessageWithText(w, 0x0464, 3, u"third"));
    EXPECT_FALSE(PostMessageWithText(nullptr, 0x0464, 4, u"x"));
    EXPECT_FALSE(PostMessageWithText(BroadcastWindow(), 0x0464, 4, u"x"));
    Message m{};
    ASSERT_TRUE(PeekMessage(&m, nullptr, false));  // a look takes nothing
    const auto* first = reinterpret_cast<const char16_t*>(m.lParam);
    ASSERT_TRUE(PeekMessage(&m, nullptr, true));
    EXPECT_EQ(reinterpret_cast<const char16_t*>(m.lParam), first);
    // Still its own after a failed peek and more posts; the next take ends it.
    ASSERT_TRUE(PostMessageWithText(w, 0x0464, 5, u"fifth"));
    EXPECT_EQ(std::u16string(first), u"first");
    std::vector<std::u16string> texts;
    while (PeekMessage(&m, nullptr, true))
        texts.emplace_back(reinterpret_cast<const char16_t*>(m.lParam));
    EXPECT_THAT(texts, ElementsAre(u"", u"third", u"fifth"));

    // A thread that never takes its messages holds at most the quota.
    for (size_t i = 0; i < kMaxWaitingTexts; ++i)
        ASSERT_TRUE(PostMessageWithText(w, 0x0464, i, u"waiting"));
    EXPECT_FALSE(PostMessageWithText(w, 0x0464, 0, u"one too many"));
    ASSERT_TRUE(PeekMessage(&m, nullptr, true));
    EXPECT_TRUE(PostMessageWithText(w, 0x0464, 0, u"room again"));
    // Destroying the window frees what waits for it.
    DestroyWindow(w);
    EXPECT_FALSE(PeekMessage(&m, nullptr, true));
}

TEST_F(StandInWindows, FilterPeekWithoutRemoveAndQuit) {
    Seen* a = nullptr;
    Seen* b = nullptr;
    QVHWND wa = Make(u"A", a);
    QVHWND wb = Make(u"B", b);
    PostMessage(wa, 1, 0, 0);
    PostMessage(wb, 2, 0, 0);
    Message m{};
    ASSERT_TRUE(PeekMessage(&m, wb, false));
    EXPECT_EQ(m.message, 2u);
    ASSERT_TRUE(PeekMessage(&m, wb, true));
    EXPECT_FALSE(PeekMessage(&m, wb, true));
    PostQuitMessage(7);
    EXPECT_EQ(GetMessage(&m, nullptr), 1);
    EXPECT_EQ(m.message, 1u);
    EXPECT_EQ(GetMessage(&m, nullptr), 0);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(GetMessage(&m, reinterpret_cast<QVHWND>(0x999990)), -1);
}

TEST_F(StandInWindows, FindForegroundAndDestroy) {
    Seen* seen = nullptr;
    QVHWND first = Make(u"First", seen);
    QVHWND shell = Make(u"TSSHELLWND", seen);
    EXPECT_EQ(FindWindow(u"tsshellwnd"), shell);
    EXPECT_EQ(FindWindow(u"NOSUCH"), nullptr);
    EXPECT_EQ(GetForegroundWindow(), first);
    EXPECT_TRUE(SetForegroundWindow(shell));
    EXPECT_EQ(GetForegroundWindow(), shell);

    PostMessage(shell, 5, 0, 0);
    EXPECT_TRUE(DestroyWindow(shell));
    EXPECT_FALSE(IsWindow(shell));
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    EXPECT_EQ(seen->All().back().message, static_cast<uint32_t>(QV_WM_DESTROY));
    Message m{};
    EXPECT_FALSE(PeekMessage(&m, nullptr, true));  // its queued message went with it
    EXPECT_FALSE(DestroyWindow(shell));
    EXPECT_EQ(SendMessage(shell, 5, 0, 0), 0);
}

TEST_F(StandInWindows, OnlyTheOwnerDestroysOrDispatches) {
    WindowThread other(u"OTHER");
    EXPECT_FALSE(DestroyWindow(other.Window()));
    EXPECT_EQ(DispatchMessage(Message{other.Window(), 9, 0, 0, 0}), 0);
    EXPECT_TRUE(IsWindow(other.Window()));
}

TEST_F(StandInWindows, SendToAnotherThreadWaitsForItsLoop) {
    WindowThread other(u"OTHER");
    EXPECT_EQ(SendMessage(other.Window(), 0x55, 1, 2), 0x55 + 1000);
    const auto seen = other.seen.All();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].message, 0x55u);
    EXPECT_THAT(RecordedEffects("send"), ::testing::Contains(::testing::HasSubstr(" 0x0055 1 2")));
}

intptr_t SendBackProc(QVHWND, uint32_t message, uintptr_t wParam, intptr_t) {
    // Sends to the window named in wParam, which belongs to the thread that
    // is waiting on this very message.
    if (message == 0x77) return SendMessage(reinterpret_cast<QVHWND>(wParam), 0x78, 0, 0) + 1;
    return 0;
}

TEST_F(StandInWindows, TwoThreadsSendingToEachOtherDoNotDeadlock) {
    Seen* seen = nullptr;
    QVHWND mine = Make(u"MINE", seen);
    QVHWND theirs = nullptr;
    Event ready;
    std::atomic<int32_t> stop{0};
    std::thread t([&] {
        theirs = CreateWindow(u"THEIRS", SendBackProc);
        ready.Set();
        while (!stop.load())
            PumpMessagesFor(20);
    });
    ready.Wait(kInfinite);
    EXPECT_EQ(SendMessage(theirs, 0x77, reinterpret_cast<uintptr_t>(mine), 0), 0x78 + 1000 + 1);
    stop = 1;
    t.join();
    EXPECT_FALSE(IsWindow(theirs));  // gone with its thread
}

TEST_F(StandInWindows, WaitForAConditionHandlesSendsAndKeepsPostedMessages) {
    Seen* seen = nullptr;
    QVHWND mine = Make(u"WAITER", seen);
    ASSERT_TRUE(PostMessage(mine, 0x41, 0, 0));
    std::atomic<int32_t> done{0};
    std::atomic<intptr_t> answer{0};
    // Sends to the waiting thread, then makes the condition true.
    std::thread other([&] {
        answer = SendMessage(mine, 0x42, 0, 0);
        done = 1;
        WakeMessageWaiters();
    });
    EXPECT_TRUE(WaitHandlingSentMessages([&] { return done.load() == 1; }, kInfinite));
    other.join();
    EXPECT_EQ(answer.load(), 0x42 + 1000);
    // The posted message was left for the thread's own loop.
    ASSERT_EQ(seen->All().size(), 1u);
    Message msg{};
    EXPECT_TRUE(PeekMessage(&msg, nullptr, true));
    EXPECT_EQ(msg.message, 0x41u);
    // A condition that never holds ends with the time.
    SetClockScale(0.05);
    EXPECT_FALSE(WaitHandlingSentMessages([] { return false; }, 100));
    SetClockScale(1.0);
}

TEST_F(StandInWindows, BroadcastReachesEveryWindow) {
    Seen* local = nullptr;
    Make(u"LOCAL", local);
    WindowThread a(u"A");
    WindowThread b(u"B");
    EXPECT_EQ(SendMessage(BroadcastWindow(), 0x0308, 0, 0), 0);
    // Every window had handled it when the send returned.
    for (Seen* s : {local, &a.seen, &b.seen}) {
        const auto all = s->All();
        EXPECT_EQ(std::count_if(all.begin(), all.end(),
                                [](const Message& m) { return m.message == 0x0308; }),
                  1);
    }
    EXPECT_THAT(RecordedEffects("send"), ElementsAre("send 0xFFFF 0x0308 0 0"));
}

TEST_F(StandInWindows, SenderIsReleasedWhenTheWindowsThreadEnds) {
    QVHWND window = nullptr;
    Event created, release;
    std::thread owner([&] {
        window = CreateWindow(u"LEAVING", RecordingProc);
        created.Set();
        release.Wait(kInfinite);  // never pumps
    });
    created.Wait(kInfinite);
    std::atomic<intptr_t> result{-1};
    std::thread sender([&] { result = SendMessage(window, 0x30, 0, 0); });
    Sleep(50);
    EXPECT_EQ(result.load(), -1);  // still waiting for the owner
    release.Set();
    owner.join();
    sender.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(StandInWindows, SendWithTimeoutWithdrawsWhatAStuckThreadNeverTook) {
    SetClockScale(0.05);
    Seen* seen = nullptr;
    QVHWND stuckWindow = nullptr;
    Event created, release;
    std::thread stuck([&] {
        stuckWindow = CreateWindow(u"STUCK", RecordingProc, seen = &m_seen.emplace_back());
        created.Set();
        release.Wait(kInfinite);
        PumpMessagesFor(0);  // comes back only after the sender gave up
    });
    created.Wait(kInfinite);
    WindowThread live(u"LIVE");
    intptr_t result = -1;
    EXPECT_TRUE(SendMessageTimeout(live.Window(), 0x31, 0, 0, 2000, &result));
    EXPECT_EQ(result, 0x31 + 1000);
    EXPECT_FALSE(SendMessageTimeout(stuckWindow, 0x32, 0, 0, 200, &result));
    EXPECT_FALSE(SendMessageTimeout(BroadcastWindow(), 0x33, 0, 0, 200));
    release.Set();
    stuck.join();
    EXPECT_TRUE(seen->All().empty());       // withdrawn, never handled late
    EXPECT_EQ(live.seen.All().size(), 2u);  // the live window had both
    SetClockScale(1.0);
}

TEST_F(StandInWindows, WaitForMessagesBlocksUntilAPostOrTheDeadline) {
    SetClockScale(0.05);
    Seen* seen = nullptr;
    QVHWND w = Make(u"W", seen);
    EXPECT_FALSE(WaitForMessages(200));
    std::thread poster([w] {
        Sleep(100);
        PostMessage(w, 0x42, 0, 0);
    });
    EXPECT_TRUE(WaitForMessages(kInfinite));
    poster.join();
    SetClockScale(1.0);
}

TEST_F(StandInWindows, PumpingDispatchesAndDoesNotSpin) {
    Seen* seen = nullptr;
    QVHWND w = Make(u"W", seen);
    std::thread poster([w] {
        for (int i = 0; i < 5; ++i) {
            Sleep(30);
            PostMessage(w, 0x100 + static_cast<uint32_t>(i), 0, 0);
        }
    });
    const double cpuBefore = ThreadCpuMilliseconds();
    const uint32_t start = GetTickCount();
    EXPECT_TRUE(PumpMessagesFor(400));
    const uint32_t elapsed = GetTickCount() - start;
    const double cpu = ThreadCpuMilliseconds() - cpuBefore;
    poster.join();
    EXPECT_GE(elapsed, 400u);
    EXPECT_EQ(seen->All().size(), 5u);
    // A loop that spun would burn about the whole 400 ms.
    EXPECT_LT(cpu, 150.0);
}

TEST_F(StandInWindows, PumpingStopsAtQuitAndLeavesItForTheCaller) {
    PostQuitMessage(3);
    EXPECT_FALSE(PumpMessagesFor(5000));
    Message m{};
    ASSERT_TRUE(PeekMessage(&m, nullptr, true));
    EXPECT_EQ(m.message, static_cast<uint32_t>(QV_WM_QUIT));
}

TEST_F(StandInWindows, InjectedKeysReachTheForegroundWindowAndTranslate) {
    Seen* seen = nullptr;
    QVHWND w = Make(u"EDIT", seen);
    ASSERT_TRUE(SetForegroundWindow(w));
    // "&", then "a", then Ctrl+V, as delivery types them.
    KeybdEvent(0x10, 0, 4);
    KeybdEvent(0x37, 0, 4);
    KeybdEvent(0x37, 0, 2);
    KeybdEvent(0x10, 0, 2);
    KeybdEvent(0x41, 0, 4);
    KeybdEvent(0x41, 0, 2);
    KeybdEvent(0x11, 0x1D, 4);
    KeybdEvent(0x56, 0x2F, 4);
    KeybdEvent(0x56, 0x2F, 6);
    KeybdEvent(0x11, 0x1D, 6);
    EXPECT_TRUE(PumpMessagesFor(0));
    std::u16string typed;
    for (const Message& m : seen->All()) {
        if (m.message == QV_WM_CHAR) typed += static_cast<char16_t>(m.wParam);
    }
    EXPECT_EQ(typed, u"&a\x16");
    EXPECT_THAT(RecordedEffects("key"),
                ElementsAre("key 0x10 0 4", "key 0x37 0 4", "key 0x37 0 2", "key 0x10 0 2",
                            "key 0x41 0 4", "key 0x41 0 2", "key 0x11 29 4", "key 0x56 47 4",
                            "key 0x56 47 6", "key 0x11 29 6"));
    EXPECT_TRUE(RecordedEffects("post").empty());  // key messages are not posts
}

TEST(StandInKeyboard, LayoutMapsBothWays) {
    EXPECT_EQ(MapVirtualKey(0x11, kMapVkToScan), 0x1Du);
    EXPECT_EQ(MapVirtualKey(0x56, kMapVkToScan), 0x2Fu);
    EXPECT_EQ(MapVirtualKey(0x0D, kMapVkToScan), 0x1Cu);
    EXPECT_EQ(MapVirtualKey(0x0A, kMapVkToScan), 0u);
    for (uint32_t vk : {0x30u, 0x39u, 0x41u, 0x5Au, 0xBAu, 0xDEu, 0x10u, 0x20u}) {
        EXPECT_EQ(MapVirtualKey(MapVirtualKey(vk, kMapVkToScan), kMapScanToVk), vk) << vk;
    }
    EXPECT_EQ(MapVirtualKey(0x41, kMapVkToChar), static_cast<uint32_t>(u'A'));
    EXPECT_EQ(KeyToChar(0xDE, true, false), u'"');
    EXPECT_EQ(KeyToChar(0x30, true, false), u')');
    EXPECT_EQ(KeyToChar(0x41, false, true), 1);
    EXPECT_EQ(KeyToChar(0x0A, false, false), 0);
}

}  // namespace

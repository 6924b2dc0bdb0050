// The descriptor a main loop watches: readable while the thread's queue
// holds a message, whoever queued it, and not once the queue is drained.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <functional>
#include <thread>

#include "QVPlatform.h"

namespace {

// Generous: only a hang or a lost wake-up can reach it. The latency itself
// is measured in bench/.
constexpr int kLongWaitMs = 5000;

bool Readable(int fd, int milliseconds) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) == 1 && (p.revents & POLLIN) != 0;
}

intptr_t Answer(QVHWND, uint32_t message, uintptr_t, intptr_t) {
    return static_cast<intptr_t>(message) + 1;
}

// Takes, translates and dispatches everything queued; the count taken.
int Drain() {
    int taken = 0;
    QVMSG msg;
    while (QVPlatformPeekMessage(&msg, nullptr, 1) != 0) {
        QVPlatformTranslateMessage(&msg);
        QVPlatformDispatchMessage(&msg);
        ++taken;
    }
    return taken;
}

TEST(MessageDescriptor, IsTheSameForAThreadAndItsOwnForEachThread) {
    const int fd = QVPlatformGetMessageDescriptor();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(QVPlatformGetMessageDescriptor(), fd);
    int other = -1;
    std::thread([&] { other = QVPlatformGetMessageDescriptor(); }).join();
    EXPECT_GE(other, 0);
    EXPECT_NE(other, fd);
}

TEST(MessageDescriptor, WakesForWhatAnotherThreadQueuesAndQuietsOnceDrained) {
    const QVHWND window = QVPlatformCreateWindow(u"DescriptorTest", Answer, nullptr);
    ASSERT_NE(window, nullptr);
    const int fd = QVPlatformGetMessageDescriptor();
    ASSERT_GE(fd, 0);
    ASSERT_FALSE(Readable(fd, 0));
    struct Case {
        const char* what;
        std::function<void()> fromAnotherThread;
        int queued;  // messages the loop takes
    };
    std::atomic<intptr_t> sendResult{0};
    const Case cases[] = {
        {"post", [&] { QVPlatformPostMessage(window, QV_WM_USER, 1, 2); }, 1},
        {"two posts",
         [&] {
             QVPlatformPostMessage(window, QV_WM_USER, 1, 2);
             QVPlatformPostMessage(window, QV_WM_USER + 1, 3, 4);
         },
         2},
        {"broadcast", [&] { QVPlatformPostMessage(QV_HWND_BROADCAST, QV_WM_USER, 0, 0); }, 1},
        // A sent message is handled inside the peek and is not taken.
        {"send", [&] { sendResult = QVPlatformSendMessage(window, QV_WM_USER + 5, 0, 0); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::thread sender(c.fromAnotherThread);
        EXPECT_TRUE(Readable(fd, kLongWaitMs));
        // A send is in the queue only once the sender has put it there.
        if (c.queued == 0) {
            while (sendResult.load() == 0) {
                EXPECT_EQ(Drain(), 0);
                std::this_thread::yield();
            }
        } else {
            sender.join();
            EXPECT_EQ(Drain(), c.queued);
        }
        if (sender.joinable()) sender.join();
        EXPECT_FALSE(Readable(fd, 0));
    }
    EXPECT_EQ(sendResult.load(), static_cast<intptr_t>(QV_WM_USER + 6));
    QVPlatformDestroyWindow(window);
}

TEST(MessageDescriptor, StaysReadableWhileAnythingIsLeft) {
    const QVHWND first = QVPlatformCreateWindow(u"DescriptorFirst", Answer, nullptr);
    const QVHWND second = QVPlatformCreateWindow(u"DescriptorSecond", Answer, nullptr);
    const int fd = QVPlatformGetMessageDescriptor();
    QVPlatformPostMessage(first, QV_WM_USER, 0, 0);
    QVPlatformPostMessage(second, QV_WM_USER, 0, 0);
    QVMSG msg;
    // Peeking without removing, or taking one window's only, leaves the rest.
    ASSERT_EQ(QVPlatformPeekMessage(&msg, nullptr, 0), 1);
    EXPECT_TRUE(Readable(fd, 0));
    ASSERT_EQ(QVPlatformPeekMessage(&msg, first, 1), 1);
    EXPECT_TRUE(Readable(fd, 0));
    // A window destroyed takes its queued messages with it.
    QVPlatformDestroyWindow(second);
    EXPECT_FALSE(Readable(fd, 0));
    // A descriptor asked for while messages wait is readable at once.
    std::thread([] {
        QVPlatformPostMessage(nullptr, QV_WM_USER, 0, 0);
        const int late = QVPlatformGetMessageDescriptor();
        EXPECT_TRUE(Readable(late, 0));
        EXPECT_EQ(Drain(), 1);
        EXPECT_FALSE(Readable(late, 0));
    }).join();
    QVPlatformDestroyWindow(first);
}

}  // namespace

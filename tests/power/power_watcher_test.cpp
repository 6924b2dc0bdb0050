#include "power/power_watcher.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/core/clock.h"
#include "platform/power_notify/power_notify.h"
#include "power/module_control.h"
#include "test_support/log_capture.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

constexpr char kSuspendLine[] = "[RO25]======================[APP] PWM : POWER_STATE_SUSPEND\r\n";
constexpr char kOnLine[] = "[RO25]======================[APP] PWM : POWER_STATE_ON\r\n";

template <class Pred>
bool Eventually(Pred pred) {
    for (int i = 0; i < 500; ++i) {
        if (pred()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return pred();
}

// A stream socket listening at `path`, where the watcher connects; -1 on failure.
int ListenAt(const std::string& path) {
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(server, 1) != 0) {
        ::close(server);
        return -1;
    }
    return server;
}

class PowerWatcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetClockScale(0.05);
        ::unsetenv("QV_POWER_NOTIFY");
    }
    void TearDown() override { platform::SetClockScale(1.0); }

    test_support::LogCapture log;
    ModuleControl module{-1};
    std::mutex powerLock;
    std::atomic<int32_t> active{1};
    PowerWatcher watcher{module, powerLock, active};
};

TEST_F(PowerWatcherTest, SuspendThenResumeFollowsTheDevice) {
    watcher.Start();
    ASSERT_TRUE(Eventually([&] { return watcher.IsSubscribed(); }));

    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x00200000, u"suspend");
    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x00200000, u"suspend");
    ASSERT_TRUE(Eventually([&] { return active.load() == 0; }));

    // The on state without backlight and password does not count as a resume.
    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x00010000, u"on");
    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x12010000 | 0x1234, u"on");
    ASSERT_TRUE(Eventually([&] { return active.load() == 1; }));
    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x12010000, u"on");

    watcher.Stop();
    EXPECT_EQ(log.Count(kSuspendLine), 1);
    EXPECT_EQ(log.Count(kOnLine), 1);
    EXPECT_EQ(log.Count("CheckPowerStateThread START\r\n"), 1);
    EXPECT_EQ(log.Count("CheckPowerStateThread END\r\n"), 1);
    EXPECT_FALSE(watcher.IsSubscribed());
}

TEST_F(PowerWatcherTest, ShortMessagesAndOtherKindsChangeNothing) {
    const std::string suspend = platform::EncodePowerBroadcast(1, 0x00200000, u"");
    watcher.HandlePowerMessage({reinterpret_cast<const uint8_t*>(suspend.data()), 15});
    const std::string otherKind = platform::EncodePowerBroadcast(2, 0x00200000, u"x");
    watcher.HandlePowerMessage(
        {reinterpret_cast<const uint8_t*>(otherKind.data()), otherKind.size()});
    EXPECT_EQ(active.load(), 1);
    watcher.HandlePowerMessage({reinterpret_cast<const uint8_t*>(suspend.data()), 16});
    EXPECT_EQ(active.load(), 0);
}

TEST_F(PowerWatcherTest, StopRightAfterStartIsNeverLost) {
    for (int i = 0; i < 20; ++i) {
        watcher.Start();
        watcher.Stop();
    }
    EXPECT_EQ(log.Count("CheckPowerStateThread END\r\n"), 20);
}

TEST_F(PowerWatcherTest, UnreachableNotificationSocketEndsTheWatcher) {
    test_support::ScopedEnv env("QV_POWER_NOTIFY", "unix:/nonexistent/power.sock");
    watcher.Start();
    ASSERT_TRUE(Eventually([&] { return log.Count("CheckPowerStateThread END\r\n") == 1; }));
    EXPECT_EQ(log.Count("[APP] PWM : RequestPowerNotifications: error"), 1);
    watcher.Stop();
    EXPECT_EQ(active.load(), 1);
}

TEST_F(PowerWatcherTest, NotificationsArriveThroughTheSocket) {
    test_support::TempDir dir;
    const std::string path = dir.Path() + "/power.sock";
    const int server = ListenAt(path);
    ASSERT_GE(server, 0);
    test_support::ScopedEnv env("QV_POWER_NOTIFY", "unix:" + path);

    watcher.Start();
    const int peer = ::accept(server, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    // Each message is a length and that many bytes; a long one is cut to the queue's size.
    auto send = [peer](const std::string& record) {
        const uint32_t n = static_cast<uint32_t>(record.size());
        const uint8_t header[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
        ASSERT_EQ(::write(peer, header, 4), 4);
        ASSERT_EQ(::write(peer, record.data(), record.size()), static_cast<ssize_t>(record.size()));
    };
    send(platform::EncodePowerBroadcast(1, 0x00200000, std::u16string(200, u'z')));
    ASSERT_TRUE(Eventually([&] { return active.load() == 0; }));

    watcher.Stop();
    EXPECT_EQ(log.Count("CheckPowerStateThread END\r\n"), 1);
    ::close(peer);
    ::close(server);
}

}  // namespace
}  // namespace qv

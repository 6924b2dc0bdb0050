#include "power/power_watcher.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine/imager_engine.h"
#include "interface/lifecycle.h"
#include "platform/clock.h"
#include "platform/power_notify.h"
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

bool Subscribed(ImagerEngine& engine) {
    std::lock_guard lock(engine.m_powerNotifyLock);
    return engine.m_hPowerNotify != nullptr;
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
        engine.m_bActive = 1;
    }
    void TearDown() override { platform::SetClockScale(1.0); }

    test_support::LogCapture log;
    ImagerEngine engine;
};

TEST_F(PowerWatcherTest, SuspendThenResumeFollowsTheDevice) {
    StartPowerWatcher(engine);
    ASSERT_TRUE(Eventually([&] { return Subscribed(engine); }));

    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x00200000, u"suspend");
    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x00200000, u"suspend");
    ASSERT_TRUE(Eventually([&] { return engine.m_bActive.load() == 0; }));

    // The on state without backlight and password does not count as a resume.
    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x00010000, u"on");
    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x12010000 | 0x1234, u"on");
    ASSERT_TRUE(Eventually([&] { return engine.m_bActive.load() == 1; }));
    platform::InjectPowerNotification(platform::PBT_TRANSITION, 0x12010000, u"on");

    StopPowerWatcher(engine);
    EXPECT_EQ(log.Count(kSuspendLine), 1);
    EXPECT_EQ(log.Count(kOnLine), 1);
    EXPECT_EQ(log.Count("CheckPowerStateThread START\r\n"), 1);
    EXPECT_EQ(log.Count("CheckPowerStateThread END\r\n"), 1);
    EXPECT_FALSE(Subscribed(engine));
}

TEST_F(PowerWatcherTest, ShortMessagesAndOtherKindsChangeNothing) {
    const std::string suspend = platform::EncodePowerBroadcast(1, 0x00200000, u"");
    HandlePowerMessage(engine, {reinterpret_cast<const uint8_t*>(suspend.data()), 15});
    const std::string otherKind = platform::EncodePowerBroadcast(2, 0x00200000, u"x");
    HandlePowerMessage(engine,
                       {reinterpret_cast<const uint8_t*>(otherKind.data()), otherKind.size()});
    EXPECT_EQ(engine.m_bActive.load(), 1);
    HandlePowerMessage(engine, {reinterpret_cast<const uint8_t*>(suspend.data()), 16});
    EXPECT_EQ(engine.m_bActive.load(), 0);
}

TEST_F(PowerWatcherTest, StopRightAfterStartIsNeverLost) {
    for (int i = 0; i < 20; ++i) {
        StartPowerWatcher(engine);
        StopPowerWatcher(engine);
    }
    EXPECT_EQ(log.Count("CheckPowerStateThread END\r\n"), 20);
}

TEST_F(PowerWatcherTest, UnreachableNotificationSocketEndsTheWatcher) {
    test_support::ScopedEnv env("QV_POWER_NOTIFY", "unix:/nonexistent/power.sock");
    StartPowerWatcher(engine);
    ASSERT_TRUE(Eventually([&] { return log.Count("CheckPowerStateThread END\r\n") == 1; }));
    EXPECT_EQ(log.Count("[APP] PWM : RequestPowerNotifications: error"), 1);
    StopPowerWatcher(engine);
    EXPECT_EQ(engine.m_bActive.load(), 1);
}

TEST_F(PowerWatcherTest, NotificationsArriveThroughTheSocket) {
    test_support::TempDir dir;
    const std::string path = dir.Path() + "/power.sock";
    const int server = ListenAt(path);
    ASSERT_GE(server, 0);
    test_support::ScopedEnv env("QV_POWER_NOTIFY", "unix:" + path);

    StartPowerWatcher(engine);
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
    ASSERT_TRUE(Eventually([&] { return engine.m_bActive.load() == 0; }));

    StopPowerWatcher(engine);
    EXPECT_EQ(log.Count("CheckPowerStateThread END\r\n"), 1);
    ::close(peer);
    ::close(server);
}

TEST_F(PowerWatcherTest, SuspendSeenAsTheOpenStartsTheWatcherIsKept) {
    test_support::TempDir dir;
    test_support::ScopedEnv registry("QV_REGISTRY", dir.Path() + "/registry.reg");
    const std::string path = dir.Path() + "/power.sock";
    const int server = ListenAt(path);
    ASSERT_GE(server, 0);
    test_support::ScopedEnv env("QV_POWER_NOTIFY", "unix:" + path);
    // The device suspends the moment the watcher subscribes, while the open
    // is still preparing the engine.
    std::thread peer([server] {
        const int connection = ::accept(server, nullptr, nullptr);
        const std::string record = platform::EncodePowerBroadcast(1, 0x00200000, u"suspend");
        const uint32_t n = static_cast<uint32_t>(record.size());
        const uint8_t header[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
        (void)!::write(connection, header, 4);
        (void)!::write(connection, record.data(), record.size());
        char drain;
        (void)!::read(connection, &drain, 1);  // until the subscription ends
        ::close(connection);
    });
    engine.m_bActive = 0;
    ResetEngineState(engine);
    ASSERT_TRUE(Eventually([&] { return log.Count(kSuspendLine) == 1; }));
    // The open's own mark of the engine as active did not overwrite it.
    EXPECT_EQ(engine.m_bActive.load(), 0);
    StopPowerWatcher(engine);
    peer.join();
    ::close(server);
}

}  // namespace
}  // namespace qv

// Suspend and resume from systemd-logind (QV_POWER_NOTIFY=logind), against a
// private system bus (dbus-daemon) with python3-dbusmock's logind template.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "imager_fixture.h"

namespace engine_test {
namespace {

pid_t Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Quiet: the mock echoes every call it gets.
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

void End(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

constexpr const char* kNoLogind =
    "no mock logind on a private bus (scripts/install-deps: dbus-daemon, python3-dbusmock)";

// A system bus of the test's own with a mock logind on it, a connection that
// plays the system's side, and the imager told to listen to logind.
class MockLogind {
  public:
    MockLogind() : m_address("unix:path=" + m_dir.Path() + "/system_bus_socket") {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.c_str(), 1);
        Launch();
    }
    ~MockLogind() { Stop(); }

    // The bus and logind go away and come back, as on a restart of either.
    bool Restart() {
        Stop();
        Launch();
        return Ready();
    }

    // Stops or continues the bus daemon: a bus that takes calls and never answers.
    void Freeze(bool frozen) { ::kill(m_daemon, frozen ? SIGSTOP : SIGCONT); }

    // Makes logind refuse sleep delay locks, or grant them again.
    bool RefuseLocks(bool refuse) {
        const char* code =
            refuse ? "raise dbus.exceptions.DBusException('not now', "
                     "name='org.freedesktop.DBus.Error.AccessDenied')"
                   : "from dbusmock.templates import logind\nret = logind.Inhibit(self, *args)";
        return sd_bus_call_method(m_bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                  "org.freedesktop.DBus.Mock", "AddMethod", nullptr, nullptr,
                                  "sssss", "org.freedesktop.login1.Manager", "Inhibit", "ssss", "h",
                                  code) >= 0;
    }

    // How often logind was asked for a lock.
    int InhibitCalls() {
        sd_bus_message* reply = nullptr;
        int n = -1;
        if (sd_bus_call_method(m_bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.DBus.Mock", "GetMethodCalls", nullptr, &reply, "s",
                               "Inhibit") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(tav)") >= 0) {
            n = 0;
            while (sd_bus_message_skip(reply, "(tav)") > 0)
                ++n;
        }
        sd_bus_message_unref(reply);
        return n;
    }

    // True once the mock answers on the bus.
    bool Ready() {
        return std::filesystem::exists("/usr/bin/dbus-daemon") && Eventually([this] {
                   if (m_bus == nullptr && !Connect()) return false;
                   return Inhibitors() >= 0;
               });
    }

    // The sleep delay locks logind holds, or -1 when it does not answer.
    int Inhibitors() {
        sd_bus_message* reply = nullptr;
        int n = -1;
        if (sd_bus_call_method(m_bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", "ListInhibitors", nullptr, &reply,
                               "") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
            n = 0;
            const char *what, *who, *why, *mode;
            uint32_t uid, pid;
            while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) >
                   0) {
                if (std::string(what) == "sleep" && std::string(mode) == "delay") ++n;
            }
        }
        sd_bus_message_unref(reply);
        return n;
    }

    bool PrepareForSleep(bool sleeping) {
        sd_bus_message* call = nullptr;
        bool ok = sd_bus_message_new_method_call(m_bus, &call, "org.freedesktop.login1",
                                                 "/org/freedesktop/login1",
                                                 "org.freedesktop.DBus.Mock", "EmitSignal") >= 0 &&
                  sd_bus_message_append(call, "sss", "org.freedesktop.login1.Manager",
                                        "PrepareForSleep", "b") >= 0 &&
                  sd_bus_message_append(call, "av", 1, "b", sleeping ? 1 : 0) >= 0 &&
                  sd_bus_call(m_bus, call, 0, nullptr, nullptr) >= 0;
        sd_bus_message_unref(call);
        return ok;
    }

  private:
    void Launch() {
        m_daemon = Spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                          "--address=" + m_address});
        m_mock = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"});
    }
    void Stop() {
        m_bus = sd_bus_close_unref(m_bus);
        if (m_daemon > 0) ::kill(m_daemon, SIGCONT);  // a stopped daemon takes no SIGTERM
        End(m_mock);
        End(m_daemon);
        m_mock = m_daemon = -1;
    }

    bool Connect() {
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) < 0) return false;
        if (sd_bus_set_address(bus, m_address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
            sd_bus_start(bus) < 0) {
            sd_bus_unref(bus);
            return false;
        }
        m_bus = bus;
        return true;
    }

    test_support::TempDir m_dir;
    std::string m_address;
    test_support::ScopedEnv m_keepAddress{"DBUS_SYSTEM_BUS_ADDRESS", ""};
    test_support::ScopedEnv m_notify{"QV_POWER_NOTIFY", "logind"};
    pid_t m_daemon = -1;
    pid_t m_mock = -1;
    sd_bus* m_bus = nullptr;
};

TEST_F(ImagerScenario, SuspendAndResumeComeFromLogindWithASleepDelayLock) {
    MockLogind logind;
    ASSERT_TRUE(logind.Ready()) << kNoLogind;

    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_TRUE(Eventually([&] { return logind.Inhibitors() == 1; }));

    ASSERT_TRUE(logind.PrepareForSleep(true));
    ASSERT_TRUE(Eventually([&] { return logind.Inhibitors() == 0; }));
    // The lock went only after the engine was marked inactive.
    EXPECT_EQ(QVImagerTestCommand(), -1);
    EXPECT_EQ(m_log.Count("POWER_STATE_SUSPEND\r\n"), 1);

    ASSERT_TRUE(logind.PrepareForSleep(false));
    ASSERT_TRUE(Eventually([] { return QVImagerTestCommand() == 1; }));
    EXPECT_EQ(m_log.Count("POWER_STATE_ON\r\n"), 1);
    ASSERT_TRUE(Eventually([&] { return logind.Inhibitors() == 1; }));  // taken again

    EXPECT_EQ(QVImagerClose(), 1);
    EXPECT_EQ(m_log.Count("CheckPowerStateThread END\r\n"), 1);
    EXPECT_TRUE(Eventually([&] { return logind.Inhibitors() == 0; }));
    ASSERT_TRUE(logind.PrepareForSleep(true));  // no one listens any more
    EXPECT_EQ(m_log.Count("POWER_STATE_SUSPEND\r\n"), 1);
}

// After each mishap the imager still sleeps and wakes with logind, and holds
// its lock again once awake.
TEST_F(ImagerScenario, TheSleepDelayLockComesBackAfterALostBusOrARefusal) {
    struct Case {
        const char* name;
        bool refuseFirst;  // logind refuses the lock asked for at the open
        bool restartBus;   // the bus goes away and comes back while the imager is open
        const char* said;  // the line that tells
    };
    const Case cases[] = {
        {"refused", true, false, "logind refused a sleep delay lock: not now; asking again"},
        {"bus restarted", false, true, "connected to the system bus again"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MockLogind logind;
        ASSERT_TRUE(logind.Ready()) << kNoLogind;
        if (c.refuseFirst) {
            ASSERT_TRUE(logind.RefuseLocks(true));
        }

        ASSERT_EQ(QVImagerOpen(), 1);
        ASSERT_TRUE(Eventually([&] { return logind.InhibitCalls() == 1; }));
        if (c.refuseFirst) {
            EXPECT_EQ(logind.Inhibitors(), 0);
            ASSERT_TRUE(logind.RefuseLocks(false));
        }
        if (c.restartBus) {
            ASSERT_TRUE(Eventually([&] { return logind.Inhibitors() == 1; }));
            ASSERT_TRUE(logind.Restart());
            ASSERT_TRUE(Eventually([&] { return logind.Inhibitors() == 1; }))  // taken anew
                << m_log.Text();
        }
        EXPECT_TRUE(Eventually([&] { return m_log.Count(c.said) == 1; })) << m_log.Text();

        const int asked = logind.InhibitCalls();
        ASSERT_TRUE(logind.PrepareForSleep(true));
        ASSERT_TRUE(Eventually([] { return QVImagerTestCommand() == -1; }));
        // A refused lock is asked for at this suspend, not only after it.
        if (c.refuseFirst) {
            EXPECT_TRUE(Eventually([&] { return logind.InhibitCalls() == asked + 1; }));
        }
        ASSERT_TRUE(Eventually([&] { return logind.Inhibitors() == 0; }));

        ASSERT_TRUE(logind.PrepareForSleep(false));
        ASSERT_TRUE(Eventually([] { return QVImagerTestCommand() == 1; }));
        ASSERT_TRUE(Eventually([&] { return logind.Inhibitors() == 1; }));
        EXPECT_EQ(QVImagerClose(), 1);
        EXPECT_TRUE(Eventually([&] { return logind.Inhibitors() == 0; }));
    }
}

// A bus daemon that accepts the connection and then answers nothing holds
// neither the open nor the close.
TEST_F(ImagerScenario, ABusThatNeverAnswersHoldsNeitherOpenNorClose) {
    MockLogind logind;
    ASSERT_TRUE(logind.Ready()) << kNoLogind;
    logind.Freeze(true);
    // sd-bus would wait 25 s for an answer to a call it made synchronously.
    std::atomic<int> opened{0}, closed{0};
    std::thread app([&] {
        opened = QVImagerOpen();
        closed = QVImagerClose();
    });
    const bool done = Eventually([&] { return closed.load() != 0; }, std::chrono::seconds(10));
    logind.Freeze(false);
    app.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(opened.load(), 1);
    EXPECT_EQ(closed.load(), 1);
}

TEST_F(ImagerScenario, WithoutASystemBusTheWatcherSaysSoAndTheImagerStillWorks) {
    test_support::TempDir dir;
    test_support::ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.Path() + "/none");
    test_support::ScopedEnv notify("QV_POWER_NOTIFY", "logind");
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_TRUE(Eventually(
        [&] { return m_log.Count("[APP] PWM : RequestPowerNotifications: error") == 1; }));
    EXPECT_EQ(m_log.Count("power notifications: cannot connect to the system bus"), 1);
    EXPECT_EQ(QVImagerTestCommand(), 1);
}

}  // namespace
}  // namespace engine_test

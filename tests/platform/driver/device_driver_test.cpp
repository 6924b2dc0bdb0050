#include "platform/driver/device_driver.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>

#include "platform/child_process.h"
#include "platform/core/clock.h"
#include "platform/core/last_failure.h"
#include "power/driver_test_support.h"
#include "test_support/log_capture.h"
#include "test_support/temp_dir.h"

namespace qv::platform {
namespace {

using test_support::FakePowerDriver;
using test_support::Le32;
using test_support::RecordedRequest;
using test_support::ScopedEnv;
using test_support::SocketDriverServer;
using test_support::TempDir;

using Handler =
    std::function<int32_t(uint32_t, std::span<const uint8_t>, std::span<uint8_t>, uint32_t*)>;

class LambdaDriver : public DeviceDriver {
  public:
    explicit LambdaDriver(Handler h) : m_handler(std::move(h)) {}
    int32_t IoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                      uint32_t* returned) override {
        return m_handler(code, in, out, returned);
    }

  private:
    Handler m_handler;
};

// Writes two bytes at the start of the output and reports only those.
int32_t WriteTwo(uint32_t, std::span<const uint8_t>, std::span<uint8_t> out, uint32_t* returned) {
    out[0] = 0xA1;
    out[1] = 0xA2;
    if (out.size() > 2) out[2] = 0xA3;  // written, but not reported: must not arrive
    *returned = 2;
    return 7;
}

class ClockScale {
  public:
    explicit ClockScale(double scale) { SetClockScale(scale); }
    ~ClockScale() { SetClockScale(1.0); }
};

// Each test starts without a binding and without registered drivers.
class DriverBinding : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("QV_DRIVER_BAR1");
        UnregisterDriver("BAR1:");
    }
    void TearDown() override { UnregisterDriver("BAR1:"); }

    std::string SocketPath() const { return m_dir.Path() + "/bar1.sock"; }

    TempDir m_dir;
};

TEST_F(DriverBinding, OpenFollowsTheEnvironmentAtEachOpen) {
    EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr) << "nothing registered, nothing set";

    auto inProcess = std::make_shared<FakePowerDriver>();
    RegisterDriver("bar1:", inProcess);  // names compare case-insensitively
    auto local = DriverHandle::Open("BAR1:");
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr) << "one opener at a time";
    EXPECT_EQ(DriverHandle::Open("BAR2:"), nullptr);

    // A handle keeps its driver after the driver is unregistered.
    UnregisterDriver("BAR1:");
    const auto four = Le32({4});
    EXPECT_NE(local->IoControl(6, four.data(), 4, nullptr, 0), 0);
    EXPECT_EQ(inProcess->Requests().size(), 1u);
    local.reset();
    EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr) << "unregistered";

    {
        ScopedEnv env("QV_DRIVER_BAR1", "tcp:localhost:1");
        EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr) << "an unknown binding is no fallback";
    }
    {
        ScopedEnv env("QV_DRIVER_BAR1", "unix:" + SocketPath());
        EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr) << "no one listens there";
    }
    {
        ScopedEnv env("QV_DRIVER_BAR1", "unix:" + std::string(200, 'x'));
        EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr);
    }
    {
        FakePowerDriver outside;
        SocketDriverServer server(SocketPath(), outside);
        ScopedEnv env("QV_DRIVER_BAR1", "unix:" + SocketPath());
        auto remote = DriverHandle::Open("BAR1:");
        ASSERT_NE(remote, nullptr);
        const auto value = Le32({5});
        EXPECT_NE(remote->IoControl(6, value.data(), 4, nullptr, 0), 0);
        EXPECT_EQ(outside.Requests().size(), 1u);
        EXPECT_EQ(inProcess->Requests().size(), 1u);
    }
}

// Every open that fails leaves the calling thread a code and a line naming
// the device, the path or binding, and the system's reason.
TEST_F(DriverBinding, AFailedOpenLeavesItsCauseForTheThread) {
    const struct {
        std::string binding;  // empty: unset
        int code;             // -1: the system's own, which differs among libgpiod versions
        std::string says;
    } cases[] = {
        {"", ENODEV, "BAR1: has no driver"},
        {"tcp:localhost:1", EINVAL, "QV_DRIVER_BAR1 is none of"},
        {"unix:" + SocketPath(), ENOENT,
         "BAR1: cannot connect to " + SocketPath() + ": No such file or directory"},
        {"unix:" + std::string(200, 'x'), EINVAL, "socket path is empty or too long"},
        {"gpio:gpiochip0:power=1,trigger=2", EINVAL, "BAR1: gpio:gpiochip0:power=1,trigger=2"},
        {"gpio:no-such-chip-here:power=1,trigger=2,wake=3", ENOENT,
         "BAR1: no GPIO chip \"no-such-chip-here\""},
        // A chip by number and by path: each libgpiod API looks them up alike.
        {"gpio:97:power=1,trigger=2,wake=3", ENOENT, "BAR1: no GPIO chip \"97\""},
        {"gpio:/dev/null:power=1,trigger=2,wake=3", -1, "BAR1: no GPIO chip \"/dev/null\""},
    };
    for (const auto& c : cases) {
        std::optional<ScopedEnv> env;
        if (!c.binding.empty()) env.emplace("QV_DRIVER_BAR1", c.binding);
        ClearLastFailure();
        EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr) << c.binding;
        if (c.code == -1) {
            EXPECT_GT(LastFailureCode(), 0) << c.binding;
        } else {
            EXPECT_EQ(LastFailureCode(), c.code) << c.binding;
        }
        EXPECT_NE(LastFailureText().find(c.says), std::string::npos) << LastFailureText();
    }
    RegisterDriver("BAR1:", std::make_shared<FakePowerDriver>());
    auto held = DriverHandle::Open("BAR1:");
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr);
    EXPECT_EQ(LastFailureCode(), EBUSY);
    // Per thread: another thread has its own, none yet.
    int other = -1;
    std::thread([&] { other = LastFailureCode(); }).join();
    EXPECT_EQ(other, 0);
}

TEST_F(DriverBinding, ADriverOnASocketHasOneOpenerAmongProcesses) {
    test_support::LogCapture log;
    FakePowerDriver outside;
    SocketDriverServer server(SocketPath(), outside);
    ScopedEnv env("QV_DRIVER_BAR1", "unix:" + SocketPath());
    auto opensInAChild = [] {
        return platform_test::RunInChild([] { return DriverHandle::Open("BAR1:") ? 1 : 0; });
    };
    auto first = DriverHandle::Open("BAR1:");
    ASSERT_NE(first, nullptr);
    // A forked child also inherits this process's claim; the tools test runs
    // a second program against a held driver.
    EXPECT_EQ(opensInAChild(), 0) << "refused while this process holds it";
    EXPECT_EQ(log.Count("BAR1: is already open in "), 1);
    first.reset();
    EXPECT_EQ(opensInAChild(), 1) << "free again once closed";
}

// Another process holds the driver; a third, also one in a network namespace
// of its own (where abstract sockets are not shared), is refused.
TEST_F(DriverBinding, TheOneOpenerHoldsAcrossNetworkNamespaces) {
    FakePowerDriver outside;
    SocketDriverServer server(SocketPath(), outside);
    ScopedEnv env("QV_DRIVER_BAR1", "unix:" + SocketPath());
    platform_test::HolderProcess holder([] {
        static std::unique_ptr<DriverHandle> held = DriverHandle::Open("BAR1:");
        return held != nullptr;
    });
    ASSERT_TRUE(holder.Took());
    for (const bool ownNetwork : {false, true}) {
        const int opened = platform_test::RunInChild([&] {
            if (ownNetwork && ::unshare(CLONE_NEWNET) != 0) return 77;
            return DriverHandle::Open("BAR1:") != nullptr ? 1 : 0;
        });
        if (opened == 77) {
            std::printf("no network namespace may be made here; that case is not tried\n");
            continue;
        }
        EXPECT_EQ(opened, 0) << (ownNetwork ? "in a network namespace of its own" : "plain");
    }
}

TEST_F(DriverBinding, NoneSwitchesNothingAndReadsPowerAsOn) {
    test_support::LogCapture log;
    ScopedEnv env("QV_DRIVER_BAR1", "none");
    auto handle = DriverHandle::Open("BAR1:");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(log.Count("QV_DRIVER_BAR1=none: the engine's lines are not switched"), 1);
    // The power status of the dedicated request, and the power line record.
    auto status = Le32({0});
    EXPECT_NE(handle->IoControl(3, nullptr, 0, status.data(), 4), 0);
    EXPECT_EQ(status, Le32({1}));
    auto record = Le32({0x04414108, 0});
    EXPECT_NE(handle->IoControl(2, nullptr, 0, record.data(), 8), 0);
    EXPECT_EQ(record, Le32({0x04414108, 1}));
    // Switching requests of either interface succeed and change nothing.
    const auto value = Le32({0});
    const auto line = Le32({0x04214104, 0});
    EXPECT_NE(handle->IoControl(2, value.data(), 4, nullptr, 0), 0);
    EXPECT_NE(handle->IoControl(1, line.data(), 8, nullptr, 0), 0);
    EXPECT_NE(handle->IoControl(3, nullptr, 0, status.data(), 4), 0);
    EXPECT_EQ(status, Le32({1}));
}

TEST_F(DriverBinding, OnlyReportedBytesReachTheCallerInBothBindings) {
    auto driver = std::make_shared<LambdaDriver>(WriteTwo);
    RegisterDriver("BAR1:", driver);
    SocketDriverServer server(SocketPath(), *driver);

    for (const bool overSocket : {false, true}) {
        SCOPED_TRACE(overSocket ? "unix:" : "in-process");
        std::optional<ScopedEnv> env;
        if (overSocket) env.emplace("QV_DRIVER_BAR1", "unix:" + SocketPath());
        auto handle = DriverHandle::Open("BAR1:");
        ASSERT_NE(handle, nullptr);
        uint8_t out[5] = {1, 2, 3, 4, 5};
        EXPECT_EQ(handle->IoControl(9, nullptr, 0, out, sizeof out), 7);
        EXPECT_EQ(std::vector<uint8_t>(out, out + 5), (std::vector<uint8_t>{0xA1, 0xA2, 3, 4, 5}));
        // Inconsistent buffers are refused before anything is sent.
        EXPECT_EQ(handle->IoControl(9, nullptr, 4, nullptr, 0), 0);
        EXPECT_EQ(handle->IoControl(9, nullptr, 0, nullptr, 4), 0);
    }
}

TEST_F(DriverBinding, InProcessDriverThatMisbehavesFailsTheRequest) {
    RegisterDriver("BAR1:", std::make_shared<LambdaDriver>(
                                [](uint32_t code, auto, auto out, uint32_t* returned) -> int32_t {
                                    if (code == 1) throw std::runtime_error("driver fault");
                                    *returned = static_cast<uint32_t>(out.size()) + 1;
                                    return 1;
                                }));
    auto handle = DriverHandle::Open("BAR1:");
    ASSERT_NE(handle, nullptr);
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(handle->IoControl(1, nullptr, 0, out, 4), 0);
    EXPECT_EQ(handle->IoControl(2, nullptr, 0, out, 4), 0);
    EXPECT_EQ(out[0], 9) << "nothing copied from a refused answer";
}

TEST_F(DriverBinding, SocketRequestCarriesInputAndCurrentOutputBytes) {
    FakePowerDriver outside;
    SocketDriverServer server(SocketPath(), outside, SocketDriverServer::Mode::OneByteAtATime);
    ScopedEnv env("QV_DRIVER_BAR1", "unix:" + SocketPath());
    auto handle = DriverHandle::Open("BAR1:");
    ASSERT_NE(handle, nullptr);

    outside.Change([](auto& s) { s.power = 1; });
    auto record = Le32({0x04414108, 1});
    EXPECT_EQ(handle->IoControl(2, nullptr, 0, record.data(), 8), 1);
    EXPECT_EQ(record, Le32({0x04414108, 1}));
    const auto value = Le32({7});
    EXPECT_EQ(handle->IoControl(7, value.data(), 4, nullptr, 0), 1);

    const std::vector<RecordedRequest> expected = {
        {2, {}, Le32({0x04414108, 1})},
        {7, Le32({7}), {}},
    };
    EXPECT_EQ(outside.Requests(), expected);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(DriverBinding, ConcurrentRequestsOnOneHandleStayInStep) {
    // Echoes the input value back, so an interleaved exchange shows as a wrong answer.
    LambdaDriver echo([](uint32_t, auto in, auto out, uint32_t* returned) -> int32_t {
        std::copy(in.begin(), in.end(), out.begin());
        *returned = static_cast<uint32_t>(in.size());
        return 1;
    });
    SocketDriverServer server(SocketPath(), echo);
    ScopedEnv env("QV_DRIVER_BAR1", "unix:" + SocketPath());
    auto handle = DriverHandle::Open("BAR1:");
    ASSERT_NE(handle, nullptr);

    std::atomic<int> wrong{0};
    auto work = [&](uint32_t base) {
        for (uint32_t i = 0; i < 300; ++i) {
            const auto in = Le32({base + i});
            std::vector<uint8_t> out(4, 0);
            if (handle->IoControl(1, in.data(), 4, out.data(), 4) != 1 || out != in) ++wrong;
        }
    };
    std::thread other(work, 100000);
    work(0);
    other.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(DriverBinding, BrokenConnectionFailsTheRequestWithoutHanging) {
    FakePowerDriver outside;
    struct Case {
        SocketDriverServer::Mode mode;
        const char* name;
    };
    const ClockScale fast(0.02);  // the reply time-out lasts 100 ms here
    for (const Case c : {Case{SocketDriverServer::Mode::CloseMidRequest, "closes mid-request"},
                         Case{SocketDriverServer::Mode::NeverAnswer, "never answers"},
                         Case{SocketDriverServer::Mode::OverlongReply, "overlong reply"}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.Path() + "/bar1.sock";
        SocketDriverServer server(path, outside, c.mode);
        ScopedEnv env("QV_DRIVER_BAR1", "unix:" + path);
        auto handle = DriverHandle::Open("BAR1:");
        ASSERT_NE(handle, nullptr);

        uint8_t out[4] = {1, 2, 3, 4};
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(handle->IoControl(3, nullptr, 0, out, 4), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
        EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
        // The stream is out of step now: later requests fail at once.
        EXPECT_EQ(handle->IoControl(3, nullptr, 0, out, 4), 0);
    }
}

}  // namespace
}  // namespace qv::platform

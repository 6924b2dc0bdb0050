// Run inside the kernel rig only (tests/linux/run.sh): QV_DRIVER_BAR1=gpio:
// on a gpio-sim chip. The engine, ro25-sim on the far end of /dev/ttyS1,
// follows what the lines say: the levels the kernel traces are handed on as
// line records over the "BAR1:" channel of linux_test.cpp (/tmp/bar1.sock,
// relayed over /dev/ttyS2), and the power level is mirrored onto the status
// input, as an engine's supply monitor would. Uses the first barcodes of
// barcodes.txt.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "QVPlatform.h"
#include "QV_Rizoviv2I_RO25.h"
#include "platform/driver/device_driver.h"
#include "platform/driver/driver_gpio.h"
#include "platform/text/utf.h"
#include "sim/driver_model.h"
#include "sim/os/line_follower.h"
#include "symbology/settings_files.h"
#include "test_support/log_capture.h"
#include "test_support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using qv::sim::kLinePower;
using qv::sim::kLineTrigger;
using qv::sim::kLineWake;
using qv::sim::os::FollowedLevel;

constexpr char kLabel[] = "ro25-lines";
// Offsets: the engine's power, trigger (wired active low), wake, and the
// supply monitor the library reads power from.
enum Line : unsigned { kPower = 0, kTrigger = 1, kWake = 2, kStatus = 3 };
// Names and offsets both, and the chip by its label.
const std::string kBinding =
    std::string("gpio:") + kLabel + ":power=ENGINE_POWER,trigger=1:low,wake=ENGINE_WAKE,status=3";

qv::sim::os::GpioSimChip g_chip;
qv::sim::os::LineFollower g_follower;

std::atomic<int> g_barcodes{0};
void OnBarcode(int32_t, const char16_t*) {
    g_barcodes = g_barcodes + 1;
}

class GpioLines : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        ASSERT_TRUE(g_chip.Create(
            "ro25", kLabel, {"ENGINE_POWER", "ENGINE_TRIGGER", "ENGINE_WAKE", "ENGINE_POWER_OK"},
            &error))
            << error;
        ASSERT_TRUE(g_follower.Start(g_chip,
                                     {{kPower, kLinePower, false},
                                      {kTrigger, kLineTrigger, true},
                                      {kWake, kLineWake, false}},
                                     kStatus, "/tmp/bar1.sock", &error))
            << error;
    }
    static void TearDownTestSuite() {
        // The engine as the other tests expect it: unpowered, trigger released.
        g_follower.Forward(kLinePower, false);
        g_follower.Forward(kLineTrigger, true);
        g_follower.Forward(kLineWake, false);
        EXPECT_EQ(g_follower.Failures(), 0) << "levels ro25-sim did not take";
        g_follower.Stop();
    }
    void SetUp() override {
        qv::SetSettingDirectoryOverride(qv::platform::Utf8ToUtf16(m_dir.Path() + "/"));
        g_chip.Pull(kStatus, false);
        g_follower.MirrorSupply(true);
        g_follower.Take(100ms);
    }
    void TearDown() override {
        QVImagerClose();
        qv::SetSettingDirectoryOverride(std::nullopt);
    }
    void UseModel(const std::string& name) {
        std::ofstream(m_registry, std::ios::trunc)
            << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Ident]\n"
            << "\"OrigName\"=\"" << name << "\"\n";
    }
    test_support::TempDir m_dir;
    const std::string m_registry = m_dir.Path() + "/registry.reg";
    test_support::ScopedEnv m_registryEnv{"QV_REGISTRY", m_registry};
    test_support::ScopedEnv m_driverEnv{"QV_DRIVER_BAR1", kBinding};
};

// Every wait a thread makes after a level: 5 ms after the trigger goes to 1,
// 80 ms after a wake pulse ends, before that thread's next level.
void ExpectWaits(const std::vector<FollowedLevel>& events, size_t from = 0) {
    for (size_t i = from; i < events.size(); ++i) {
        const FollowedLevel& e = events[i];
        int64_t wait = 0;
        if (e.lineId == kLineTrigger && e.level) wait = 5000;
        if (e.lineId == kLineWake && !e.level) wait = 80000;
        for (size_t j = i + 1; j < events.size() && wait > 0; ++j) {
            if (events[j].thread != e.thread) continue;
            EXPECT_GE(events[j].micros - e.micros, wait) << "after event " << i;
            break;
        }
    }
}

size_t Find(const std::vector<FollowedLevel>& events, uint32_t line, bool level, size_t from = 0) {
    for (size_t i = from; i < events.size(); ++i)
        if (events[i].lineId == line && events[i].level == level) return i;
    return SIZE_MAX;
}

TEST_F(GpioLines, OpenScanAndCloseDriveTheEngineThroughTheLines) {
    // The dedicated requests of an unknown model, and the line records of a "PL9".
    for (const char* model : {"", "PL9"}) {
        SCOPED_TRACE(std::string("model \"") + model + "\"");
        UseModel(model);
        ASSERT_EQ(QVImagerOpen(), 1);
        QVHWND window = QVPlatformCreateWindow(u"GpioTestWindow", QVPlatformDefWindowProc, nullptr);
        ASSERT_EQ(QVImagerSetReceiveType(0), 1);
        ASSERT_EQ(QVImagerSetWindow(window), 1);
        EXPECT_EQ(g_chip.Value(kPower), 1);
        EXPECT_EQ(g_chip.Value(kTrigger), 0) << "released, active low";
        EXPECT_EQ(g_chip.Value(kWake), 0);
        auto events = g_follower.Take(300ms);
        // Powering on: trigger released, then the supply, then wake low.
        const size_t power = Find(events, kLinePower, true);
        ASSERT_NE(power, SIZE_MAX);
        ASSERT_GT(power, 0u);
        EXPECT_EQ(events[power - 1], (FollowedLevel{kLineTrigger, true, events[power - 1].micros,
                                                    events[power].thread}));
        EXPECT_NE(Find(events, kLineWake, false, power), SIZE_MAX);
        // Before the trigger, the open kept each output's level as it took it.
        ExpectWaits(events, power - 1);

        const int before = g_barcodes;
        ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
        for (int i = 0; i < 200 && g_barcodes == before; ++i)
            std::this_thread::sleep_for(50ms);
        EXPECT_EQ(g_barcodes, before + 1) << "the engine read while the lines said so";
        events = g_follower.Take(300ms);
        // The press: trigger 1 then 0; the barcode's acknowledgement is
        // woken for with a pulse, and the trigger is released after it.
        ASSERT_GE(events.size(), 4u);
        EXPECT_EQ(events[0].lineId, kLineTrigger);
        EXPECT_EQ(events[0].level, true);
        EXPECT_EQ(events[1].lineId, kLineTrigger);
        EXPECT_EQ(events[1].level, false);
        const size_t wake = Find(events, kLineWake, true, 2);
        ASSERT_NE(wake, SIZE_MAX);
        const size_t wakeEnd = Find(events, kLineWake, false, wake);
        ASSERT_NE(wakeEnd, SIZE_MAX);
        EXPECT_EQ(events[wakeEnd].thread, events[wake].thread);
        for (size_t i = wake + 1; i < wakeEnd; ++i)
            EXPECT_NE(events[i].thread, events[wake].thread) << "nothing inside the pulse";
        EXPECT_NE(Find(events, kLineTrigger, true, 2), SIZE_MAX);
        EXPECT_EQ(Find(events, kLinePower, false), SIZE_MAX);
        ExpectWaits(events);

        ASSERT_EQ(QVImagerClose(), 1);
        QVPlatformDestroyWindow(window);
        events = g_follower.Take(300ms);
        const size_t off = Find(events, kLinePower, false);
        ASSERT_NE(off, SIZE_MAX);
        EXPECT_NE(Find(events, kLineTrigger, false, off), SIZE_MAX)
            << "trigger low after the supply";
        EXPECT_EQ(g_chip.Value(kPower), 0);
    }
}

TEST_F(GpioLines, ASecondOpenerIsRefusedWithTheHolderNamed) {
    test_support::LogCapture log;
    auto held = qv::platform::DriverHandle::Open("BAR1:");
    ASSERT_NE(held, nullptr);
    const std::string holder = "line 0 of " + g_chip.ChipName() +
                               " (power) is held by linux_tests[" + std::to_string(::getpid()) +
                               "]";
    // A second request in this process, past its own one-opener rule: the kernel refuses.
    EXPECT_EQ(qv::platform::OpenGpioDriver("BAR1:", kBinding.substr(5)), nullptr);
    EXPECT_EQ(log.Count("BAR1: " + holder), 1) << log.Text();
    // Another process, and a holder that named itself.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto second = qv::platform::OpenGpioDriver("BAR1:", kBinding.substr(5));
        ::_exit(second == nullptr ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the second process got the lines";
    EXPECT_EQ(log.Count("BAR1: " + holder), 2) << log.Text();
    held.reset();
    {
        test_support::ScopedEnv named("QV_DRIVER_BAR1", kBinding + ",consumer=scanner service");
        held = qv::platform::DriverHandle::Open("BAR1:");
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(qv::platform::OpenGpioDriver("BAR1:", kBinding.substr(5)), nullptr);
        EXPECT_EQ(log.Count("(power) is held by scanner service;"), 1) << log.Text();
    }
    held.reset();
    EXPECT_NE(qv::platform::DriverHandle::Open("BAR1:"), nullptr) << "released at close";
}

TEST_F(GpioLines, PowerReadsTheStatusInput) {
    g_follower.MirrorSupply(false);
    auto handle = qv::platform::DriverHandle::Open("BAR1:");
    ASSERT_NE(handle, nullptr);
    const uint8_t on[4] = {1, 0, 0, 0};
    ASSERT_NE(handle->IoControl(2, on, 4, nullptr, 0), 0);
    EXPECT_EQ(g_chip.Value(kPower), 1);
    // The status input alone decides, whatever the power output says.
    for (const bool pulled : {false, true, false}) {
        g_chip.Pull(kStatus, pulled);
        uint8_t status[4] = {9, 9, 9, 9};
        ASSERT_NE(handle->IoControl(3, nullptr, 0, status, 4), 0);
        EXPECT_EQ(status[0], pulled ? 1 : 0);
        uint8_t record[8] = {0x08, 0x41, 0x41, 0x04, 1, 0, 0, 0};
        ASSERT_NE(handle->IoControl(2, nullptr, 0, record, 8), 0);
        EXPECT_EQ(record[4], pulled ? 1 : 0);
        EXPECT_EQ(record[0], 0x08) << "the identifier stays";
    }
    const uint8_t off[4] = {0, 0, 0, 0};
    ASSERT_NE(handle->IoControl(2, off, 4, nullptr, 0), 0);
    handle.reset();
    g_follower.Take(100ms);

    // An engine whose supply never comes up: the open gives up.
    UseModel("");
    EXPECT_EQ(QVImagerOpen(), -1);
    g_follower.Take(100ms);
    g_follower.Forward(kLinePower, false);  // released, the output fell back to its pull
}

// Whatever the status input reads, what the library drove active goes
// inactive before the lines are released: most controllers keep a released
// output's level, so the trace is the witness, not the chip's value.
TEST_F(GpioLines, PowerAndTriggerGoInactiveBeforeRelease) {
    UseModel("");
    struct Case {
        const char* name;
        bool statusComesUp;
    };
    for (const Case& c : {Case{"failed open, status never comes up", false},
                          Case{"close after the status dropped", true}}) {
        SCOPED_TRACE(c.name);
        g_follower.MirrorSupply(c.statusComesUp);
        if (!c.statusComesUp) {
            EXPECT_EQ(QVImagerOpen(), -1);
        } else {
            ASSERT_EQ(QVImagerOpen(), 1);
            g_follower.MirrorSupply(false);
            g_chip.Pull(kStatus, false);
            ASSERT_EQ(QVImagerClose(), 1);
        }
        const auto events = g_follower.Take(300ms);
        const size_t on = Find(events, kLinePower, true);
        ASSERT_NE(on, SIZE_MAX);
        const size_t off = Find(events, kLinePower, false, on);
        ASSERT_NE(off, SIZE_MAX) << "power left on";
        EXPECT_NE(Find(events, kLineTrigger, false, off), SIZE_MAX) << "trigger left released";
        g_follower.Forward(kLinePower, false);
        g_follower.Forward(kLineTrigger, true);
        g_chip.Pull(kStatus, false);
    }
    g_follower.MirrorSupply(true);
}

}  // namespace

// The good-read flash on LEDs laid out as in /sys/class/leds
// (QV_LEDS=sysfs:<dir>,<index>=<name>).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "delivery/barcode_delivery.h"
#include "delivery_fixture.h"
#include "platform/core/clock.h"
#include "platform/led/led.h"
#include "platform/led/led_sysfs.h"
#include "test_support/log_capture.h"
#include "test_support/temp_dir.h"

using namespace qv;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

std::string Attribute(const std::string& led, const char* name) {
    std::string text = test_support::ReadFile(led + "/" + name);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

class SysfsLeds : public delivery_test::DeliveryFixture {
  protected:
    // An LED directory as the kernel lays it out; a fake file keeps what was
    // last written, where the kernel would show the list with one entry bracketed.
    std::string MakeLed(const std::string& name, const std::string& triggers) {
        const std::string led = m_dir.Path() + "/" + name;
        std::filesystem::create_directories(led);
        WriteFile(led + "/trigger", triggers + "\n");
        WriteFile(led + "/brightness", "7\n");
        WriteFile(led + "/max_brightness", "255\n");
        WriteFile(led + "/delay_on", "40\n");
        WriteFile(led + "/delay_off", "60\n");
        return led;
    }

    test_support::TempDir m_dir;
    test_support::LogCapture m_log;
};

TEST_F(SysfsLeds, GoodReadLightsTheLedAndPutsItBackAsItWas) {
    struct Case {
        const char* triggers;
        const char* during[4];  // trigger, delay_on, delay_off, brightness while lit
        const char* after[4];
    };
    const Case cases[] = {
        // The timer trigger, steady for the whole cycle, then the earlier trigger again.
        // (The fake keeps the timer's files, which the kernel shows only under the timer.)
        {"none [heartbeat] timer", {"timer", "10000", "0", "7"}, {"heartbeat", "40", "60", "7"}},
        // An LED that was blinking gets its own delays back.
        {"none heartbeat [timer]", {"timer", "10000", "0", "7"}, {"timer", "40", "60", "7"}},
        // No timer trigger: full brightness, then the earlier brightness.
        {"[none] default-on", {"[none] default-on", "40", "60", "255"}, {"none", "40", "60", "7"}},
    };
    platform::SetClockScale(0.5);  // 150 ms flashes
    Deliverer().m_recvType = 5;
    Deliverer().m_bUseSuccessSound = 1;
    Deliverer().m_successSoundType = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.triggers);
        const std::string led = MakeLed("green:status", c.triggers);
        test_support::ScopedEnv leds("QV_LEDS", "sysfs:" + m_dir.Path() + "/,0=green:status");
        auto state = [&led] {
            return std::vector<std::string>{Attribute(led, "trigger"), Attribute(led, "delay_on"),
                                            Attribute(led, "delay_off"),
                                            Attribute(led, "brightness")};
        };
        const uint8_t payload[] = {'j', '1'};
        Deliverer().DeliverBarcode(payload, 2);
        // The lit state is seen well within the flash.
        const std::vector<std::string> lit(std::begin(c.during), std::end(c.during));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (state() != lit && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(state(), lit);
        Deliverer().m_ledWorker.Join();
        EXPECT_EQ(state(), std::vector<std::string>(std::begin(c.after), std::end(c.after)));
    }
    EXPECT_THAT(platform::RecordedEffects("led"), IsEmpty());  // the stand-in saw nothing
}

// The kernel drops a trigger's files when another trigger is selected; the
// test does the same to the fake once it sees the flash, and puts them back
// as the kernel would if someone else selected `changeTo` meanwhile.
TEST_F(SysfsLeds, EveryTriggerComesBackWithItsSettingsUnlessChangedMeanwhile) {
    using Files = std::map<std::string, std::string>;
    struct Case {
        const char* trigger;
        Files settings;
        const char* changeTo;  // selected by someone else during the flash
    };
    const Case cases[] = {
        {"netdev",
         {{"device_name", "eth0"}, {"link", "1"}, {"rx", "1"}, {"tx", "0"}, {"interval", "50"}},
         nullptr},
        {"oneshot", {{"invert", "1"}, {"delay_on", "20"}, {"delay_off", "30"}}, nullptr},
        {"transient", {{"duration", "5000"}, {"state", "1"}, {"activate", "0"}}, nullptr},
        {"netdev", {{"device_name", "wlan0"}, {"link", "1"}}, "heartbeat"},
        {"oneshot", {{"invert", "1"}}, "netdev"},
    };
    platform::SetClockScale(0.5);  // 150 ms flashes
    Deliverer().m_recvType = 5;
    Deliverer().m_bUseSuccessSound = 1;
    Deliverer().m_successSoundType = 2;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.trigger) + (c.changeTo ? " changed to " : "") +
                     (c.changeTo ? c.changeTo : ""));
        const std::string name = "led" + std::to_string(n++);
        const std::string led = m_dir.Path() + "/" + name;
        std::filesystem::create_directories(led);
        WriteFile(led + "/trigger", std::string("none timer heartbeat [") + c.trigger + "]\n");
        WriteFile(led + "/brightness", "0\n");
        WriteFile(led + "/max_brightness", "255\n");
        // Read-only and write-only files are no settings.
        WriteFile(led + "/uevent", "MAJOR=0\n");
        WriteFile(led + "/speed", "1000\n");
        std::filesystem::permissions(led + "/speed", std::filesystem::perms::owner_read);
        for (const auto& [file, value] : c.settings)
            WriteFile(led + "/" + file, value + "\n");
        test_support::ScopedEnv leds("QV_LEDS", "sysfs:" + m_dir.Path() + ",0=" + name);
        const uint8_t payload[] = {'j', '1'};
        Deliverer().DeliverBarcode(payload, 2);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Attribute(led, "trigger") != "timer" && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(Attribute(led, "trigger"), "timer");
        for (const auto& [file, value] : c.settings)
            WriteFile(led + "/" + file, "\n");
        if (c.changeTo != nullptr) WriteFile(led + "/trigger", std::string(c.changeTo) + "\n");
        Deliverer().m_ledWorker.Join();
        Files after;
        for (const auto& [file, value] : c.settings)
            after[file] = Attribute(led, file.c_str());
        if (c.changeTo != nullptr) {
            EXPECT_EQ(Attribute(led, "trigger"), c.changeTo);
            for (auto& [file, value] : after)
                EXPECT_EQ(value, "") << file;  // nothing written over their choice
        } else {
            EXPECT_EQ(Attribute(led, "trigger"), c.trigger);
            EXPECT_EQ(after, c.settings);
        }
        EXPECT_EQ(Attribute(led, "speed"), "1000");
        EXPECT_EQ(Attribute(led, "uevent"), "MAJOR=0");
    }
    EXPECT_EQ(m_log.Count("cannot write"), 0);
}

TEST_F(SysfsLeds, UnnamedOrUnwritableLedsFailWithOneLine) {
    const std::string led = MakeLed("red", "[none] timer");
    test_support::ScopedEnv leds("QV_LEDS", "sysfs:" + m_dir.Path() + ",0=red,1=gone");
    const platform::LedSettings on{0, 1, 10000000, 0, 0, 0, 0};
    for (uint32_t number : {1u, 1u, 2u, 2u}) {
        platform::LedSettings s = on;
        s.number = number;
        EXPECT_FALSE(platform::LedSetDevice(platform::kLedSettingsRequest, s)) << number;
    }
    EXPECT_EQ(m_log.Count("cannot write " + m_dir.Path() + "/gone"), 1);
    EXPECT_EQ(m_log.Count("LED 2 has no name in QV_LEDS"), 1);
    EXPECT_TRUE(platform::LedSetDevice(platform::kLedSettingsRequest, on));
    EXPECT_EQ(Attribute(led, "trigger"), "timer");
}

TEST(SysfsLedConfig, Parsing) {
    const auto good = platform::ParseSysfsLedConfig("sysfs:/sys/class/leds,0=a:b::c,3=green");
    ASSERT_TRUE(good);
    EXPECT_EQ(good->dir, "/sys/class/leds");
    EXPECT_EQ(good->names.at(0), "a:b::c");
    EXPECT_EQ(good->names.at(3), "green");
    for (const char* bad : {"sysfs:", "leds:/x,0=a", "sysfs:/x,0=", "sysfs:/x,=a", "sysfs:/x,a=b",
                            "sysfs:/x,0=../etc", "sysfs:/x,0", "sysfs:/x,99999999999=a"}) {
        EXPECT_FALSE(platform::ParseSysfsLedConfig(bad)) << bad;
    }
}

}  // namespace

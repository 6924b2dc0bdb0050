// The good-read flash on LEDs laid out as in /sys/class/leds
// (QV_LEDS=sysfs:<dir>,<index>=<name>).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
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
        {"none [heartbeat] timer", {"timer", "10000", "0", "7"}, {"heartbeat", "10000", "0", "7"}},
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

// The writes that light a kernel LED for a flash and put it back, played
// against a model of the kernel's LED class: selecting a trigger starts it
// with its defaults, and brightness 0 removes whatever trigger runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/led/led_sysfs.h"

using namespace qv::platform;

namespace {

struct KernelLed {
    std::string trigger = "none";
    std::string brightness = "0";
    std::map<std::string, std::string> settings;  // the running trigger's own files

    void Select(const std::string& name) {
        settings.clear();
        brightness = "0";
        trigger = name;
        if (name == "timer") settings = {{"delay_on", "500"}, {"delay_off", "500"}};
        if (name == "heartbeat") settings = {{"invert", "0"}};
        if (name == "pattern") settings = {{"pattern", ""}, {"repeat", "-1"}};
    }
    // False where the kernel refuses the store (no such file).
    bool Write(const LedWrite& w) {
        if (w.attribute == "trigger") {
            Select(w.value);
        } else if (w.attribute == "brightness") {
            if (w.value == "0") Select("none");
            brightness = w.value;
        } else if (settings.contains(w.attribute)) {
            settings[w.attribute] = w.value;
        } else {
            return false;
        }
        return true;
    }
    bool Apply(const std::vector<LedWrite>& plan) {
        bool ok = true;
        for (const LedWrite& w : plan)
            ok = Write(w) && ok;
        return ok;
    }
    LedSnapshot Snapshot() const {
        LedSnapshot s{trigger, {}};
        for (const std::string& name : LedSettingsToKeep(trigger)) {
            s.settings[name] = name == "brightness" ? brightness : settings.at(name);
        }
        return s;
    }
};

TEST(LedPlan, AFlashLeavesEveryTriggerAsItWas) {
    struct Case {
        const char* name;
        KernelLed before;
    };
    const Case cases[] = {
        // Caught while dark: a brightness of 0 written back would end it.
        {"heartbeat, dark", {"heartbeat", "0", {{"invert", "0"}}}},
        {"heartbeat, inverted", {"heartbeat", "255", {{"invert", "1"}}}},
        {"pattern", {"pattern", "0", {{"pattern", "0 500 255 500"}, {"repeat", "-1"}}}},
        {"pattern, three times", {"pattern", "0", {{"pattern", "255 100 0 100"}, {"repeat", "3"}}}},
        {"timer, own delays", {"timer", "255", {{"delay_on", "40"}, {"delay_off", "60"}}}},
        {"no trigger, lit", {"none", "7", {}}},
        {"no trigger, dark", {"none", "0", {}}},
        {"default-on", {"default-on", "255", {}}},
    };
    const LedSettings on{0, 1, 10000000, 0, 0, 0, 0};
    for (const Case& c : cases) {
        for (bool hasTimer : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (hasTimer ? ", by the timer" : ", steady"));
            KernelLed led = c.before;
            const LedSnapshot saved = led.Snapshot();
            ASSERT_TRUE(
                led.Apply(hasTimer ? PlanTimerFlash(on) : PlanSteadyOn(led.trigger, "255")));
            if (hasTimer) {
                EXPECT_EQ(led.settings, (std::map<std::string, std::string>{{"delay_on", "10000"},
                                                                            {"delay_off", "0"}}));
            } else {
                EXPECT_EQ(led.trigger, "none");
                EXPECT_EQ(led.brightness, "255");
            }
            ASSERT_TRUE(led.Apply(PlanRestore(saved)));
            EXPECT_EQ(led.trigger, c.before.trigger);
            EXPECT_EQ(led.settings, c.before.settings);
            // A running trigger drives the brightness itself.
            if (c.before.trigger == "none") {
                EXPECT_EQ(led.brightness, c.before.brightness);
            }
        }
    }
}

TEST(LedPlan, OffWithoutAnEarlierFlashLeavesAnotherOwnersTriggerAlone) {
    EXPECT_THAT(PlanOffUnsaved("heartbeat"), ::testing::IsEmpty());
    EXPECT_THAT(PlanOffUnsaved("timer"), ::testing::IsEmpty());
    EXPECT_EQ(PlanOffUnsaved("none"), (std::vector<LedWrite>{{"brightness", "0"}}));
    EXPECT_EQ(PlanOffUnsaved(std::nullopt), (std::vector<LedWrite>{{"brightness", "0"}}));
}

}  // namespace

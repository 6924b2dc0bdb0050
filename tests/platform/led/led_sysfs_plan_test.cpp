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
        if (name == "oneshot") {
            settings = {{"delay_on", "100"}, {"delay_off", "100"}, {"invert", "0"}};
        }
        if (name == "transient") settings = {{"activate", "0"}, {"duration", "0"}, {"state", "0"}};
        if (name == "netdev") {
            settings = {{"device_name", ""}, {"interval", "50"}, {"link", "0"},
                        {"link_10", "0"},    {"rx", "0"},        {"tx", "0"}};
        }
    }
    // False where the kernel refuses the store (no such file), or where it
    // comes too late to count: a netdev mode before its device, a pattern's
    // repeat count or a transient's duration after it started.
    bool Write(const LedWrite& w) {
        if (w.attribute == "trigger") {
            Select(w.value);
        } else if (w.attribute == "brightness") {
            if (w.value == "0") Select("none");
            brightness = w.value;
        } else if (!settings.contains(w.attribute)) {
            return false;
        } else if (trigger == "netdev" && w.attribute != "device_name" &&
                   settings["device_name"].empty()) {
            return false;
        } else if (trigger == "pattern" && w.attribute == "repeat" &&
                   !settings["pattern"].empty()) {
            return false;
        } else if (trigger == "transient" && w.attribute != "activate" &&
                   settings["activate"] == "1") {
            return false;
        } else {
            settings[w.attribute] = w.value;
        }
        return true;
    }
    bool Apply(const std::vector<LedWrite>& plan) {
        bool ok = true;
        for (const LedWrite& w : plan)
            ok = Write(w) && ok;
        return ok;
    }
    // As the library reads it: every file of the directory that is no file
    // of the LED class itself.
    LedSnapshot Snapshot() const {
        LedSnapshot s{trigger, {}};
        if (trigger == "none") {
            s.settings["brightness"] = brightness;
            return s;
        }
        for (const auto& [name, value] : settings) {
            if (IsTriggerSetting(name)) s.settings[name] = value;
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
        {"oneshot, inverted",
         {"oneshot", "255", {{"delay_on", "20"}, {"delay_off", "30"}, {"invert", "1"}}}},
        {"transient, running",
         {"transient", "255", {{"activate", "1"}, {"duration", "5000"}, {"state", "1"}}}},
        {"netdev",
         {"netdev",
          "0",
          {{"device_name", "eth0"},
           {"interval", "100"},
           {"link", "1"},
           {"link_10", "0"},
           {"rx", "1"},
           {"tx", "0"}}}},
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
            const char* litWith = hasTimer ? "timer" : "none";
            ASSERT_TRUE(led.Apply(PlanRestore(saved, litWith, led.trigger)));
            EXPECT_EQ(led.trigger, c.before.trigger);
            EXPECT_EQ(led.settings, c.before.settings);
            // A running trigger drives the brightness itself.
            if (c.before.trigger == "none") {
                EXPECT_EQ(led.brightness, c.before.brightness);
            }
        }
    }
}

TEST(LedPlan, ATriggerChosenDuringTheFlashStands) {
    const LedSnapshot heartbeat{"heartbeat", {{"invert", "1"}}};
    EXPECT_THAT(PlanRestore(heartbeat, "timer", "netdev"), ::testing::IsEmpty());
    EXPECT_THAT(PlanRestore(heartbeat, "none", "timer"), ::testing::IsEmpty());
    EXPECT_THAT(PlanRestore({"none", {{"brightness", "3"}}}, "timer", "heartbeat"),
                ::testing::IsEmpty());
    // An LED without a trigger file has nobody to change it.
    EXPECT_EQ(PlanRestore({std::nullopt, {{"brightness", "3"}}}, "none", std::nullopt),
              (std::vector<LedWrite>{{"brightness", "3"}}));
}

TEST(LedPlan, TheLedClassesOwnFilesAreNoTriggerSettings) {
    for (const char* own : {"brightness", "trigger", "max_brightness", "uevent", "power",
                            "subsystem", "device", "multi_intensity", "brightness_hw_changed"}) {
        EXPECT_FALSE(IsTriggerSetting(own)) << own;
    }
    for (const char* setting : {"device_name", "invert", "link_1000", "duration", "hw_pattern"}) {
        EXPECT_TRUE(IsTriggerSetting(setting)) << setting;
    }
}

TEST(LedPlan, OffWithoutAnEarlierFlashLeavesAnotherOwnersTriggerAlone) {
    EXPECT_THAT(PlanOffUnsaved("heartbeat"), ::testing::IsEmpty());
    EXPECT_THAT(PlanOffUnsaved("timer"), ::testing::IsEmpty());
    EXPECT_EQ(PlanOffUnsaved("none"), (std::vector<LedWrite>{{"brightness", "0"}}));
    EXPECT_EQ(PlanOffUnsaved(std::nullopt), (std::vector<LedWrite>{{"brightness", "0"}}));
}

}  // namespace

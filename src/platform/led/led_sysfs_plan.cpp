// What to write to a kernel LED's sysfs files, and in which order; no I/O.
#include <algorithm>
#include <sstream>
#include <utility>

#include "platform/led/led_sysfs.h"

namespace qv::platform {

std::string SelectedTrigger(std::string_view list) {
    const size_t open = list.find('[');
    const size_t close = list.find(']', open);
    if (open == std::string_view::npos || close == std::string_view::npos) {
        return std::string(list);
    }
    return std::string(list.substr(open + 1, close - open - 1));
}

bool OffersTrigger(std::string_view list, std::string_view trigger) {
    std::istringstream words{std::string(list)};
    std::string word;
    while (words >> word) {
        if (word.size() > 2 && word.front() == '[' && word.back() == ']') {
            word = word.substr(1, word.size() - 2);
        }
        if (word == trigger) return true;
    }
    return false;
}

bool IsTriggerSetting(std::string_view attribute) {
    // The LED class's own files, and those of multicolour and hardware-
    // changed LEDs: they belong to the LED, not to its trigger.
    static constexpr std::string_view kOwnFiles[] = {
        "brightness", "trigger", "max_brightness", "uevent",          "power",
        "subsystem",  "device",  "multi_index",    "multi_intensity", "brightness_hw_changed",
    };
    if (attribute.empty() || attribute.front() == '.') return false;
    for (const std::string_view own : kOwnFiles) {
        if (attribute == own) return false;
    }
    return true;
}

namespace {

// Earlier first; within a rank by name. A netdev's modes need its device,
// a pattern starts once written (so its repeat count goes before it), and a
// transient or one-shot starts when activated or shot.
int SettingRank(std::string_view attribute) {
    if (attribute == "device_name" || attribute == "repeat") return 0;
    if (attribute == "pattern" || attribute == "hw_pattern" || attribute == "activate" ||
        attribute == "shot") {
        return 2;
    }
    return 1;
}

}  // namespace

std::vector<LedWrite> PlanTimerFlash(const LedSettings& settings) {
    const int32_t onUs = settings.onTime > 0 ? settings.onTime : settings.totalCycleTime;
    const int32_t onMs = onUs / 1000;
    const int32_t offMs = settings.offTime > 0 ? settings.offTime / 1000 : 0;
    return {{"trigger", "timer"},
            {"delay_on", std::to_string(onMs > 0 ? onMs : 1)},
            {"delay_off", std::to_string(offMs)}};
}

std::vector<LedWrite> PlanSteadyOn(const std::optional<std::string>& trigger,
                                   std::string_view maxBrightness) {
    std::vector<LedWrite> plan;
    // A running trigger would go on blinking over the flash.
    if (trigger && *trigger != "none") plan.push_back({"trigger", "none"});
    plan.push_back({"brightness", maxBrightness.empty() ? "1" : std::string(maxBrightness)});
    return plan;
}

std::vector<LedWrite> PlanRestore(const LedSnapshot& saved, std::string_view litWith,
                                  const std::optional<std::string>& triggerNow) {
    if (triggerNow && *triggerNow != litWith) return {};
    std::vector<LedWrite> plan;
    const bool triggerRuns = saved.trigger && *saved.trigger != "none";
    if (saved.trigger) plan.push_back({"trigger", *saved.trigger});
    std::vector<std::pair<std::string, std::string>> settings(saved.settings.begin(),
                                                              saved.settings.end());
    std::stable_sort(settings.begin(), settings.end(), [](const auto& a, const auto& b) {
        return SettingRank(a.first) < SettingRank(b.first);
    });
    for (const auto& [name, value] : settings) {
        if (value.empty()) continue;
        if (name == "brightness" ? triggerRuns : !triggerRuns) continue;
        // Selecting the pattern trigger already repeats for ever.
        if (name == "repeat" && value == "-1") continue;
        plan.push_back({name, value});
    }
    return plan;
}

std::vector<LedWrite> PlanOffUnsaved(const std::optional<std::string>& trigger) {
    if (trigger && *trigger != "none") return {};
    return {{"brightness", "0"}};
}

}  // namespace qv::platform

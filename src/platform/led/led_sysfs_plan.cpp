// What to write to a kernel LED's sysfs files, and in which order; no I/O.
#include <sstream>

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

std::vector<std::string> LedSettingsToKeep(const std::optional<std::string>& trigger) {
    if (!trigger || *trigger == "none") return {"brightness"};
    if (*trigger == "timer") return {"delay_on", "delay_off"};
    if (*trigger == "heartbeat") return {"invert"};
    // The repeat count first: a pattern starts running as soon as it is written.
    if (*trigger == "pattern") return {"repeat", "pattern"};
    return {};
}

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

std::vector<LedWrite> PlanRestore(const LedSnapshot& saved) {
    std::vector<LedWrite> plan;
    const bool triggerRuns = saved.trigger && *saved.trigger != "none";
    if (saved.trigger) plan.push_back({"trigger", *saved.trigger});
    for (const std::string& name : LedSettingsToKeep(saved.trigger)) {
        const auto it = saved.settings.find(name);
        if (it == saved.settings.end() || it->second.empty()) continue;
        if (triggerRuns && name == "brightness") continue;
        // Selecting the pattern trigger already repeats for ever.
        if (name == "repeat" && it->second == "-1") continue;
        plan.push_back({name, it->second});
    }
    return plan;
}

std::vector<LedWrite> PlanOffUnsaved(const std::optional<std::string>& trigger) {
    if (trigger && *trigger != "none") return {};
    return {{"brightness", "0"}};
}

}  // namespace qv::platform

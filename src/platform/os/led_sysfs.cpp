#include "platform/os/led_sysfs.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/debug_output.h"

namespace qv::platform {
namespace {

// What an LED looked like before the library first lit it.
struct SavedLed {
    std::string trigger;  // the bracketed entry of "trigger"; empty if unreadable
    std::string delayOn;
    std::string delayOff;
    std::string brightness;
};

struct LedState {
    std::mutex mutex;
    std::map<std::string, SavedLed> saved;  // by LED directory
    std::set<std::string> reported;         // LED + cause lines already logged
};

// Never destroyed: a flash worker may still finish while the process exits.
LedState& State() {
    static LedState* state = new LedState;
    return *state;
}

std::optional<std::string> ReadAttribute(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::stringstream all;
    all << in.rdbuf();
    std::string text = all.str();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// One write(2)-sized store, as sysfs expects: the whole value at once.
bool WriteAttribute(const std::string& path, const std::string& value) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    const bool ok = std::fputs(value.c_str(), f) >= 0;
    return std::fclose(f) == 0 && ok;
}

// "none [timer] heartbeat" -> "timer"; a plain file (no brackets) holds the name itself.
std::string CurrentTrigger(const std::string& list) {
    const size_t open = list.find('[');
    const size_t close = list.find(']', open);
    if (open == std::string::npos || close == std::string::npos) return list;
    return list.substr(open + 1, close - open - 1);
}

bool OffersTimer(const std::string& list) {
    std::istringstream words(list);
    std::string word;
    while (words >> word) {
        if (word == "timer" || word == "[timer]") return true;
    }
    return false;
}

void ReportOnce(LedState& state, const std::string& key, const std::string& line) {
    if (state.reported.insert(key).second) DebugOutputUtf8(line);
}

bool LightLed(LedState& state, const std::string& led, const LedSettings& settings) {
    const std::optional<std::string> triggers = ReadAttribute(led + "/trigger");
    if (!state.saved.contains(led)) {
        SavedLed saved;
        if (triggers) saved.trigger = CurrentTrigger(*triggers);
        saved.delayOn = ReadAttribute(led + "/delay_on").value_or("");
        saved.delayOff = ReadAttribute(led + "/delay_off").value_or("");
        saved.brightness = ReadAttribute(led + "/brightness").value_or("");
        state.saved[led] = saved;
    }
    if (triggers && OffersTimer(*triggers) && WriteAttribute(led + "/trigger", "timer")) {
        // An on time of 0 means steady: the whole cycle on, never off.
        const int32_t onMs =
            (settings.onTime > 0 ? settings.onTime : settings.totalCycleTime) / 1000;
        const int32_t offMs = settings.offTime > 0 ? settings.offTime / 1000 : 0;
        if (WriteAttribute(led + "/delay_on", std::to_string(onMs > 0 ? onMs : 1)) &&
            WriteAttribute(led + "/delay_off", std::to_string(offMs))) {
            return true;
        }
    }
    const std::string max = ReadAttribute(led + "/max_brightness").value_or("1");
    return WriteAttribute(led + "/brightness", max.empty() ? "1" : max);
}

bool RestoreLed(LedState& state, const std::string& led) {
    const auto it = state.saved.find(led);
    if (it == state.saved.end()) return WriteAttribute(led + "/brightness", "0");
    const SavedLed saved = it->second;
    state.saved.erase(it);
    bool ok = true;
    if (!saved.trigger.empty()) ok = WriteAttribute(led + "/trigger", saved.trigger);
    if (saved.trigger == "timer") {
        // The kernel recreates the delays with its defaults on a trigger change.
        if (!saved.delayOn.empty()) ok = WriteAttribute(led + "/delay_on", saved.delayOn) && ok;
        if (!saved.delayOff.empty()) ok = WriteAttribute(led + "/delay_off", saved.delayOff) && ok;
    } else if (!saved.brightness.empty()) {
        ok = WriteAttribute(led + "/brightness", saved.brightness) && ok;
    }
    return ok;
}

}  // namespace

std::optional<SysfsLedConfig> ParseSysfsLedConfig(std::string_view value) {
    constexpr std::string_view kPrefix = "sysfs:";
    if (!value.starts_with(kPrefix)) return std::nullopt;
    value.remove_prefix(kPrefix.size());
    SysfsLedConfig config;
    const size_t comma = value.find(',');
    config.dir = std::string(value.substr(0, comma));
    if (config.dir.empty()) return std::nullopt;
    while (config.dir.size() > 1 && config.dir.back() == '/') {
        config.dir.pop_back();
    }
    std::string_view rest = comma == std::string_view::npos ? "" : value.substr(comma + 1);
    while (!rest.empty()) {
        const size_t next = rest.find(',');
        const std::string_view entry = rest.substr(0, next);
        rest = next == std::string_view::npos ? "" : rest.substr(next + 1);
        const size_t eq = entry.find('=');
        if (eq == 0 || eq == std::string_view::npos || eq + 1 == entry.size()) return std::nullopt;
        const std::string_view index = entry.substr(0, eq);
        const std::string_view name = entry.substr(eq + 1);
        if (index.size() > 9 || index.find_first_not_of("0123456789") != std::string_view::npos ||
            name.find('/') != std::string_view::npos || name == "." || name == "..") {
            return std::nullopt;
        }
        config.names[static_cast<uint32_t>(std::stoul(std::string(index)))] = std::string(name);
    }
    return config;
}

bool SetSysfsLed(const SysfsLedConfig& config, const LedSettings& settings) {
    LedState& state = State();
    std::lock_guard lock(state.mutex);
    const auto named = config.names.find(settings.number);
    if (named == config.names.end()) {
        ReportOnce(state, "unnamed " + std::to_string(settings.number),
                   "notification LEDs: LED " + std::to_string(settings.number) +
                       " has no name in QV_LEDS; request ignored\n");
        return false;
    }
    const std::string led = config.dir + "/" + named->second;
    const bool ok = settings.state != 0 ? LightLed(state, led, settings) : RestoreLed(state, led);
    if (!ok) {
        ReportOnce(state, "write " + led,
                   "notification LEDs: cannot write " + led + ": " + std::strerror(errno) + "\n");
    }
    return ok;
}

}  // namespace qv::platform

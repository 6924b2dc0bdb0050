#include "platform/led/led_sysfs.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

#include "platform/log/debug_output.h"

namespace qv::platform {
namespace {

// An LED the library lit: how it looked before, and the trigger the flash
// selected, which tells at the end whether someone else changed it since.
struct LitLed {
    LedSnapshot before;
    std::string litWith;
};

struct LedState {
    std::mutex mutex;
    std::map<std::string, LitLed> saved;  // by LED directory
    std::set<std::string> reported;       // LED + cause lines already logged
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

// Every write is tried, so one refused setting still leaves the rest in place.
bool Apply(const std::string& led, const std::vector<LedWrite>& plan) {
    bool ok = true;
    for (const LedWrite& w : plan)
        ok = WriteAttribute(led + "/" + w.attribute, w.value) && ok;
    return ok;
}

void ReportOnce(LedState& state, const std::string& key, const std::string& line) {
    if (state.reported.insert(key).second) DebugOutputUtf8(line);
}

// Every setting the running trigger shows in the LED's directory: the
// regular files the owner may both read and write (a write-only one such as
// a one-shot's "shot" is an action, not a setting).
std::map<std::string, std::string> ReadTriggerSettings(const std::string& led) {
    std::map<std::string, std::string> settings;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(led, error)) {
        const std::string name = entry.path().filename().string();
        if (!IsTriggerSetting(name)) continue;
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            (st.st_mode & S_IRUSR) == 0 || (st.st_mode & S_IWUSR) == 0) {
            continue;
        }
        if (const auto value = ReadAttribute(entry.path().string())) settings[name] = *value;
    }
    return settings;
}

LedSnapshot ReadSnapshot(const std::string& led, const std::optional<std::string>& trigger) {
    LedSnapshot saved{trigger, {}};
    if (!trigger || *trigger == "none") {
        if (const auto value = ReadAttribute(led + "/brightness")) {
            saved.settings["brightness"] = *value;
        }
    } else {
        saved.settings = ReadTriggerSettings(led);
    }
    return saved;
}

std::optional<std::string> ReadTrigger(const std::string& led) {
    const std::optional<std::string> triggers = ReadAttribute(led + "/trigger");
    return triggers ? std::optional(SelectedTrigger(*triggers)) : std::nullopt;
}

bool LightLed(LedState& state, const std::string& led, const LedSettings& settings) {
    const std::optional<std::string> triggers = ReadAttribute(led + "/trigger");
    const std::optional<std::string> trigger =
        triggers ? std::optional(SelectedTrigger(*triggers)) : std::nullopt;
    const auto saved = state.saved.find(led);
    // A flash on one still lit keeps what the LED showed before the first.
    LitLed& lit =
        saved != state.saved.end()
            ? saved->second
            : state.saved.emplace(led, LitLed{ReadSnapshot(led, trigger), ""}).first->second;
    if (triggers && OffersTrigger(*triggers, "timer") && Apply(led, PlanTimerFlash(settings))) {
        lit.litWith = "timer";
        return true;
    }
    lit.litWith = "none";
    const std::string max = ReadAttribute(led + "/max_brightness").value_or("1");
    return Apply(led, PlanSteadyOn(trigger, max));
}

bool RestoreLed(LedState& state, const std::string& led) {
    const auto it = state.saved.find(led);
    if (it == state.saved.end()) return Apply(led, PlanOffUnsaved(ReadTrigger(led)));
    const LitLed lit = it->second;
    state.saved.erase(it);
    return Apply(led, PlanRestore(lit.before, lit.litWith, ReadTrigger(led)));
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

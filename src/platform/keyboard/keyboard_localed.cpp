#include "platform/keyboard/keyboard_localed.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>

#include "platform/core/clock.h"

namespace qv::platform {
namespace {

constexpr char kLocale1[] = "org.freedesktop.locale1";
constexpr char kLocale1Path[] = "/org/freedesktop/locale1";

// One property as a string; false when the call fails.
bool ReadProperty(sd_bus* bus, const char* name, std::string& value) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    char* text = nullptr;
    const int r =
        sd_bus_get_property_string(bus, kLocale1, kLocale1Path, kLocale1, name, &error, &text);
    sd_bus_error_free(&error);
    if (r < 0) return false;
    value = text != nullptr ? text : "";
    std::free(text);
    return true;
}

}  // namespace

std::optional<LayoutNames> ReadLocaledLayout() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return std::nullopt;
    const auto wait =
        std::chrono::duration_cast<std::chrono::microseconds>(RealDuration(kLocaledWaitMs));
    sd_bus_set_method_call_timeout(bus, static_cast<uint64_t>(wait.count()));
    LayoutNames names;
    // The first call bears the wait: a bus without localed fails it, and the
    // others are not tried.
    const bool read = ReadProperty(bus, "X11Layout", names.layout) && !names.layout.empty() &&
                      ReadProperty(bus, "X11Model", names.model) &&
                      ReadProperty(bus, "X11Variant", names.variant) &&
                      ReadProperty(bus, "X11Options", names.options);
    sd_bus_flush_close_unref(bus);
    if (!read) return std::nullopt;
    return names;
}

}  // namespace qv::platform

// Notification LEDs in sysfs (QV_LEDS=sysfs:<dir>[,<index>=<name>...]):
// LED index n is the kernel LED <dir>/<name>/. Internal to the platform layer.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/led.h"
#include "platform/platform_api.h"

namespace qv::platform {

struct SysfsLedConfig {
    std::string dir;
    std::map<uint32_t, std::string> names;  // LED index -> name under dir
};

// Nullopt when `value` is not "sysfs:<dir>[,<index>=<name>...]".
QV_PLATFORM_API std::optional<SysfsLedConfig> ParseSysfsLedConfig(std::string_view value);

// Carries out one settings request on the LED the configuration names.
// On: the timer trigger where the LED offers it (steady for an on time of
// 0), else full brightness; the LED's trigger, delays and brightness are
// remembered the first time. Off: puts them back. False (with a line on the
// debug output, once per LED and cause) when the LED is not named or cannot
// be written.
bool SetSysfsLed(const SysfsLedConfig& config, const LedSettings& settings);

}  // namespace qv::platform

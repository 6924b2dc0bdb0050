// Notification LEDs in sysfs (QV_LEDS=sysfs:<dir>[,<index>=<name>...]):
// LED index n is the kernel LED <dir>/<name>/. Internal to the platform layer.
//
// The kernel drops an LED's trigger, with its settings, when 0 is written to
// its brightness or another trigger is selected. So what to write, and in
// which order, is decided by the pure functions below from what the LED
// showed before the library lit it; SetSysfsLed only reads and carries out.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/led/led.h"
#include "platform/platform_api.h"

namespace qv::platform {

struct SysfsLedConfig {
    std::string dir;
    std::map<uint32_t, std::string> names;  // LED index -> name under dir
};

// Nullopt when `value` is not "sysfs:<dir>[,<index>=<name>...]".
QV_PLATFORM_API std::optional<SysfsLedConfig> ParseSysfsLedConfig(std::string_view value);

// One store into an attribute file of the LED's directory.
struct LedWrite {
    std::string attribute;
    std::string value;
    bool operator==(const LedWrite&) const = default;
};

// What an LED looked like before the library first lit it.
struct LedSnapshot {
    std::optional<std::string> trigger;           // selected trigger; nullopt: no trigger file
    std::map<std::string, std::string> settings;  // that trigger's settings, or the brightness
};

// "none [timer] heartbeat" -> "timer"; a file without brackets holds the name itself.
QV_PLATFORM_API std::string SelectedTrigger(std::string_view list);
QV_PLATFORM_API bool OffersTrigger(std::string_view list, std::string_view trigger);

// Whether a readable and writable file of the LED's directory holds a setting
// of the running trigger: every such file but those the LED class itself
// has (brightness, trigger, max_brightness, ...). A trigger's settings are
// files there only while it runs, so whatever a trigger exposes is kept
// without knowing it by name.
QV_PLATFORM_API bool IsTriggerSetting(std::string_view attribute);

// Lighting for the flash: the timer trigger held on for the whole cycle (an
// on time of 0 means steady), or, where the LED has no timer trigger, its
// trigger removed and full brightness.
QV_PLATFORM_API std::vector<LedWrite> PlanTimerFlash(const LedSettings& settings);
QV_PLATFORM_API std::vector<LedWrite> PlanSteadyOn(const std::optional<std::string>& trigger,
                                                   std::string_view maxBrightness);

// Puts the LED back as `saved` shows it, once the flash lit it with the
// trigger `litWith` ("none" for a steady light): the trigger first, as
// selecting one starts it afresh, then its settings in an order the kernel
// accepts (a netdev's device before its link and traffic modes, a pattern's
// repeat count before the pattern, a transient's activation last). A
// brightness is written only where no trigger is to run, as 0 would remove
// it. Nothing at all when the LED's trigger is no longer `litWith`
// (`triggerNow`): someone else chose another during the flash, and their
// choice stands.
QV_PLATFORM_API std::vector<LedWrite> PlanRestore(const LedSnapshot& saved,
                                                  std::string_view litWith,
                                                  const std::optional<std::string>& triggerNow);

// Off for an LED this process never lit: dark only when no trigger runs on it
// (a trigger there belongs to someone else).
QV_PLATFORM_API std::vector<LedWrite> PlanOffUnsaved(const std::optional<std::string>& trigger);

// Carries out one settings request on the LED the configuration names.
// On: remembers the LED the first time, then lights it. Off: puts back what
// was remembered. False (with a line on the debug output, once per LED and
// cause) when the LED is not named or cannot be written.
QV_PLATFORM_API bool SetSysfsLed(const SysfsLedConfig& config, const LedSettings& settings);

}  // namespace qv::platform

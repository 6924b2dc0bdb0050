#include <atomic>
#include <cstdio>
#include <string>

#include "platform/core/configuration.h"
#include "platform/led/led.h"
#include "platform/led/led_sysfs.h"
#include "platform/log/debug_output.h"
#include "platform/windows/message_record.h"

namespace qv::platform {

bool LedSetDevice(uint32_t request, const LedSettings& settings) {
    if (request != kLedSettingsRequest) return false;
    // As read when the imager was opened, not on the flashing thread.
    if (const std::string leds = CurrentConfiguration()->leds; !leds.empty()) {
        if (const auto config = ParseSysfsLedConfig(leds)) return SetSysfsLed(*config, settings);
        static std::atomic<bool> reported{false};  // once, not at every flash
        if (!reported.exchange(true)) {
            DebugOutputUtf8("notification LEDs: QV_LEDS=" + leds +
                            " is not sysfs:<dir>[,<index>=<name>...]; using the stand-in\n");
        }
    }
    char line[64];
    std::snprintf(line, sizeof line, "led %u %d %d", settings.number, settings.state,
                  settings.totalCycleTime);
    RecordEffect(line);
    return true;
}

}  // namespace qv::platform

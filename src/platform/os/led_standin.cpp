#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/debug_output.h"
#include "platform/led.h"
#include "platform/message_record.h"
#include "platform/os/led_sysfs.h"

namespace qv::platform {

bool LedSetDevice(uint32_t request, const LedSettings& settings) {
    if (request != kLedSettingsRequest) return false;
    // Read at each request: the LEDs have no open of their own.
    if (const char* leds = std::getenv("QV_LEDS"); leds != nullptr && *leds != '\0') {
        if (const auto config = ParseSysfsLedConfig(leds)) return SetSysfsLed(*config, settings);
        static std::atomic<bool> reported{false};  // once, not at every flash
        if (!reported.exchange(true)) {
            DebugOutputUtf8(std::string("notification LEDs: QV_LEDS=") + leds +
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

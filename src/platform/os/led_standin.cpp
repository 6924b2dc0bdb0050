#include <cstdio>

#include "platform/led.h"
#include "platform/message_record.h"

namespace qv::platform {

bool LedSetDevice(uint32_t request, const LedSettings& settings) {
    if (request != kLedSettingsRequest) return false;
    char line[64];
    std::snprintf(line, sizeof line, "led %u %d %d", settings.number, settings.state,
                  settings.totalCycleTime);
    RecordEffect(line);
    return true;
}

}  // namespace qv::platform

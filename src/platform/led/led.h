// Notification LEDs of the stand-in: each settings request is recorded and
// traced as "led <number> <state> <total cycle us>".
#pragma once

#include <cstdint>

#include "platform/platform_api.h"

namespace qv::platform {

// Request identifier of the LED settings request.
inline constexpr uint32_t kLedSettingsRequest = 2;

struct LedSettings {
    uint32_t number;
    int32_t state;           // 0 off, 1 on, 2 blink
    int32_t totalCycleTime;  // microseconds
    int32_t onTime;
    int32_t offTime;
    int32_t metaCycleOn;
    int32_t metaCycleOff;
};
static_assert(sizeof(LedSettings) == 28);

// False for any request but kLedSettingsRequest.
QV_PLATFORM_API bool LedSetDevice(uint32_t request, const LedSettings& settings);

}  // namespace qv::platform

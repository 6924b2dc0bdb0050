// The one clock every wait of the library goes through.
//
// Production time is exact. Tests may scale it (SetClockScale(0.1) makes every
// wait a tenth as long in real time) so the suite stays fast; the tick count
// then runs in the same scaled milliseconds, so timings read as on the device.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/platform_api.h"

namespace qv::platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Monotonic milliseconds since an arbitrary origin; wraps at 32 bits.
QV_PLATFORM_API uint32_t GetTickCount();

QV_PLATFORM_API void Sleep(uint32_t milliseconds);

// Real time that `milliseconds` of library time lasts under the current scale.
QV_PLATFORM_API std::chrono::nanoseconds RealDuration(uint32_t milliseconds);

// Real-time deadline for a wait of `milliseconds` (kInfinite gives time_point::max()).
QV_PLATFORM_API std::chrono::steady_clock::time_point DeadlineAfter(uint32_t milliseconds);

// Real seconds per library second; 1.0 unless a test changed it.
QV_PLATFORM_API double ClockScale();
QV_PLATFORM_API void SetClockScale(double scale);

}  // namespace qv::platform

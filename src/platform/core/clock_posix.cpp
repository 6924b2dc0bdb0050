#include <atomic>
#include <thread>

#include "platform/core/clock.h"

namespace qv::platform {
namespace {

std::atomic<double> g_scale{1.0};

const std::chrono::steady_clock::time_point g_origin = std::chrono::steady_clock::now();

}  // namespace

double ClockScale() {
    return g_scale.load(std::memory_order_relaxed);
}

void SetClockScale(double scale) {
    g_scale.store(scale > 0.0 ? scale : 1.0, std::memory_order_relaxed);
}

uint32_t GetTickCount() {
    const auto real = std::chrono::steady_clock::now() - g_origin;
    const double ms = std::chrono::duration<double, std::milli>(real).count() / ClockScale();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

std::chrono::nanoseconds RealDuration(uint32_t milliseconds) {
    const double ns = static_cast<double>(milliseconds) * 1e6 * ClockScale();
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

std::chrono::steady_clock::time_point DeadlineAfter(uint32_t milliseconds) {
    if (milliseconds == kInfinite) return std::chrono::steady_clock::time_point::max();
    return std::chrono::steady_clock::now() + RealDuration(milliseconds);
}

void Sleep(uint32_t milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_until(DeadlineAfter(milliseconds));
}

}  // namespace qv::platform

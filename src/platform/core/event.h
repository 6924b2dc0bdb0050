// Events with the semantics the library was designed around: an auto-reset
// event wakes one waiter and clears itself; a manual-reset one stays set.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/core/clock.h"
#include "platform/platform_api.h"

namespace qv::platform {

class QV_PLATFORM_API Event {
  public:
    explicit Event(bool manualReset = false, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when the event was set within `milliseconds` (kInfinite waits forever).
    bool Wait(uint32_t milliseconds);

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set;
    const bool m_manualReset;
};

}  // namespace qv::platform

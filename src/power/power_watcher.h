// The power-state watcher: follows the device's suspend and resume while the
// imager is open. A suspend makes the engine refuse work; a resume powers the
// module again and makes it usable.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>

#include "platform/core/thread.h"
#include "platform/power_notify/power_notify.h"

namespace qv {

class ModuleControl;

class PowerWatcher {
  public:
    // Clears and sets `active` on suspend and resume; a resume powers
    // `module` on under `powerLock`, the lock the open holds while it brings
    // the supply up itself.
    PowerWatcher(ModuleControl& module, std::mutex& powerLock, std::atomic<int32_t>& active);
    // The watcher uses its peers until it ends, so it is ended first.
    ~PowerWatcher();
    PowerWatcher(const PowerWatcher&) = delete;
    PowerWatcher& operator=(const PowerWatcher&) = delete;

    // Starts CheckPowerStateThread (ending a watcher already running).
    void Start();
    // Ends the subscription, which releases the watcher's read, and joins the thread.
    void Stop();
    // True while the watcher holds its subscription.
    bool IsSubscribed();

    // Acts on one message read from the notification queue.
    void HandlePowerMessage(std::span<const uint8_t> message);

  private:
    void CheckPowerStateThread();

    ModuleControl& m_module;
    std::mutex& m_powerLock;
    std::atomic<int32_t>& m_bActive;
    std::atomic<int32_t> m_bStopPowerThread{0};
    // Guards m_hPowerNotify between the watcher, which owns the subscription,
    // and the closer, which ends it to release the watcher's read.
    std::mutex m_powerNotifyLock;
    platform::PowerNotifications* m_hPowerNotify = nullptr;
    // Declared last: destroying the watcher joins it before what it uses goes.
    platform::Thread m_hPowerThread;
};

}  // namespace qv

// Threads of the library. No thread is ever killed: each is ended by a signal
// it waits on and then joined.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/platform_api.h"

namespace qv::platform {

class QV_PLATFORM_API Thread {
  public:
    Thread();
    ~Thread();  // joins if still running
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool Start(std::function<void()> body);
    bool IsStarted() const;
    // Waits up to `milliseconds` for the body to return; true when it has.
    bool WaitFor(uint32_t milliseconds);
    // Waits for the body to return and releases the thread.
    void Join();
    // Priority level 0 (highest) to 7 (lowest); kept as is where the system refuses.
    void SetPriority(int level);
    bool IsCurrent() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace qv::platform

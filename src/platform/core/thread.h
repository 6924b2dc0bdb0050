// Threads of the library. No thread is ever killed: each is ended by a signal
// it waits on and then joined.
//
// Every thread starts at normal priority, whatever the priority of the
// thread that starts it, so a worker started by the raised reader does not
// inherit its real-time scheduling.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/platform_api.h"

namespace qv::platform {

// The real-time priority (SCHED_RR) that level 0 asks for. Moderate on
// purpose: the reader runs application code (the barcode callback), so it
// must stay below the kernel's interrupt threads (50) and far below the
// maximum (99). Levels 1 and 2 get lower real-time priorities; level 3
// (normal) and below keep the ordinary time-sharing scheduler.
inline constexpr int kHighestRealTimePriority = 10;

// The real-time priority for a level 0..7; 0 when the level is normal or below.
QV_PLATFORM_API int RealTimePriorityOfLevel(int level);

// The calling process's id; a child made with fork() has another than its
// parent, so what the parent opened can be told from what the child did.
QV_PLATFORM_API int32_t CurrentProcessId();

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
    // Waits for the body to return and releases the thread. Called on the
    // thread itself (its owner destroyed there), it lets the thread finish on
    // its own: what the running thread still needs is shared with it.
    void Join();
    // Priority level 0 (highest) to 7 (lowest); kept as is where the system
    // refuses. See kHighestRealTimePriority for what level 0 means here.
    void SetPriority(int level);
    bool IsCurrent() const;

  private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace qv::platform

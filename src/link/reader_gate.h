// Where the reader thread stands, as the closer needs to know it.
//
// Close waits a bounded time for the reader. A reader that is still running
// the application's code then (the barcode callback, or a broadcast to the
// application's windows) cannot be stopped, so the closer leaves it behind:
// it takes down the port and the driver, and the reader, once it comes back,
// touches nothing but the engine object it keeps alive, and ends. The state
// changes are atomic, so the closer can leave the reader only while it is
// provably inside the application's code.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/core/event.h"

namespace qv {

class ReaderGate {
  public:
    // On the reader thread, first thing: marks the thread as a reader thread.
    void Begin();
    // On the reader thread, last thing; wakes a closer that waits.
    void End();
    // Around application code run on the reader thread. LeaveApplication is
    // false when the closer has left this reader behind meanwhile; the
    // reader then must not touch the port, the driver or the events' users
    // and should end.
    void EnterApplication();
    bool LeaveApplication();
    bool IsLeftBehind() const { return m_state.load() == kLeftBehind; }

    // Waits up to `milliseconds` unless a stop is (or becomes) requested;
    // false when the pause was cut short by a stop.
    bool Pause(uint32_t milliseconds);
    bool StopRequested() const { return m_stopRequested.load() != 0; }

    // Closer side.
    void RequestStop();
    bool HasEnded() const { return m_state.load() == kEnded; }
    bool IsInApplication() const { return m_state.load() == kInApplication; }
    // Leaves the reader to finish on its own; only while it runs application
    // code. True when done.
    bool LeaveBehind();

  private:
    static constexpr int32_t kNotStarted = 0;
    static constexpr int32_t kRunning = 1;
    static constexpr int32_t kInApplication = 2;
    static constexpr int32_t kLeftBehind = 3;
    static constexpr int32_t kEnded = 4;

    std::atomic<int32_t> m_state{kNotStarted};
    std::atomic<int32_t> m_stopRequested{0};
    // Manual reset: once set, every later pause ends at once.
    platform::Event m_stop{true, false};
};

// True on a reader thread, the current one or one left behind by a close.
// Opening, closing and commands cannot work from there.
bool OnReaderThread();
// True on a reader that a close left behind in the application's code: it
// belongs to no current engine, so nothing it calls may reach one.
bool OnLeftBehindReader();

}  // namespace qv

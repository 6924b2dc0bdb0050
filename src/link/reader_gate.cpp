#include "link/reader_gate.h"

#include "platform/message.h"

namespace qv {
namespace {

thread_local bool t_readerThread = false;

}  // namespace

bool OnReaderThread() {
    return t_readerThread;
}

void ReaderGate::Begin() {
    t_readerThread = true;
    m_state.store(kRunning);
}

void ReaderGate::End() {
    m_state.store(kEnded);
    platform::WakeMessageWaiters();
}

void ReaderGate::EnterApplication() {
    m_state.store(kInApplication);
    // A closer past its bound waits for exactly this.
    if (StopRequested()) platform::WakeMessageWaiters();
}

bool ReaderGate::LeaveApplication() {
    int32_t expected = kInApplication;
    return m_state.compare_exchange_strong(expected, kRunning);
}

bool ReaderGate::Pause(uint32_t milliseconds) {
    if (milliseconds == 0) return !StopRequested();
    return !m_stop.Wait(milliseconds);
}

void ReaderGate::RequestStop() {
    m_stopRequested.store(1);
    m_stop.Set();
}

bool ReaderGate::LeaveBehind() {
    int32_t expected = kInApplication;
    return m_state.compare_exchange_strong(expected, kLeftBehind);
}

}  // namespace qv

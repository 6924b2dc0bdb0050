#include "link/reader_gate.h"

#include "platform/windows/message.h"

namespace qv {
namespace {

// The gate of the reader running on this thread; null on other threads.
// Read only on that thread, while its engine (and so the gate) is alive.
thread_local const ReaderGate* t_readerGate = nullptr;

}  // namespace

bool OnReaderThread() {
    return t_readerGate != nullptr;
}

bool OnLeftBehindReader() {
    return t_readerGate != nullptr && t_readerGate->IsLeftBehind();
}

void ReaderGate::Begin() {
    t_readerGate = this;
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

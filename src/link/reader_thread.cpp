#include "link/reader_thread.h"

#include "link/reader_gate.h"
#include "link/serial_port.h"
#include "log/write_log.h"
#include "platform/core/clock.h"
#include "platform/windows/message.h"

namespace qv {
namespace {

constexpr int kHighestPriority = 0;

// The settle wait: the thread's window messages keep being dispatched, and
// in between it blocks on its message queue until the deadline.
void WaitDispatchingMessages(uint32_t milliseconds) {
    (void)platform::PumpMessagesFor(milliseconds);
}

}  // namespace

ReaderThread::ReaderThread(SerialPort& serial, ReaderGate& gate, LinkActions& actions,
                           const std::atomic<int32_t>& active)
    : m_serial(serial), m_gate(gate), m_actions(actions), m_active(active) {}

bool ReaderThread::Start(std::shared_ptr<const void> keepAlive) {
    m_hStopEvent = std::make_unique<platform::Event>();
    m_canLeave = keepAlive != nullptr;
    if (!m_hComThread.Start([keep = std::move(keepAlive), this] { ThreadComProc(); })) {
        m_hStopEvent.reset();
        return false;
    }
    m_hComThread.SetPriority(kHighestPriority);
    return true;
}

bool ReaderThread::Stop() {
    m_bIdle = 1;
    // Ends the reader's pauses too (key-stroke delays, settle wait, LEDs).
    m_gate.RequestStop();
    if (m_hStopEvent) m_hStopEvent->Set();
    if (!m_hComThread.IsStarted()) return true;
    ReaderGate& gate = m_gate;
    const auto ended = [&gate] { return gate.HasEnded(); };
    if (!platform::WaitHandlingSentMessages(ended, kReaderStopMs)) {
        const bool canLeave = m_canLeave;
        WriteLog(u"ThreadComProc has not ended after %d ms\r\n", kReaderStopMs);
        for (;;) {
            // Outside the application's code the reader is bounded (its
            // pauses end on the stop), so it is waited for until it ends or
            // enters the application's code.
            (void)platform::WaitHandlingSentMessages(
                [&gate, canLeave] {
                    return gate.HasEnded() || (canLeave && gate.IsInApplication());
                },
                platform::kInfinite);
            if (gate.HasEnded()) break;
            if (gate.LeaveBehind()) {
                WriteLog(
                    u"ThreadComProc is still in the application's code; closing without "
                    u"it, it ends when that code returns\r\n");
                return false;
            }
        }
    }
    m_hComThread.Join();
    m_hStopEvent.reset();
    return true;
}

// True when closing or a suspend asks the reader to let go of a frame it
// is still waiting on; the stop signal is left for the main loop.
bool ReaderThread::ShouldLetGo() {
    if (m_active.load() == 0) return true;
    // The event may have been used up by the main loop; the close's request stays.
    if (m_gate.StopRequested()) return true;
    platform::Event* stop = m_hStopEvent.get();
    if (stop == nullptr || !stop->Wait(0)) return false;
    stop->Set();
    return true;
}

// Reads what the driver holds into the reader's buffer; 0 when nothing. The
// queue is asked first: a read of an empty queue would purge the line.
size_t ReaderThread::ReadInto(FrameReader& reader) {
    // A reader a close left behind finds the port gone.
    if (m_gate.IsLeftBehind()) return 0;
    if (reader.Room() == 0 || m_serial.QueuedBytes() <= 0) return 0;
    const int32_t n = m_serial.Read(reader.Tail(), static_cast<int32_t>(reader.Room()));
    if (n <= 0) return 0;
    reader.Append(static_cast<size_t>(n));
    return static_cast<size_t>(n);
}

// After a line event: settle, read, and dispatch every whole frame. Nothing
// is purged here: bytes behind a frame are the next frame. While the search
// waits on the line (a verified end that may still be followed, a head that
// never verified), the reader keeps reading until it can decide.
void ReaderThread::TakeBytes(FrameReader& reader) {
    m_bIdle = 0;
    // A close under way does not wait for more of a frame.
    if (!m_gate.StopRequested()) WaitDispatchingMessages(kSettleMs);
    if (ReadInto(reader) == 0 && reader.Held() == 0) {
        m_bIdle = 1;
        return;
    }
    LineState line = LineState::Busy;
    uint32_t quietSince = platform::GetTickCount();
    for (;;) {
        const FrameReader::Outcome outcome = reader.Process(m_actions, line);
        if (outcome.frames > 0) m_bIdle = 1;
        if (outcome.wait == SplitWait::None || line == LineState::Quiet || ShouldLetGo()) {
            break;
        }
        WaitDispatchingMessages(outcome.wait == SplitWait::Confirm ? kConfirmMs : kSettleMs);
        if (ReadInto(reader) > 0) {
            line = LineState::Busy;
            quietSince = platform::GetTickCount();
        } else if (platform::GetTickCount() - quietSince >= kQuietLineMs) {
            line = LineState::Quiet;
        } else {
            line = LineState::Paused;
        }
    }
    if (reader.Held() == 0) m_bIdle = 1;
}

uint32_t ReaderThread::ThreadComProc() {
    m_gate.Begin();
    WriteLog(u"\t----> [ThreadComProc] Start!!!!!!!\r\n");
    // The buffer is the thread's own; it lives on the heap to keep the
    // thread's stack small.
    auto reader = std::make_unique<FrameReader>();
    m_bIdle = 1;
    platform::SerialDevice* device = m_serial.GetHandle();
    bool running = device != nullptr;
    while (running) {
        if (m_gate.IsLeftBehind()) break;
        uint32_t events = 0;
        const platform::WaitResult waited = device->WaitEvent(&events);
        if (waited != platform::WaitResult::Events || events == 0) {
            // A cleared mask is the close; a failed wait, the device going away.
            if (waited == platform::WaitResult::Failed && !m_gate.StopRequested()) {
                m_actions.LinkLost();
            }
            running = false;
            break;
        }
        if (m_active.load() == 0) {
            // The engine lost power: nothing it was sending will be finished,
            // so what is held goes with what the driver holds.
            WriteLog(u"CLEAR BUFFER\r\n");
            m_serial.Purge();
            reader->Clear();
            continue;
        }
        platform::Event* stop = m_hStopEvent.get();
        if (stop != nullptr && stop->Wait(0) && m_bIdle.load() == 1) {
            WriteLog(u"STOP EVENT\r\n");
            running = false;
            break;
        }
        if ((events & platform::EV_RXCHAR) != 0) TakeBytes(*reader);
    }
    WriteLog(u"\t----> [ThreadComProc] Stop!!!!!!!\r\n");
    m_gate.End();
    return 0;
}

}  // namespace qv

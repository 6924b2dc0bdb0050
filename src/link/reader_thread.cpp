#include "link/reader_thread.h"

#include "delivery/barcode_delivery.h"
#include "engine/imager_engine.h"
#include "engine/write_log.h"
#include "link/command_exchange.h"
#include "link/frame.h"
#include "platform/clock.h"
#include "platform/message.h"

namespace qv {
namespace {

// The settle wait: the thread's window messages keep being dispatched, and
// in between it blocks on its message queue until the deadline.
void WaitDispatchingMessages(uint32_t milliseconds) {
    (void)platform::PumpMessagesFor(milliseconds);
}

// True when closing or a suspend asks the reader to let go of a frame it
// is still waiting on; the stop signal is left for the main loop.
bool ShouldLetGo(ImagerEngine& engine) {
    if (engine.m_bActive.load() == 0) return true;
    // The event may have been used up by the main loop; the close's request stays.
    if (engine.m_readerGate.StopRequested()) return true;
    platform::Event* stop = engine.m_hStopEvent.get();
    if (stop == nullptr || !stop->Wait(0)) return false;
    stop->Set();
    return true;
}

// Reads what the driver holds into the reader's buffer; 0 when nothing. The
// queue is asked first: a read of an empty queue would purge the line.
size_t ReadInto(ImagerEngine& engine, FrameReader& reader) {
    // A reader a close left behind finds the port gone.
    if (engine.m_readerGate.IsLeftBehind()) return 0;
    if (reader.Room() == 0 || engine.m_serial.QueuedBytes() <= 0) return 0;
    const int32_t n = engine.m_serial.Read(reader.Tail(), static_cast<int32_t>(reader.Room()));
    if (n <= 0) return 0;
    reader.Append(static_cast<size_t>(n));
    return static_cast<size_t>(n);
}

// After a line event: settle, read, and dispatch every whole frame. Nothing
// is purged here: bytes behind a frame are the next frame. While the search
// waits on the line (a verified end that may still be followed, a head that
// never verified), the reader keeps reading until it can decide.
void TakeBytes(ImagerEngine& engine, FrameReader& reader, EngineLinkActions& actions) {
    engine.m_bIdle = 0;
    // A close under way does not wait for more of a frame.
    if (!engine.m_readerGate.StopRequested()) WaitDispatchingMessages(kSettleMs);
    if (ReadInto(engine, reader) == 0 && reader.Held() == 0) {
        engine.m_bIdle = 1;
        return;
    }
    LineState line = LineState::Busy;
    uint32_t quietSince = platform::GetTickCount();
    for (;;) {
        const FrameReader::Outcome outcome = reader.Process(actions, line);
        if (outcome.frames > 0) engine.m_bIdle = 1;
        if (outcome.wait == SplitWait::None || line == LineState::Quiet || ShouldLetGo(engine)) {
            break;
        }
        WaitDispatchingMessages(outcome.wait == SplitWait::Confirm ? kConfirmMs : kSettleMs);
        if (ReadInto(engine, reader) > 0) {
            line = LineState::Busy;
            quietSince = platform::GetTickCount();
        } else if (platform::GetTickCount() - quietSince >= kQuietLineMs) {
            line = LineState::Quiet;
        } else {
            line = LineState::Paused;
        }
    }
    if (reader.Held() == 0) engine.m_bIdle = 1;
}

}  // namespace

// A reader that a close left behind in the application's callback finds
// the port and the driver taken down when it comes back: it acts no more.

void EngineLinkActions::Acknowledge(uint8_t sequence) {
    if (m_engine.m_readerGate.IsLeftBehind()) return;
    SendAck(m_engine, kTypeAck, sequence);
}

void EngineLinkActions::Deliver(const uint8_t* data, int32_t length) {
    if (m_engine.m_readerGate.IsLeftBehind()) return;
    DeliverBarcode(m_engine, data, length);
}

void EngineLinkActions::Reply(const uint8_t* payload, int32_t length) {
    if (m_engine.m_readerGate.IsLeftBehind()) return;
    PostReply(m_engine, payload, length);
}

void EngineLinkActions::Refuse() {
    if (m_engine.m_readerGate.IsLeftBehind()) return;
    // Stepped back before the command is released, so the command that
    // follows at once reuses the refused number.
    PreviousFrameNumber(m_engine.m_module);
    PostRefusal(m_engine);
}

uint32_t ThreadComProc(ImagerEngine* engine) {
    engine->m_readerGate.Begin();
    WriteLog(u"\t----> [ThreadComProc] Start!!!!!!!\r\n");
    // The buffer is the thread's own; it lives on the heap to keep the
    // thread's stack small.
    auto reader = std::make_unique<FrameReader>();
    EngineLinkActions actions(*engine);
    engine->m_bIdle = 1;
    platform::SerialDevice* device = engine->m_serial.GetHandle();
    bool running = device != nullptr;
    while (running) {
        if (engine->m_readerGate.IsLeftBehind()) break;
        uint32_t events = 0;
        if (device->WaitEvent(&events) != platform::WaitResult::Events || events == 0) {
            running = false;
            break;
        }
        if (engine->m_bActive.load() == 0) {
            // The engine lost power: nothing it was sending will be finished,
            // so what is held goes with what the driver holds.
            WriteLog(u"CLEAR BUFFER\r\n");
            engine->m_serial.Purge();
            reader->Clear();
            continue;
        }
        platform::Event* stop = engine->m_hStopEvent.get();
        if (stop != nullptr && stop->Wait(0) && engine->m_bIdle.load() == 1) {
            WriteLog(u"STOP EVENT\r\n");
            running = false;
            break;
        }
        if ((events & platform::EV_RXCHAR) != 0) TakeBytes(*engine, *reader, actions);
    }
    WriteLog(u"\t----> [ThreadComProc] Stop!!!!!!!\r\n");
    engine->m_readerGate.End();
    return 0;
}

}  // namespace qv

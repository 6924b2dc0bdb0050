// The reader thread: the one thread that reads the serial port while the
// imager is open. It waits for line events, collects the bytes into the
// receive buffer, and carries out what each frame asks for through the link
// actions (acknowledge, deliver a barcode, answer the waiting command).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "link/frame_reader.h"
#include "platform/core/event.h"
#include "platform/core/thread.h"

namespace qv {

class ReaderGate;
class SerialPort;

// Time the reader gives the rest of a frame to arrive after a line event.
inline constexpr uint32_t kSettleMs = 40;
// A verified reply end that is the last byte held is taken once nothing more
// arrived for this long (a few byte times at 57600 baud).
inline constexpr uint32_t kConfirmMs = 2;
// A frame head that never verified is refused once the line has been quiet
// this long.
inline constexpr uint32_t kQuietLineMs = 200;
// How long a close waits for the reader before it may leave it behind.
inline constexpr uint32_t kReaderStopMs = 1000;

class ReaderThread {
  public:
    // Reads `serial` while `active` is 1 (a suspended engine's bytes are
    // dropped), tells `gate` where it stands, and hands frames to `actions`.
    ReaderThread(SerialPort& serial, ReaderGate& gate, LinkActions& actions,
                 const std::atomic<int32_t>& active);
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    // Starts ThreadComProc at the highest priority on the open port. The
    // thread holds `keepAlive` until it returns: with it, a close may leave
    // the reader behind in the application's code, since what the reader
    // still touches stays alive; without it, the close waits for the reader.
    bool Start(std::shared_ptr<const void> keepAlive);

    // Asks the reader to stop (the port's wait must be released first) and
    // waits for it: at most kReaderStopMs while it can be reached, handling
    // what other threads send to this one, since a callback that sends to
    // the closing thread would otherwise never return. True when the reader
    // has ended and is joined; false when it is still inside the
    // application's code and is left to finish on its own.
    bool Stop();

    // The thread's body; returns 0 when it ends: when the port's event mask
    // is cleared (closing), the device hangs up, or the stop event is seen
    // while the reader is between frames.
    uint32_t ThreadComProc();

    std::unique_ptr<platform::Event> m_hStopEvent;
    std::atomic<int32_t> m_bIdle{0};

  private:
    bool ShouldLetGo();
    size_t ReadInto(FrameReader& reader);
    void TakeBytes(FrameReader& reader);

    SerialPort& m_serial;
    ReaderGate& m_gate;
    LinkActions& m_actions;
    const std::atomic<int32_t>& m_active;
    bool m_canLeave = false;
    // Declared last: destroying the reader joins it before what it uses goes.
    platform::Thread m_hComThread;
};

}  // namespace qv

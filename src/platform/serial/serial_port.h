// Serial devices of the platform, "COM2:" and the like.
//
// Opening "NAME:" opens the device at the path in QV_PORT_NAME (read at each
// open, on the opening thread); "COMn:" defaults to /dev/ttyS<n-1>, so
// "COM2:" to /dev/ttyS1. The device is used exclusively (TIOCEXCL and flock)
// and in raw mode.
//
// The operations mirror the serial interface the library was written for:
// a line-state record, an event mask with a wait for line events, queue
// status, purge, DTR. Failures leave their cause in LastError() (an errno).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/clock.h"
#include "platform/platform_api.h"

namespace qv::platform {

// Line events.
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;

// Purge flags.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Parity and stop-bits codes of the line-state record.
inline constexpr uint8_t NOPARITY = 0;
inline constexpr uint8_t ODDPARITY = 1;
inline constexpr uint8_t EVENPARITY = 2;
inline constexpr uint8_t ONESTOPBIT = 0;
inline constexpr uint8_t TWOSTOPBITS = 2;

// DTR and RTS control codes.
inline constexpr uint8_t DTR_CONTROL_DISABLE = 0;
inline constexpr uint8_t DTR_CONTROL_ENABLE = 1;
inline constexpr uint8_t DTR_CONTROL_HANDSHAKE = 2;
inline constexpr uint8_t RTS_CONTROL_DISABLE = 0;
inline constexpr uint8_t RTS_CONTROL_ENABLE = 1;
inline constexpr uint8_t RTS_CONTROL_HANDSHAKE = 2;

// The line-state record, as far as a termios device can express it. The
// device is always raw: no software flow control, which would swallow the
// bytes 0x11 and 0x13 of binary frames.
struct LineState {
    uint32_t length = 28;
    uint32_t baudRate = 0;
    uint8_t byteSize = 8;
    uint8_t parity = NOPARITY;
    uint8_t stopBits = ONESTOPBIT;
    uint8_t dtrControl = DTR_CONTROL_DISABLE;
    uint8_t rtsControl = RTS_CONTROL_DISABLE;
    bool outxCtsFlow = false;
};

// How long a write may take to hand its bytes over and see them sent.
inline constexpr uint32_t kWriteTimeoutMs = 2000;

struct QueueStatus {
    uint32_t inQueue = 0;
    uint32_t outQueue = 0;
};

enum class WaitResult {
    Events,  // the event set is filled; empty when the mask was cleared
    Failed,  // the device hung up or the wait broke down
};

// What a bounded write needs of a line. The device's own goes to the
// terminal; tests put a line of their own in its place.
class QV_PLATFORM_API OutputLine {
  public:
    virtual ~OutputLine() = default;
    // Hands over what the line takes now: the count, 0 when it takes nothing
    // yet, -1 on failure (errno tells).
    virtual int64_t WriteSome(const uint8_t* data, size_t size) = 0;
    // Waits until the line may take more, at most `milliseconds` of library
    // time; false when it failed or hung up (errno tells).
    virtual bool WaitWritable(uint32_t milliseconds) = 0;
    // Bytes handed over but not yet sent; -1 on failure.
    virtual int64_t Unsent() = 0;
    // Drops what was handed over and not yet sent.
    virtual void DiscardUnsent() = 0;
};

// Writes all `size` bytes and waits until they have been sent, within
// `timeoutMs` of library time for both. A line that does not take them or
// does not send them in time (flow control held off, a wedged adapter)
// fails with ETIMEDOUT, and what it still held of them is discarded, so the
// next write starts clean.
QV_PLATFORM_API bool WriteWithin(OutputLine& line, const void* data, uint32_t size,
                                 uint32_t* written, uint32_t timeoutMs);

class QV_PLATFORM_API SerialDevice {
  public:
    // Null when the device cannot be opened (missing, no permission, in use);
    // errno tells, and the debug output has one line naming the path and the
    // cause. A device that is not a terminal opens, says so, and then
    // refuses every line setting.
    static std::unique_ptr<SerialDevice> Open(std::string_view name);
    // The path that Open uses for `name`; empty when none is configured.
    static std::string DevicePath(std::string_view name);

    virtual ~SerialDevice() = default;

    virtual bool GetState(LineState& state) = 0;
    // Sets every line setting of the record and the raw mode, whatever the
    // device held before (Linux keeps a terminal's settings between opens),
    // then reads them back: false (EIO) when the device did not take them.
    virtual bool SetState(const LineState& state) = 0;
    // Reads and clears pending line errors (always 0 here) and the queues.
    virtual bool ClearError(uint32_t* errors, QueueStatus* status) = 0;
    // The kernel sizes its own queues; accepted for the record.
    virtual bool SetupQueues(uint32_t inQueue, uint32_t outQueue) = 0;
    // Clearing the mask (0) releases a pending WaitEvent at once.
    virtual bool SetMask(uint32_t mask) = 0;
    // Blocks until a masked line event, the mask being cleared, or a hang-up.
    // A hang-up is said once on the debug output and marks the device hung up.
    virtual WaitResult WaitEvent(uint32_t* events) = 0;
    // True once the device hung up (it went away); it never comes back.
    virtual bool HungUp() const = 0;
    // Discards queued input. Output is never pending (writes are drained),
    // so the output flags have nothing to discard.
    virtual bool Purge(uint32_t flags) = 0;
    // Drops DTR. A device without modem lines (a pseudo-terminal) reports
    // success, says so on the debug output, and HasModemLines() is false.
    virtual bool ClearDtr() = 0;
    virtual bool HasModemLines() const = 0;
    // Reads up to `size` bytes that are already queued; never waits for more.
    virtual bool Read(void* data, uint32_t size, uint32_t* read) = 0;
    // Writes all bytes and waits until they have left, within kWriteTimeoutMs
    // (WriteWithin), so a stuck line fails the write instead of holding the
    // caller.
    virtual bool Write(const void* data, uint32_t size, uint32_t* written) = 0;
    // For tests: puts `line` in place of the line writes go through and
    // returns the one it replaces. Not while a write is under way.
    virtual std::unique_ptr<OutputLine> SwapOutputLine(std::unique_ptr<OutputLine> line) = 0;
    // The descriptor, for logs.
    virtual int NativeHandle() const = 0;
    // errno of the last failed operation on this thread.
    static int LastError();
};

}  // namespace qv::platform

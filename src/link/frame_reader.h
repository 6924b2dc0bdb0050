// The reader's side of the link as pure logic: the receive buffer, the
// search for whole engine frames in the byte stream, and what each frame
// asks for. No thread and no device: the reader thread feeds it the bytes
// it reads and carries out the actions; tests and the fuzzer record them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

inline constexpr size_t kReceiveBufferSize = 1024;

// What dispatched frames ask of the link.
class LinkActions {
  public:
    virtual ~LinkActions() = default;
    // Acknowledge the engine frame of this sequence number.
    virtual void Acknowledge(uint8_t sequence) = 0;
    // A decoded barcode: code-ID character first, 1..1024 bytes.
    virtual void Deliver(const uint8_t* data, int32_t length) = 0;
    // A reply for the waiting command (its payload, possibly empty).
    virtual void Reply(const uint8_t* payload, int32_t length) = 0;
    // The engine refused the last command.
    virtual void Refuse() = 0;
    // Discard what the driver holds.
    virtual void Purge() = 0;
};

enum class SplitKind {
    NeedMore,  // no whole frame yet
    Frame,     // a frame fills the first `length` bytes
    Drop,      // the first `length` bytes are not the start of a frame
    Refuse,    // the first `length` bytes are a malformed frame
};

enum class RefuseReason {
    None,
    TooShort,            // a full frame of fewer than 7 bytes
    EmptyBarcode,        // BARCODE_DATA without data
    BarcodePastFrame,    // its length runs past the frame's end
    BarcodePastBuffer,   // its length runs past 1024 bytes
    NoStopInFullBuffer,  // 1024 bytes without a frame end
};

struct SplitResult {
    SplitKind kind = SplitKind::NeedMore;
    size_t length = 0;
    // NeedMore with a stop byte whose frame does not check out yet: more
    // bytes may still complete it, else the first stop byte ends it once
    // the line is quiet.
    bool ambiguous = false;
    RefuseReason reason = RefuseReason::None;
};

// Finds the first frame in `data` (`held` bytes). `settled` says that no
// more bytes will come for now (a quiet line); a full buffer counts as
// settled too.
//
// A frame begins with the start byte; bytes ahead of it are dropped. The
// engine's short frames (ACK, NAK, BUSY, RESEND) and unknown types end at
// the first stop byte from offset 3. Full frames (replies, BARCODE_DATA,
// EVENT_NOTIFICATION) end at the first stop byte where the weighted
// checksum verifies, so a 0x02 or 0x03 in a payload or checksum cuts
// nothing; BARCODE_DATA also says by its length how far to wait. A later
// start byte that begins a verified frame ending at the same stop byte
// means the bytes ahead of it were a broken frame, and they are dropped.
// When nothing verifies and the line is settled, the first stop byte ends
// the frame.
SplitResult FindFrame(const uint8_t* data, size_t held, bool settled);

// A frame's payload bounds: from offset 3 to the frame-management byte.
// Refusal when the frame is too short or a BARCODE_DATA length is wrong.
struct FrameContent {
    uint8_t type = 0;
    uint8_t sequence = 0;
    size_t dataOffset = 0;
    size_t dataLength = 0;
    RefuseReason refused = RefuseReason::None;
};
FrameContent ReadFrameContent(const uint8_t* frame, size_t length);

// Carries out one frame (with its log lines); true for the frames after
// which the driver's queue is purged (replies and barcodes).
bool DispatchFrame(const uint8_t* frame, size_t length, LinkActions& actions);

// Moves the bytes from `n` on to the front and zeroes the rest of `count`.
void RemoveFront(uint8_t* buffer, size_t count, size_t n);

// The receive buffer and the frames found in it.
class FrameReader {
  public:
    uint8_t* Tail() { return m_data + m_held; }
    size_t Room() const { return kReceiveBufferSize - m_held; }
    size_t Held() const { return m_held; }
    const uint8_t* Data() const { return m_data; }
    // `n` bytes were read into Tail().
    void Append(size_t n);

    struct Outcome {
        int frames = 0;          // dispatched
        bool ambiguous = false;  // waiting on a frame end that may still come
    };
    // Dispatches every whole frame held, dropping and refusing (with a log
    // line) what cannot be a frame.
    Outcome Process(LinkActions& actions, bool settled);

  private:
    uint8_t m_data[kReceiveBufferSize] = {};
    size_t m_held = 0;
};

}  // namespace qv

// The reader's side of the link as pure logic: the receive buffer, the
// search for whole engine frames in the byte stream, and what each frame
// asks for. No thread and no device: the reader thread feeds it the bytes
// it reads and carries out the actions; tests and the fuzzer record them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qv {

inline constexpr size_t kReceiveBufferSize = 1024;

// What a waiting command makes of a reply frame that may end at a given
// stop byte, for the search of its end.
enum class AnswerFit {
    Unknown,  // no command waits for a reply of this shape: the line decides
    Whole,    // it answers the waiting command whole: it ends here
    Partial,  // the waiting command's answer would be longer: more may follow
};

// What dispatched frames ask of the link.
class LinkActions {
  public:
    virtual ~LinkActions() = default;
    // Acknowledge the engine frame of this sequence number.
    virtual void Acknowledge(uint8_t sequence) = 0;
    // A decoded barcode: code-ID character first, 1..1024 bytes.
    virtual void Deliver(const uint8_t* data, int32_t length) = 0;
    // True when the barcode is one the engine sent again (acknowledged,
    // never delivered twice); asked before Deliver.
    virtual bool IsRepeat(uint8_t /*sequence*/, const uint8_t* /*data*/, int32_t /*length*/) {
        return false;
    }
    // A reply frame of `type` for the waiting command (its payload,
    // possibly empty).
    virtual void Reply(uint8_t type, const uint8_t* payload, int32_t length) = 0;
    // The engine refused the last command.
    virtual void Refuse() = 0;
    // The device went away under the reader (unplugged, hung up): nothing
    // more will come from it.
    virtual void LinkLost() {}
    // How the reply frame of `type` carrying `payload` fits the command
    // that waits; asked while its end is searched.
    virtual AnswerFit FitOfAnswer(uint8_t /*type*/, const uint8_t* /*payload*/, size_t /*length*/) {
        return AnswerFit::Unknown;
    }
};

// What the reader knows of the line when it asks for frames.
enum class LineState {
    Busy,    // bytes may still be arriving behind the last read
    Paused,  // nothing more arrived for a moment after the last read
    Quiet,   // nothing arrived for long: an unfinished frame stays unfinished
};

enum class SplitKind {
    NeedMore,  // no decision without more bytes or a later line state
    Frame,     // a frame fills the first `length` bytes
    Drop,      // the first `length` bytes are ahead of a frame start
    Refuse,    // the first `length` bytes are a frame that cannot be taken
};

enum class RefuseReason {
    None,
    TooShort,            // a full frame of fewer than 7 bytes
    EmptyBarcode,        // BARCODE_DATA without data
    BarcodePastFrame,    // its length runs past the frame's end
    BarcodePastBuffer,   // its length runs past 1024 bytes
    BarcodeBroken,       // the end its length gives is not a verified frame end
    NoVerifiedEnd,       // the line went quiet before its checksum verified
    NoStopInFullBuffer,  // 1024 bytes without a frame end
};

// What the search needs before it can go on.
enum class SplitWait {
    None,     // nothing: all held bytes are decided or wait for a stop byte
    Confirm,  // a verified end is the last byte held: does more follow at once?
    Quiet,    // a frame head that never verified: is the line quiet now?
};

struct SplitResult {
    SplitKind kind = SplitKind::NeedMore;
    size_t length = 0;
    RefuseReason reason = RefuseReason::None;
    SplitWait wait = SplitWait::None;
};

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

// Carries out one frame with its log lines. The line is never purged here:
// what arrived behind a frame is the next frame.
void DispatchFrame(const uint8_t* frame, size_t length, LinkActions& actions);

// Moves the bytes from `n` on to the front and zeroes the rest of `count`.
void RemoveFront(uint8_t* buffer, size_t count, size_t n);

// The receive buffer and the search for frames in it: a state machine over
// the held bytes whose one decision, Next(), says what the front of the
// buffer is. Frames are found incrementally: the checksum of any stretch is
// a constant-time test on running sums kept as bytes arrive, and stop bytes
// already examined are not examined again for the same frame start.
//
// Framing rules, in the order Next() applies them:
// - Bytes ahead of a start byte whose type byte names an engine frame are
//   dropped.
// - ACK, NAK, BUSY and RESEND end at their first stop byte; a known frame
//   start found inside them (a stale head ahead of the real frame) moves the
//   start there.
// - BARCODE_DATA ends where its length field says; nothing inside that
//   length starts a frame. If that end is not a verified frame end, the
//   head is refused.
// - Replies and EVENT_NOTIFICATION end at the first stop byte where the
//   checksum verifies and what follows can begin a frame (a start byte, or
//   nothing: then the reader confirms that nothing follows at once). A
//   reply that answers the waiting command whole ends there at once; one
//   shorter than that answer is given until the line is quiet to go on. A later
//   frame start that verifies the same way means the bytes ahead of it are a
//   broken head; they are dropped. Once the line is quiet, a verified end
//   followed by noise stands, and a head that never verified is refused, so
//   what follows it is found.
// - A buffer that fills without a decision refuses its front.
class FrameReader {
  public:
    FrameReader();

    uint8_t* Tail() { return m_data + m_held; }
    size_t Room() const { return kReceiveBufferSize - m_held; }
    size_t Held() const { return m_held; }
    const uint8_t* Data() const { return m_data; }
    // `n` bytes were read into Tail().
    void Append(size_t n);
    // Forgets everything held (the engine lost power: nothing held can be
    // completed any more).
    void Clear();

    // What the front of the held bytes is. Pure: it logs and dispatches
    // nothing, and only advances the search's own bookkeeping. With
    // `answers`, a reply's end is decided by what the waiting command asked
    // where its content can tell, not by the line's timing.
    SplitResult Next(LineState line, LinkActions* answers = nullptr);
    // Takes the first `n` bytes off the front.
    void Remove(size_t n);

    struct Outcome {
        int frames = 0;  // dispatched
        SplitWait wait = SplitWait::None;
    };
    // Dispatches every whole frame held, dropping and refusing (with a log
    // line) what cannot be a frame.
    Outcome Process(LinkActions& actions, LineState line);

  private:
    // A later frame start that a reply or barcode may begin at.
    struct Candidate {
        uint16_t start;
        uint16_t end;  // barcode: its last byte by the length field; 0 unknown
    };

    bool Verifies(size_t start, size_t end) const;
    // How the reply from `start` to the stop byte at `end` fits the waiting command.
    AnswerFit FitOfAnswer(LinkActions* answers, size_t start, size_t end) const;
    bool CanFollow(size_t end, LineState line) const;
    size_t NextFrameStart(size_t from) const;
    SplitResult FirstEnd(LineState line);
    SplitResult ShortFrame() const;
    SplitResult BarcodeFrame(LineState line) const;
    SplitResult FullFrame(LineState line, LinkActions* answers);
    SplitResult Decide(LineState line);

    uint8_t m_data[kReceiveBufferSize] = {};
    size_t m_held = 0;
    // Running sums of the bytes and of position times byte (modulo 2^32),
    // for the bytes before each position; positions count from m_base.
    std::array<uint32_t, kReceiveBufferSize + 1> m_sum{};
    std::array<uint32_t, kReceiveBufferSize + 1> m_weighted{};
    uint32_t m_base = 0;
    // The reply search: stop bytes before m_scan have been examined, and
    // the later frame starts seen so far.
    size_t m_scan = 0;
    std::array<Candidate, kReceiveBufferSize> m_candidates{};
    size_t m_candidateCount = 0;
    // A frame already found behind bytes dropped ahead of it; its start
    // counts from the same origin as m_base.
    uint32_t m_pendingStart = 0;
    size_t m_pendingLength = 0;
    // Bytes dropped ahead of the next frame start, not logged yet.
    size_t m_skipped = 0;
};

}  // namespace qv

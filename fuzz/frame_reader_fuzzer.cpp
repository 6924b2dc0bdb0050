// Arbitrary byte streams, cut into arbitrary reads, through the reader's
// frame search and dispatch. Besides what the sanitizers catch, it checks
// that every reply or barcode handed over is a frame at the front of the
// buffer whose checksum verifies, acknowledged first with its own sequence
// number; that a NAK is a NAK; that while a query waits, no reply is handed
// over before the line is quiet unless it answers that query; and that
// whatever came before, a valid frame that follows is still found and
// nothing stays stuck in the buffer.
//
// Input: a control byte per read (low six bits + 1 = bytes in the read; bit
// 6 = the line pauses after it, bit 7 = it goes quiet), then that many bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "link/frame.h"
#include "link/frame_reader.h"
#include "link/reply_match.h"

namespace {

using qv::FrameReader;
using qv::LineState;

// The query that waits while the stream arrives; the valid reply answers it.
const std::vector<uint8_t> kAsked = {0x48, 0x48};

class Checker final : public qv::LinkActions {
  public:
    explicit Checker(const FrameReader& reader) : m_reader(reader) {}

    void Acknowledge(uint8_t sequence) override {
        const uint8_t* frame = m_reader.Data();
        if (frame[0] != qv::kStartByte || frame[1] != sequence) std::abort();
        if (!qv::IsFullEngineFrame(frame[2])) std::abort();
        m_acknowledged = frame;
    }
    void Deliver(const uint8_t* data, int32_t length) override {
        const uint8_t* frame = Acknowledged();
        if (frame[2] != static_cast<uint8_t>(qv::EngineFrameType::BARCODE_DATA)) std::abort();
        const auto barcode = qv::DecodeBarcodeLength(frame, m_reader.Held());
        if (!barcode || data != frame + barcode->dataOffset) std::abort();
        if (length < 1 || static_cast<size_t>(length) != barcode->length) std::abort();
        if (!qv::ChecksumMatches(frame, barcode->dataOffset + barcode->length + 4)) std::abort();
        Touch(data, length);
    }
    void Reply(uint8_t type, const uint8_t* payload, int32_t length) override {
        const uint8_t* frame = Acknowledged();
        // A reply the waiting query expects is not cut short by the line's
        // timing: before the line is quiet (and short of a full buffer, which
        // is decided as it stands) only its whole answer is handed over.
        if (type == static_cast<uint8_t>(qv::EngineFrameType::SETUP_REPLY) &&
            line != LineState::Quiet && m_reader.Held() < qv::kReceiveBufferSize &&
            !qv::AnswersCommand(qv::FrameKind::SETUP_QUERY, kAsked, type,
                                {payload, static_cast<size_t>(std::max(length, 0))})) {
            std::abort();
        }
        if (!qv::IsReplyFrame(frame[2]) || payload != frame + 3) std::abort();
        if (length < 0 || static_cast<size_t>(length) + qv::kFrameOverhead > m_reader.Held()) {
            std::abort();
        }
        if (!qv::ChecksumMatches(frame, static_cast<size_t>(length) + qv::kFrameOverhead)) {
            std::abort();
        }
        Touch(payload, length);
    }
    qv::AnswerFit FitOfAnswer(uint8_t type, const uint8_t* payload, size_t length) override {
        return qv::FitOfAnswer(qv::FrameKind::SETUP_QUERY, kAsked, type, {payload, length});
    }
    LineState line = LineState::Busy;  // as the reader last saw it

    void Refuse() override {
        const uint8_t* frame = m_reader.Data();
        if (frame[0] != qv::kStartByte ||
            frame[2] != static_cast<uint8_t>(qv::EngineFrameType::NAK)) {
            std::abort();
        }
    }

  private:
    // The frame at the front, which must have been acknowledged just now.
    const uint8_t* Acknowledged() {
        const uint8_t* frame = m_reader.Data();
        if (m_acknowledged != frame) std::abort();
        m_acknowledged = nullptr;
        return frame;
    }
    // Reads every byte handed over, so a bad span shows under the sanitizers.
    void Touch(const uint8_t* data, int32_t length) {
        for (int32_t i = 0; i < length; ++i)
            m_sum += data[i];
    }
    const FrameReader& m_reader;
    const uint8_t* m_acknowledged = nullptr;
    uint32_t m_sum = 0;
};

// A reply with no 0x02 or 0x03 between its start and stop bytes.
std::vector<uint8_t> ValidReply() {
    std::vector<uint8_t> frame(10);
    const uint8_t payload[] = {0x48, 0x48, 0x42};
    for (uint8_t sequence = 0x20;; ++sequence) {
        qv::WriteCommandFrame(0x50, sequence, 0, payload, sizeof payload, frame.data());
        bool clean = true;
        for (size_t i = 1; i + 1 < frame.size(); ++i) {
            clean = clean && frame[i] != qv::kStartByte && frame[i] != qv::kStopByte;
        }
        if (clean) return frame;
    }
}

int Feed(FrameReader& reader, Checker& checker, const uint8_t* data, size_t size, LineState line) {
    int frames = 0;
    while (size > 0) {
        const size_t n = std::min(size, reader.Room());
        // A full buffer the search left undecided would wedge the reader.
        if (n == 0) std::abort();
        std::memcpy(reader.Tail(), data, n);
        reader.Append(n);
        data += n;
        size -= n;
        checker.line = size == 0 ? line : LineState::Busy;
        frames += reader.Process(checker, checker.line).frames;
    }
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log lines are not what is tested; keep them off the terminal.
    ::setenv("QV_DEBUG_OUTPUT", "/dev/null", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> valid = ValidReply();
    // One reader for every input, emptied first as the reader thread empties
    // it when the engine loses power.
    static const auto reader = std::make_unique<FrameReader>();
    reader->Clear();
    Checker checker(*reader);
    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        const size_t n = std::min<size_t>((control & 0x3F) + 1, size - at);
        const LineState line = (control & 0x80) != 0   ? LineState::Quiet
                               : (control & 0x40) != 0 ? LineState::Paused
                                                       : LineState::Busy;
        Feed(*reader, checker, data + at, n, line);
        if (reader->Held() > qv::kReceiveBufferSize) std::abort();
        at += n;
    }
    // The line goes quiet, then the engine sends a good frame: it must be
    // found, and nothing may be left waiting once the line is quiet again.
    checker.line = LineState::Quiet;
    reader->Process(checker, LineState::Quiet);
    int frames = Feed(*reader, checker, valid.data(), valid.size(), LineState::Paused);
    checker.line = LineState::Quiet;
    frames += reader->Process(checker, LineState::Quiet).frames;
    if (frames < 1 || reader->Held() != 0) std::abort();
    return 0;
}

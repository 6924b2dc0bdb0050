#include "link/frame_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

#include "link/frame.h"
#include "log/write_log.h"
#include "platform/text/text_conversion.h"

namespace qv {
namespace {

enum class FrameClass { Short, Full, Barcode, Unknown };

FrameClass ClassOf(uint8_t type) {
    if (type == static_cast<uint8_t>(EngineFrameType::BARCODE_DATA)) return FrameClass::Barcode;
    if (IsFullEngineFrame(type)) return FrameClass::Full;
    switch (static_cast<EngineFrameType>(type)) {
        case EngineFrameType::RESEND:
        case EngineFrameType::ACK:
        case EngineFrameType::NAK:
        case EngineFrameType::BUSY:
            return FrameClass::Short;
        default:
            return FrameClass::Unknown;
    }
}

// A barcode candidate whose length runs past the buffer never ends.
constexpr uint16_t kNoEnd = 0xFFFF;

std::u16string_view ReasonText(RefuseReason reason) {
    switch (reason) {
        case RefuseReason::TooShort:
            return u"too short";
        case RefuseReason::EmptyBarcode:
            return u"no barcode data";
        case RefuseReason::BarcodePastFrame:
            return u"barcode length past frame";
        case RefuseReason::BarcodePastBuffer:
            return u"barcode length past 1024 bytes";
        case RefuseReason::BarcodeBroken:
            return u"barcode end not verified";
        case RefuseReason::NoVerifiedEnd:
            return u"no verified end";
        case RefuseReason::NoStopInFullBuffer:
            return u"no frame end in 1024 bytes";
        case RefuseReason::None:
            break;
    }
    return u"";
}

SplitResult Step(SplitKind kind, size_t length, RefuseReason reason = RefuseReason::None) {
    return {kind, length, reason, SplitWait::None};
}

SplitResult Wait(SplitWait wait) {
    return {SplitKind::NeedMore, 0, RefuseReason::None, wait};
}

}  // namespace

FrameReader::FrameReader() = default;

void FrameReader::Append(size_t n) {
    n = std::min(n, Room());
    for (size_t i = m_held; i < m_held + n; ++i) {
        const uint32_t byte = m_data[i];
        m_sum[i + 1] = m_sum[i] + byte;
        m_weighted[i + 1] = m_weighted[i] + (m_base + static_cast<uint32_t>(i)) * byte;
    }
    m_held += n;
}

void FrameReader::Clear() {
    std::memset(m_data, 0, m_held);
    m_held = 0;
    m_sum[0] = 0;
    m_weighted[0] = 0;
    m_base = 0;
    m_scan = 0;
    m_candidateCount = 0;
    m_pendingLength = 0;
    m_skipped = 0;
}

void FrameReader::Remove(size_t n) {
    n = std::min(n, m_held);
    if (n == 0) return;
    RemoveFront(m_data, m_held, n);
    std::memmove(m_sum.data(), m_sum.data() + n, (m_held - n + 1) * sizeof(uint32_t));
    std::memmove(m_weighted.data(), m_weighted.data() + n, (m_held - n + 1) * sizeof(uint32_t));
    m_held -= n;
    m_base += static_cast<uint32_t>(n);
    m_scan = m_scan > n ? m_scan - n : 0;
    size_t kept = 0;
    for (size_t i = 0; i < m_candidateCount; ++i) {
        Candidate c = m_candidates[i];
        if (c.start <= n) continue;
        c.start = static_cast<uint16_t>(c.start - n);
        if (c.end != 0 && c.end != kNoEnd) c.end = static_cast<uint16_t>(c.end - n);
        m_candidates[kept++] = c;
    }
    m_candidateCount = kept;
    // A pending frame lives on only while it has not been taken.
    if (m_pendingLength != 0 && static_cast<int32_t>(m_base - m_pendingStart) > 0) {
        m_pendingLength = 0;
    }
}

AnswerFit FrameReader::FitOfAnswer(LinkActions* answers, size_t start, size_t end) const {
    if (answers == nullptr || end + 1 < start + kFrameOverhead) return AnswerFit::Unknown;
    return answers->FitOfAnswer(m_data[start + 2], m_data + start + 3,
                                end + 1 - start - kFrameOverhead);
}

bool FrameReader::Verifies(size_t start, size_t end) const {
    if (end < start + kFrameOverhead - 1) return false;
    if (m_data[start] != kStartByte || m_data[end] != kStopByte) return false;
    // The bytes start+1 .. end-3 weigh (end - 2) - j each.
    const uint32_t plain = m_sum[end - 2] - m_sum[start + 1];
    const uint32_t indexed = m_weighted[end - 2] - m_weighted[start + 1];
    const uint32_t sum = (m_base + static_cast<uint32_t>(end) - 2) * plain - indexed;
    const uint32_t found = (static_cast<uint32_t>(m_data[end - 2]) << 8) | m_data[end - 1];
    return (sum & 0xFFFFu) == found;
}

size_t FrameReader::NextFrameStart(size_t from) const {
    for (size_t s = from; s < m_held; ++s) {
        if (m_data[s] != kStartByte) continue;
        // Its type byte not here yet, or naming an engine frame.
        if (s + 2 >= m_held || ClassOf(m_data[s + 2]) != FrameClass::Unknown) return s;
    }
    return m_held;
}

SplitResult FrameReader::ShortFrame() const {
    const void* stop = m_held > 3 ? std::memchr(m_data + 3, kStopByte, m_held - 3) : nullptr;
    if (stop == nullptr) {
        if (m_held < kReceiveBufferSize) return Wait(SplitWait::None);
        return Step(SplitKind::Refuse, NextFrameStart(1), RefuseReason::NoStopInFullBuffer);
    }
    const size_t end = static_cast<size_t>(static_cast<const uint8_t*>(stop) - m_data);
    // A frame start inside it: what lies ahead is a stale head.
    const size_t start = NextFrameStart(1);
    if (start + 3 <= end) return Step(SplitKind::Drop, start);
    return Step(SplitKind::Frame, end + 1);
}

SplitResult FrameReader::BarcodeFrame(LineState line) const {
    const auto barcode = DecodeBarcodeLength(m_data, m_held);
    if (!barcode) return Wait(SplitWait::None);
    const size_t total = barcode->dataOffset + barcode->length + 4;
    if (total > kReceiveBufferSize) {
        return Step(SplitKind::Refuse, NextFrameStart(1), RefuseReason::BarcodePastBuffer);
    }
    if (total > m_held) {
        if (line == LineState::Quiet) {
            return Step(SplitKind::Refuse, NextFrameStart(1), RefuseReason::NoVerifiedEnd);
        }
        return Wait(SplitWait::Quiet);
    }
    if (!Verifies(0, total - 1)) {
        return Step(SplitKind::Refuse, NextFrameStart(1), RefuseReason::BarcodeBroken);
    }
    const FrameContent content = ReadFrameContent(m_data, total);
    if (content.refused != RefuseReason::None) {
        return Step(SplitKind::Refuse, total, content.refused);
    }
    return Step(SplitKind::Frame, total);
}

SplitResult FrameReader::FullFrame(LineState line, LinkActions* answers) {
    for (; m_scan < m_held; ++m_scan) {
        const size_t i = m_scan;
        // A later frame start whose type byte is here.
        if (i >= 3 && m_data[i - 2] == kStartByte) {
            const FrameClass c = ClassOf(m_data[i]);
            if (c == FrameClass::Full || c == FrameClass::Barcode) {
                m_candidates[m_candidateCount++] = {static_cast<uint16_t>(i - 2), 0};
            }
        }
        if (m_data[i] != kStopByte || i + 1 < kFrameOverhead) continue;
        const size_t end = i;
        bool front = Verifies(0, end);
        size_t later = 0;
        for (size_t k = 0; !front && k < m_candidateCount; ++k) {
            Candidate& c = m_candidates[k];
            if (c.start + kFrameOverhead - 1 > end) break;
            if (ClassOf(m_data[c.start + 2]) == FrameClass::Barcode) {
                if (c.end == 0) {
                    const auto barcode = DecodeBarcodeLength(m_data + c.start, end - c.start);
                    const size_t total = barcode->dataOffset + barcode->length + 4;
                    c.end = total > kReceiveBufferSize || c.start + total - 1 >= kNoEnd
                                ? kNoEnd
                                : static_cast<uint16_t>(c.start + total - 1);
                }
                if (c.end == end && Verifies(c.start, end)) {
                    later = c.start;
                    break;
                }
            } else if (Verifies(c.start, end)) {
                later = c.start;
                break;
            }
        }
        if (!front && later == 0) continue;
        // The waiting command's whole answer: nothing of it can follow.
        const AnswerFit fit = FitOfAnswer(answers, 0, end);
        if (front && fit == AnswerFit::Whole) return Step(SplitKind::Frame, end + 1);
        // Short of the answer the waiting query asked for, a checksum that
        // verifies here, for the reply or for a reply that seems to start
        // inside it, is chance until the line is quiet. A full buffer takes
        // no more bytes, so it is decided as it stands.
        if (line != LineState::Quiet && m_held < kReceiveBufferSize &&
            (fit == AnswerFit::Partial ||
             (!front && FitOfAnswer(answers, later, end) == AnswerFit::Partial))) {
            if (end + 1 == m_held) return Wait(SplitWait::Quiet);
            continue;
        }
        // An end inside a reply that has not verified yet counts only where
        // what follows can begin a frame.
        if (end + 1 < m_held) {
            if (m_data[end + 1] != kStartByte) continue;
        } else if (line == LineState::Busy && m_held < kReceiveBufferSize) {
            // A full buffer takes no more bytes: waiting to see what follows
            // would wait for ever.
            return Wait(SplitWait::Confirm);
        }
        if (front) return Step(SplitKind::Frame, end + 1);
        const size_t start = NextFrameStart(1);
        if (start == later) {
            m_pendingStart = m_base + static_cast<uint32_t>(later);
            m_pendingLength = end - later + 1;
        }
        return Step(SplitKind::Drop, start);
    }
    if (m_held == kReceiveBufferSize) {
        return Step(SplitKind::Refuse, NextFrameStart(1), RefuseReason::NoStopInFullBuffer);
    }
    if (std::memchr(m_data + 3, kStopByte, m_held - 3) == nullptr) return Wait(SplitWait::None);
    if (line == LineState::Quiet) {
        // Noise right behind a whole reply: its verified end stands.
        for (size_t end = kFrameOverhead - 1; end < m_held; ++end) {
            if (Verifies(0, end)) return Step(SplitKind::Frame, end + 1);
        }
        return Step(SplitKind::Refuse, NextFrameStart(1), RefuseReason::NoVerifiedEnd);
    }
    return Wait(SplitWait::Quiet);
}

SplitResult FrameReader::Next(LineState line, LinkActions* answers) {
    if (m_pendingLength != 0 && m_pendingStart == m_base) {
        return Step(SplitKind::Frame, m_pendingLength);
    }
    if (m_held == 0) return Wait(SplitWait::None);
    if (m_data[0] != kStartByte) return Step(SplitKind::Drop, NextFrameStart(1));
    if (m_held < 3) return Wait(SplitWait::None);
    switch (ClassOf(m_data[2])) {
        case FrameClass::Short:
            return ShortFrame();
        case FrameClass::Barcode:
            return BarcodeFrame(line);
        case FrameClass::Full:
            return FullFrame(line, answers);
        case FrameClass::Unknown:
            break;
    }
    return Step(SplitKind::Drop, NextFrameStart(1));
}

FrameContent ReadFrameContent(const uint8_t* frame, size_t length) {
    FrameContent content;
    if (length < 3) {
        content.refused = RefuseReason::TooShort;
        return content;
    }
    content.sequence = frame[1];
    content.type = frame[2];
    if (IsReplyFrame(content.type)) {
        if (length < kFrameOverhead) {
            content.refused = RefuseReason::TooShort;
            return content;
        }
        content.dataOffset = 3;
        content.dataLength = length - kFrameOverhead;
    } else if (content.type == static_cast<uint8_t>(EngineFrameType::BARCODE_DATA)) {
        const auto barcode =
            length >= kFrameOverhead ? DecodeBarcodeLength(frame, length - 4) : std::nullopt;
        if (!barcode) {
            content.refused = RefuseReason::TooShort;
        } else if (barcode->length == 0) {
            content.refused = RefuseReason::EmptyBarcode;
        } else if (barcode->dataOffset + barcode->length + 4 > kReceiveBufferSize) {
            content.refused = RefuseReason::BarcodePastBuffer;
        } else if (barcode->dataOffset + barcode->length > length - 4) {
            content.refused = RefuseReason::BarcodePastFrame;
        } else {
            content.dataOffset = barcode->dataOffset;
            content.dataLength = barcode->length;
        }
    } else if (content.type == static_cast<uint8_t>(EngineFrameType::NAK) && length > 3) {
        content.dataOffset = 3;
        content.dataLength = 1;
    }
    return content;
}

void DispatchFrame(const uint8_t* frame, size_t length, LinkActions& actions) {
    const FrameContent content = ReadFrameContent(frame, length);
    if (content.refused != RefuseReason::None) return;
    const uint8_t* data = frame + content.dataOffset;
    const auto dataLength = static_cast<int32_t>(content.dataLength);
    switch (static_cast<EngineFrameType>(content.type)) {
        case EngineFrameType::BARCODE_DATA: {
            WriteLog(u"<== BARCODE_DATA\r\n");
            // Acknowledged before delivery, which may take long (key strokes).
            actions.Acknowledge(content.sequence);
            if (actions.IsRepeat(content.sequence, data, dataLength)) {
                WriteLog(u"<== BARCODE_DATA SENT AGAIN [%d]: acknowledged, not delivered again\r\n",
                         content.sequence);
                return;
            }
            char16_t text[kReceiveBufferSize + 1];
            const size_t units = platform::AnsiToUtf16(
                std::span<const uint8_t>(data, content.dataLength), text, std::size(text));
            WriteLog(u"READ DATA[%s]\r\n", std::u16string_view(text, units));
            actions.Deliver(data, dataLength);
            return;
        }
        case EngineFrameType::SETUP_REPLY:
        case EngineFrameType::RESULT:
        case EngineFrameType::STATUS_REPLY:
        case EngineFrameType::SETUP_PERMISSION_REPLY:
        case EngineFrameType::SETUP_BARCODE_DATA: {
            actions.Acknowledge(content.sequence);
            switch (static_cast<EngineFrameType>(content.type)) {
                case EngineFrameType::SETUP_REPLY:
                    WriteLog(u"<== SETUP_REPLY\r\n");
                    break;
                case EngineFrameType::RESULT:
                    WriteLog(u"<== RESULT\r\n");
                    break;
                case EngineFrameType::STATUS_REPLY:
                    WriteLog(u"<== STATUS_REPLY\r\n");
                    break;
                case EngineFrameType::SETUP_PERMISSION_REPLY:
                    WriteLog(u"<== SETUP_PERMISSION_REPLY\r\n");
                    break;
                default:
                    WriteLog(u"<== SETUP_BARCODE_DATA\r\n");
                    break;
            }
            actions.Reply(content.type, data, dataLength);
            return;
        }
        case EngineFrameType::EVENT_NOTIFICATION:
            WriteLog(u"<== EVENT_NOTIFICATION COME\r\n");
            actions.Acknowledge(content.sequence);
            return;
        case EngineFrameType::ACK:
            WriteLog(u"<== ACK COME\r\n");
            return;
        case EngineFrameType::NAK: {
            const std::u16string_view reason =
                content.dataLength > 0 ? NakReasonText(data[0]) : std::u16string_view();
            actions.Refuse();
            WriteLog(u"<== NAK COME [%s]\r\n", reason);
            return;
        }
        case EngineFrameType::BUSY:
            WriteLog(u"<== BUSY COME\r\n");
            return;
        case EngineFrameType::RESEND:
            WriteLog(u"<== RESEND COME\r\n");
            return;
    }
}

void RemoveFront(uint8_t* buffer, size_t count, size_t n) {
    n = std::min(n, count);
    std::memmove(buffer, buffer + n, count - n);
    std::memset(buffer + (count - n), 0, n);
}

FrameReader::Outcome FrameReader::Process(LinkActions& actions, LineState line) {
    Outcome outcome;
    for (;;) {
        const SplitResult step = Next(line, &actions);
        switch (step.kind) {
            case SplitKind::NeedMore:
                outcome.wait = step.wait;
                return outcome;
            case SplitKind::Drop:
                m_skipped += step.length;
                break;
            case SplitKind::Refuse:
                WriteLog(u"<== FRAME REFUSED [%s] %d BYTES\r\n", ReasonText(step.reason),
                         step.length);
                break;
            case SplitKind::Frame:
                ++outcome.frames;
                DispatchFrame(m_data, step.length, actions);
                break;
        }
        // The one place held bytes go: behind a dispatched frame, whatever
        // it was, the bytes stay; they are the next frame.
        Remove(step.length);
        // Noise that came in several reads is logged once, when the frame
        // start behind it is reached.
        if (m_skipped != 0 && m_held != 0 && m_data[0] == kStartByte) {
            WriteLog(u"<== SKIP %d BYTES BEFORE FRAME START\r\n", m_skipped);
            m_skipped = 0;
        }
    }
}

}  // namespace qv

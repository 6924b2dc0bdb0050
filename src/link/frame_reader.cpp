#include "link/frame_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/write_log.h"
#include "link/frame.h"
#include "platform/text_conversion.h"

namespace qv {
namespace {

enum class FrameClass { Short, Full, Other };

FrameClass ClassOf(uint8_t type) {
    if (IsFullEngineFrame(type)) return FrameClass::Full;
    switch (static_cast<EngineFrameType>(type)) {
        case EngineFrameType::RESEND:
        case EngineFrameType::ACK:
        case EngineFrameType::NAK:
        case EngineFrameType::BUSY:
            return FrameClass::Short;
        default:
            return FrameClass::Other;
    }
}

// Prefix sums that make the checksum test of any stretch of the buffer a
// constant-time step, so the search stays cheap whatever the buffer holds.
class ChecksumIndex {
  public:
    // Sums live on the stack for everything the receive buffer can hold, so
    // the reader's steady state allocates nothing; only a longer stream
    // (never the reader's) falls back to the heap.
    ChecksumIndex(const uint8_t* data, size_t held) : m_data(data) {
        if (held + 1 <= kStackSums) {
            m_s1 = m_stack1.data();
            m_s2 = m_stack2.data();
        } else {
            m_heap1.resize(held + 1);
            m_heap2.resize(held + 1);
            m_s1 = m_heap1.data();
            m_s2 = m_heap2.data();
        }
        m_s1[0] = 0;
        m_s2[0] = 0;
        for (size_t i = 0; i < held; ++i) {
            m_s1[i + 1] = m_s1[i] + data[i];
            m_s2[i + 1] = m_s2[i] + static_cast<uint64_t>(i) * data[i];
        }
    }

    // True when data[start..end] is a full frame whose checksum verifies.
    bool Verifies(size_t start, size_t end) const {
        if (end < start + kFrameOverhead - 1) return false;
        if (m_data[start] != kStartByte || m_data[end] != kStopByte) return false;
        // Bytes start+1 .. end-3, the byte at j weighing (end - 2) - j.
        const uint64_t plain = m_s1[end - 2] - m_s1[start + 1];
        const uint64_t indexed = m_s2[end - 2] - m_s2[start + 1];
        const uint64_t sum = static_cast<uint64_t>(end - 2) * plain - indexed;
        const uint32_t found = (static_cast<uint32_t>(m_data[end - 2]) << 8) | m_data[end - 1];
        return (sum & 0xFFFFu) == found;
    }

  private:
    static constexpr size_t kStackSums = kReceiveBufferSize + 1;
    const uint8_t* m_data;
    uint64_t* m_s1;  // sum of the bytes before i
    uint64_t* m_s2;  // sum of j * byte j before i
    std::array<uint64_t, kStackSums> m_stack1;
    std::array<uint64_t, kStackSums> m_stack2;
    std::vector<uint64_t> m_heap1;
    std::vector<uint64_t> m_heap2;
};

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
        case RefuseReason::NoStopInFullBuffer:
            return u"no frame end in 1024 bytes";
        case RefuseReason::None:
            break;
    }
    return u"";
}

size_t NextStart(const uint8_t* data, size_t held, size_t from) {
    for (size_t i = from; i < held; ++i) {
        if (data[i] == kStartByte) return i;
    }
    return held;
}

SplitResult Framed(const uint8_t* data, size_t length) {
    const FrameContent content = ReadFrameContent(data, length);
    if (content.refused != RefuseReason::None) {
        return {SplitKind::Refuse, length, false, content.refused};
    }
    return {SplitKind::Frame, length, false, RefuseReason::None};
}

}  // namespace

SplitResult FindFrame(const uint8_t* data, size_t held, bool settled) {
    if (held == 0) return {};
    if (data[0] != kStartByte) {
        return {SplitKind::Drop, NextStart(data, held, 1), false, RefuseReason::None};
    }
    if (held < 3) return {};
    const uint8_t type = data[2];
    const FrameClass frameClass = ClassOf(type);
    const bool full = held >= kReceiveBufferSize;
    bool settledNow = settled || full;

    const ChecksumIndex index(data, held);
    std::optional<size_t> firstStop;
    for (size_t end = 3; end < held; ++end) {
        if (data[end] != kStopByte) continue;
        if (!firstStop) firstStop = end;
        if (frameClass == FrameClass::Full && index.Verifies(0, end)) return Framed(data, end + 1);
        // A verified frame that starts later and ends here: what lies ahead
        // of it is a broken frame.
        for (size_t start = 1; start + kFrameOverhead - 1 <= end; ++start) {
            if (data[start] == kStartByte && index.Verifies(start, end)) {
                return {SplitKind::Drop, start, false, RefuseReason::None};
            }
        }
        // Short and unknown frames end at their first stop byte.
        if (frameClass != FrameClass::Full) return Framed(data, end + 1);
    }

    // A full frame with no verified end among the bytes held.
    if (type == static_cast<uint8_t>(EngineFrameType::BARCODE_DATA)) {
        if (const auto length = DecodeBarcodeLength(data, held)) {
            const size_t total = length->dataOffset + length->length + 4;
            if (total > kReceiveBufferSize) {
                return {SplitKind::Refuse, firstStop ? *firstStop + 1 : 1, false,
                        RefuseReason::BarcodePastBuffer};
            }
            // Its end by the length is here and does not check out: more
            // bytes cannot help.
            if (total <= held) settledNow = true;
        }
    }
    if (!settledNow) return {SplitKind::NeedMore, 0, firstStop.has_value(), RefuseReason::None};
    if (firstStop) return Framed(data, *firstStop + 1);
    if (full) {
        return {SplitKind::Refuse, NextStart(data, held, 1), false,
                RefuseReason::NoStopInFullBuffer};
    }
    // No stop byte yet: the rest may come with a later line event.
    return {};
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

bool DispatchFrame(const uint8_t* frame, size_t length, LinkActions& actions) {
    const FrameContent content = ReadFrameContent(frame, length);
    if (content.refused != RefuseReason::None) return false;
    const uint8_t* data = frame + content.dataOffset;
    const auto dataLength = static_cast<int32_t>(content.dataLength);
    switch (static_cast<EngineFrameType>(content.type)) {
        case EngineFrameType::BARCODE_DATA: {
            WriteLog(u"<== BARCODE_DATA\r\n");
            // Acknowledged before delivery, which may take long (key strokes).
            actions.Acknowledge(content.sequence);
            char16_t text[kReceiveBufferSize + 1];
            const size_t units = platform::AnsiToUtf16(
                std::span<const uint8_t>(data, content.dataLength), text, std::size(text));
            WriteLog(u"READ DATA[%s]\r\n", std::u16string_view(text, units));
            actions.Deliver(data, dataLength);
            actions.Purge();
            return true;
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
            actions.Reply(data, dataLength);
            actions.Purge();
            return true;
        }
        case EngineFrameType::EVENT_NOTIFICATION:
            WriteLog(u"<== EVENT_NOTIFICATION COME\r\n");
            actions.Acknowledge(content.sequence);
            return false;
        case EngineFrameType::ACK:
            WriteLog(u"<== ACK COME\r\n");
            return false;
        case EngineFrameType::NAK: {
            const std::u16string_view reason =
                content.dataLength > 0 ? NakReasonText(data[0]) : std::u16string_view();
            actions.Refuse();
            WriteLog(u"<== NAK COME [%s]\r\n", reason);
            return false;
        }
        case EngineFrameType::BUSY:
            WriteLog(u"<== BUSY COME\r\n");
            return false;
        case EngineFrameType::RESEND:
            WriteLog(u"<== RESEND COME\r\n");
            return false;
    }
    return false;
}

void RemoveFront(uint8_t* buffer, size_t count, size_t n) {
    n = std::min(n, count);
    std::memmove(buffer, buffer + n, count - n);
    std::memset(buffer + (count - n), 0, n);
}

void FrameReader::Append(size_t n) {
    m_held = std::min(kReceiveBufferSize, m_held + n);
}

FrameReader::Outcome FrameReader::Process(LinkActions& actions, bool settled) {
    Outcome outcome;
    for (;;) {
        const SplitResult step = FindFrame(m_data, m_held, settled);
        switch (step.kind) {
            case SplitKind::NeedMore:
                outcome.ambiguous = step.ambiguous;
                return outcome;
            case SplitKind::Drop:
                WriteLog(u"<== SKIP %d BYTES BEFORE FRAME START\r\n", step.length);
                RemoveFront(m_data, m_held, step.length);
                m_held -= step.length;
                break;
            case SplitKind::Refuse:
                WriteLog(u"<== FRAME REFUSED [%s] %d BYTES\r\n", ReasonText(step.reason),
                         step.length);
                RemoveFront(m_data, m_held, step.length);
                m_held -= step.length;
                break;
            case SplitKind::Frame:
                ++outcome.frames;
                DispatchFrame(m_data, step.length, actions);
                // Bytes behind the frame were received whole and are kept,
                // even behind a reply or a barcode: they are the next frame.
                RemoveFront(m_data, m_held, step.length);
                m_held -= step.length;
                break;
        }
    }
}

}  // namespace qv

#include "link/frame.h"

#include <atomic>
#include <cstring>

#include "log/write_log.h"
#include "power/module_control.h"

namespace qv {
namespace {

// Process-wide, as on the device: every engine object of the process
// continues the same sequence.
std::atomic<uint8_t> g_sequence{17};

constexpr uint8_t kFirstSequence = 17;
constexpr uint8_t kSingleFrame = 0x60;  // multi-frame first and last bits
constexpr uint32_t kFrameNumberMask = 0x07;

}  // namespace

bool IsFullEngineFrame(uint8_t type) {
    return IsReplyFrame(type) || type == static_cast<uint8_t>(EngineFrameType::BARCODE_DATA) ||
           type == static_cast<uint8_t>(EngineFrameType::EVENT_NOTIFICATION);
}

bool IsReplyFrame(uint8_t type) {
    switch (static_cast<EngineFrameType>(type)) {
        case EngineFrameType::SETUP_REPLY:
        case EngineFrameType::RESULT:
        case EngineFrameType::STATUS_REPLY:
        case EngineFrameType::SETUP_PERMISSION_REPLY:
        case EngineFrameType::SETUP_BARCODE_DATA:
            return true;
        default:
            return false;
    }
}

std::u16string_view NakReasonText(uint8_t code) {
    switch (code) {
        case 0x20:
            return u"<== Multi-frame error";
        case 0x30:
            return u"<== frame number error";
        case 0x40:
            return u"<== not implement";
        case 0x50:
            return u"<== bad checksum";
        default:
            return u"";
    }
}

uint32_t WeightedSum(const uint8_t* frame, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 1; i < count; ++i) {
        sum += static_cast<uint32_t>(frame[i]) * static_cast<uint32_t>(count - i);
    }
    return sum;
}

void MakeCheckSum(const uint8_t* frame, size_t count, uint8_t out[2]) {
    const uint32_t checksum = WeightedSum(frame, count) & 0xFFFFu;
    out[0] = static_cast<uint8_t>(checksum >> 8);
    out[1] = static_cast<uint8_t>(checksum & 0xFF);
}

bool VerifyCheckSum(const uint8_t* frame, size_t length, uint8_t first, uint8_t second) {
    const size_t count = length >= 3 ? length - 3 : 0;
    const uint32_t total = WeightedSum(frame, count);
    uint8_t expected[2];
    MakeCheckSum(frame, count, expected);
    if (expected[0] == first && expected[1] == second) return true;
    WriteLog(u"FIRST 0x%02X SECOND 0x%02X\r\n", first, second);
    WriteLog(u"FIRST 0x%02X SECOND 0x%02X\r\n", expected[0], expected[1]);
    WriteLog(u"nLength [%d] TOTAL [%u] CHECK SUM [0x%04X]\r\n", length, total, total & 0xFFFFu);
    return false;
}

bool ChecksumMatches(const uint8_t* frame, size_t length) {
    if (length < kFrameOverhead || frame[length - 1] != kStopByte) return false;
    uint8_t expected[2];
    MakeCheckSum(frame, length - 3, expected);
    return expected[0] == frame[length - 3] && expected[1] == frame[length - 2];
}

uint8_t SequenceAfter(uint8_t sequence) {
    return sequence == 255 ? kFirstSequence : static_cast<uint8_t>(sequence + 1);
}

uint8_t NextSequence() {
    uint8_t current = g_sequence.load();
    while (!g_sequence.compare_exchange_weak(current, SequenceAfter(current))) {
    }
    return SequenceAfter(current);
}

uint32_t NextFrameNumber(ModuleControl& module) {
    uint32_t current = module.m_frameNo.load();
    uint32_t next;
    do {
        next = (current + 1) & kFrameNumberMask;
    } while (!module.m_frameNo.compare_exchange_weak(current, next));
    return next;
}

uint32_t PreviousFrameNumber(ModuleControl& module) {
    uint32_t current = module.m_frameNo.load();
    uint32_t previous;
    do {
        previous = (current + kFrameNumberMask) & kFrameNumberMask;
    } while (!module.m_frameNo.compare_exchange_weak(current, previous));
    return previous;
}

size_t WriteCommandFrame(uint8_t type, uint8_t sequence, uint32_t frameNumber,
                         const uint8_t* payload, size_t length, uint8_t* buffer) {
    buffer[0] = kStartByte;
    buffer[1] = sequence;
    buffer[2] = type;
    if (length > 0) std::memcpy(buffer + 3, payload, length);
    buffer[3 + length] = static_cast<uint8_t>(kSingleFrame | (frameNumber & kFrameNumberMask));
    MakeCheckSum(buffer, 4 + length, buffer + 4 + length);
    buffer[6 + length] = kStopByte;
    return length + kFrameOverhead;
}

int32_t BuildFrame(FrameKind kind, const uint8_t* payload, int32_t length, uint8_t* buffer,
                   ModuleControl& module) {
    buffer[0] = kStartByte;
    if (kind == FrameKind::ACK || kind == FrameKind::NAK) {
        if (length != 1 || payload == nullptr) return -1;
        buffer[1] = payload[0];
        buffer[2] = kind == FrameKind::ACK ? kTypeAck : kTypeNak;
        buffer[3] = 0x00;
        buffer[4] = kStopByte;
        return static_cast<int32_t>(kAckFrameLength);
    }
    // The counter advances before the kind is checked, as it always has.
    const uint8_t sequence = NextSequence();
    uint8_t type;
    switch (kind) {
        case FrameKind::SETUP_COMMAND:
            type = kTypeSetupCommand;
            break;
        case FrameKind::SETUP_QUERY:
            type = kTypeSetupQuery;
            break;
        case FrameKind::RESET_COMMAND:
            type = kTypeResetCommand;
            break;
        case FrameKind::STATUS_QUERY:
            type = kTypeStatusQuery;
            break;
        default:
            return -1;
    }
    // A payload that cannot fit the transmit buffer is a caller's fault;
    // refuse it rather than write past the buffer.
    if (length < 0 || static_cast<size_t>(length) > kMaxFrameLength - kFrameOverhead ||
        (length > 0 && payload == nullptr)) {
        return -1;
    }
    const uint32_t frameNumber = NextFrameNumber(module);
    return static_cast<int32_t>(WriteCommandFrame(type, sequence, frameNumber, payload,
                                                  static_cast<size_t>(length), buffer));
}

std::optional<BarcodeLength> DecodeBarcodeLength(const uint8_t* frame, size_t available) {
    if (available < 5) return std::nullopt;
    const size_t high = frame[3];
    if (frame[4] != kEscapeByte) return BarcodeLength{high * 256 + frame[4], 5};
    if (available < 6) return std::nullopt;
    const uint8_t low = static_cast<uint8_t>(frame[5] - 0x40);
    return BarcodeLength{high * 256 + low, 6};
}

}  // namespace qv

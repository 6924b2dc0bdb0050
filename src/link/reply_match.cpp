#include "link/reply_match.h"

#include <bitset>

namespace qv {
namespace {

// True when an answer's content alone shows that the frame ends here.
bool AnswerIsWhole(FrameKind kind, uint8_t type, std::span<const uint8_t> payload) {
    if (type == static_cast<uint8_t>(EngineFrameType::SETUP_REPLY)) {
        return kind == FrameKind::SETUP_QUERY;
    }
    return type == static_cast<uint8_t>(EngineFrameType::RESULT) && payload.size() == 1 &&
           (kind == FrameKind::SETUP_COMMAND || kind == FrameKind::RESET_COMMAND);
}

}  // namespace

bool AnswersPairs(std::span<const uint8_t> asked, std::span<const uint8_t> reply) {
    if (reply.size() > kReceiveBufferSize) return false;
    // The offsets in `reply` where the next entry may start; a value's width
    // is not known here, so both are followed.
    std::bitset<kReceiveBufferSize + 1> at;
    at.set(0);
    for (size_t pair = 0; pair + 1 < asked.size(); pair += 2) {
        std::bitset<kReceiveBufferSize + 1> next;
        for (size_t pos = 0; pos + 3 <= reply.size(); ++pos) {
            if (!at.test(pos) || reply[pos] != asked[pair] || reply[pos + 1] != asked[pair + 1]) {
                continue;
            }
            next.set(pos + 3);
            if (pos + 4 <= reply.size()) next.set(pos + 4);
        }
        if (next.none()) return false;
        at = next;
    }
    return at.test(reply.size());
}

bool AnswersCommand(FrameKind kind, std::span<const uint8_t> asked, uint8_t type,
                    std::span<const uint8_t> payload) {
    switch (static_cast<EngineFrameType>(type)) {
        case EngineFrameType::SETUP_REPLY:
            return kind == FrameKind::SETUP_QUERY && AnswersPairs(asked, payload);
        case EngineFrameType::RESULT:
        case EngineFrameType::SETUP_PERMISSION_REPLY:
        case EngineFrameType::SETUP_BARCODE_DATA:
            return kind == FrameKind::SETUP_COMMAND || kind == FrameKind::RESET_COMMAND;
        case EngineFrameType::STATUS_REPLY:
            return kind == FrameKind::STATUS_QUERY;
        default:
            return false;
    }
}

AnswerFit FitOfAnswer(FrameKind kind, std::span<const uint8_t> asked, uint8_t type,
                      std::span<const uint8_t> payload) {
    if (AnswerIsWhole(kind, type, payload) && AnswersCommand(kind, asked, type, payload)) {
        return AnswerFit::Whole;
    }
    if (kind == FrameKind::SETUP_QUERY &&
        type == static_cast<uint8_t>(EngineFrameType::SETUP_REPLY)) {
        return AnswerFit::Partial;
    }
    return AnswerFit::Unknown;
}

}  // namespace qv

#include "symbology/module_maintenance.h"

#include <algorithm>
#include <array>
#include <string>

#include "log/write_log.h"
#include "platform/core/clock.h"
#include "platform/text/text_conversion.h"
#include "symbology/module_payloads.h"

namespace qv {
namespace {

constexpr size_t kVersionUnits = kVersionTextBytes + 1;

void PutText(char16_t* out, const std::string& bytes) {
    platform::AnsiToUtf16(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), out,
        kVersionUnits);
}

}  // namespace

int32_t IsInit(CommandPort& port) {
    std::array<uint8_t, kPayloadBufferSize> reply{};
    int32_t replyLength = 0;
    if (port.Send(FrameKind::SETUP_QUERY, kIsInitQuery.data(),
                  static_cast<int32_t>(kIsInitQuery.size()), reply.data(), &replyLength) == 0) {
        WriteLog(u"IsInit is false\r\n");
        return 0;
    }
    replyLength = std::clamp<int32_t>(replyLength, 0, static_cast<int32_t>(reply.size()));
    if (!ReplyShowsInitialised(reply.data(), replyLength)) return 0;
    WriteLog(u"IsInit is success\r\n");
    return 1;
}

void InitModule(CommandPort& port) {
    std::array<uint8_t, kPayloadBufferSize> payload{};
    int32_t length = 0;
    if (MakeInitPayload(payload, length) == 0) return;
    std::array<uint8_t, kPayloadBufferSize> reply{};
    int32_t replyLength = 0;
    WriteLog(u"Init module\r\n");
    port.Send(FrameKind::SETUP_COMMAND, payload.data(), length, reply.data(), &replyLength);
}

void SendTestCommand(CommandPort& port) {
    port.Send(FrameKind::SETUP_COMMAND, kTestCommand.data(),
              static_cast<int32_t>(kTestCommand.size()), nullptr, nullptr);
}

void SendFactoryReset(CommandPort& port) {
    port.Send(FrameKind::RESET_COMMAND, kFactoryReset.data(),
              static_cast<int32_t>(kFactoryReset.size()), nullptr, nullptr);
}

void FactoryReset(CommandPort& port) {
    SendFactoryReset(port);
    platform::Sleep(kFactoryResetPauseMs);
    InitModule(port);
}

int32_t ReadVersion(CommandPort& port, char16_t* first, char16_t* second, char16_t* third) {
    std::array<uint8_t, kPayloadBufferSize> reply{};
    int32_t replyLength = 0;
    if (port.Send(FrameKind::STATUS_QUERY, kVersionQuery.data(),
                  static_cast<int32_t>(kVersionQuery.size()), reply.data(), &replyLength) == 0) {
        // Three empty texts rather than whatever the buffers held, which
        // need not even be terminated.
        first[0] = second[0] = third[0] = u'\0';
        return 0;
    }
    replyLength = std::clamp<int32_t>(replyLength, 0, static_cast<int32_t>(reply.size()));
    const std::array<std::string, 3> texts = ParseVersionReply(reply.data(), replyLength);
    PutText(first, texts[0]);
    PutText(second, texts[1]);
    PutText(third, texts[2]);
    return 1;
}

}  // namespace qv

#include "link/command_exchange.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "link/reply_match.h"
#include "link/serial_port.h"
#include "log/write_log.h"
#include "platform/core/last_failure.h"
#include "power/module_control.h"

namespace qv {
namespace {

const char* KindName(FrameKind kind) {
    switch (kind) {
        case FrameKind::ACK:
            return "ACK";
        case FrameKind::NAK:
            return "NAK";
        case FrameKind::SETUP_COMMAND:
            return "SETUP_COMMAND";
        case FrameKind::SETUP_QUERY:
            return "SETUP_QUERY";
        case FrameKind::RESET_COMMAND:
            return "RESET_COMMAND";
        case FrameKind::STATUS_QUERY:
            return "STATUS_QUERY";
    }
    return "unknown";
}

}  // namespace

CommandExchange::CommandExchange(SerialPort& serial, ModuleControl& module)
    : m_serial(serial), m_module(module) {}

void CommandExchange::OpenResponses() {
    std::lock_guard lock(m_recvLock);
    m_hRespEvent = std::make_unique<platform::Event>();
}

void CommandExchange::CloseResponses() {
    std::lock_guard lock(m_recvLock);
    m_hRespEvent.reset();
}

// Called under m_sendLock right before a command is written: a reply or
// NAK that came after an earlier command gave up must not answer this one,
// and only a reply that answers this command will.
void CommandExchange::ExpectReply(FrameKind kind, const uint8_t* payload, int32_t length) {
    std::lock_guard lock(m_recvLock);
    if (m_hRespEvent && m_bLost.load() == 0) m_hRespEvent->Reset();
    m_recvLen = 0;
    m_waiting = true;
    m_waitingKind = kind;
    m_askedLength = payload == nullptr ? 0 : std::clamp<size_t>(length, 0, sizeof m_asked);
    if (m_askedLength > 0) std::memcpy(m_asked, payload, m_askedLength);
}

void CommandExchange::StopExpecting() {
    std::lock_guard lock(m_recvLock);
    m_waiting = false;
}

void CommandExchange::StoreReplyLocked(const uint8_t* data, int32_t length) {
    if (data == nullptr) {
        WriteLog(u"pData is null\r\n");
        m_recvLen = length;
        return;
    }
    // The reader never hands more than a frame; clamp all the same so a bad
    // length can never run past the store.
    const int32_t n = std::clamp<int32_t>(length, 0, static_cast<int32_t>(kFrameBufferSize));
    std::memset(m_recvData, 0, sizeof m_recvData);
    if (n > 0) std::memcpy(m_recvData, data, static_cast<size_t>(n));
    m_recvLen = n;
}

int32_t CommandExchange::SendCommand(FrameKind kind, const uint8_t* payload, int32_t length,
                                     uint8_t* reply, int32_t* replyLength, bool noWait) {
    {
        std::lock_guard lock(m_sendLock);
        // A line that hung up takes nothing: fail before the wake pulse.
        if (m_serial.IsHungUp() || m_bLost.load() != 0) {
            WriteLog(u"SERAIL : WriteComblock Fail\r\n");
            platform::SetLastFailure(ENODEV, m_serial.Name() +
                                                 ": the line hung up (device gone); " +
                                                 KindName(kind) + " not sent");
            return 0;
        }
        std::memset(m_sendBuf, 0, sizeof m_sendBuf);
        // The pulse belongs to the frame it wakes the engine for, so it is
        // inside the step too.
        m_module.WakePulse();
        const int32_t n = BuildFrame(kind, payload, length, m_sendBuf, m_module);
        if (n < 0) {
            platform::SetLastFailure(
                EINVAL, std::string(KindName(kind)) + ": payload too long for a frame");
            return 0;
        }
        if (!noWait) {
            if (!VerifyCheckSum(m_sendBuf, static_cast<size_t>(n), m_sendBuf[n - 3],
                                m_sendBuf[n - 2])) {
                WriteLog(u"IN CORRECT CHECK SUM\r\n");
            }
            ExpectReply(kind, payload, length);
        }
        if (!m_serial.WriteComblock(m_sendBuf, n)) {
            WriteLog(u"SERAIL : WriteComblock Fail\r\n");
            if (!noWait) StopExpecting();
            return 0;
        }
    }
    if (noWait) return 0;
    const int32_t result = WaitResponse(kResponseTimeoutMs, reply, replyLength);
    // Whatever comes for this command from now on comes too late.
    StopExpecting();
    if (result == 0) {
        WriteLog(u"SERAIL : WaitResponse Fail\r\n");
        if (m_recvLen.load() == -1) {
            platform::SetLastFailure(EIO, m_serial.Name() + ": the engine refused the " +
                                              KindName(kind) + " command (NAK)");
        } else {
            platform::SetLastFailure(ETIMEDOUT, m_serial.Name() +
                                                    ": no answer from the engine within " +
                                                    std::to_string(kResponseTimeoutMs) +
                                                    " ms to a " + KindName(kind) + " command");
        }
    }
    return result;
}

int32_t CommandExchange::WaitResponse(uint32_t timeoutMs, uint8_t* reply, int32_t* replyLength) {
    if (!m_hRespEvent || !m_hRespEvent->Wait(timeoutMs)) {
        WriteLog(u"TIME OUT!!!!\r\n");
        return 0;
    }
    if (m_bLost.load() != 0) {
        WriteLog(u"DEVICE LOST: no reply will come\r\n");
        return 0;
    }
    if (reply == nullptr || replyLength == nullptr) return 1;
    std::lock_guard lock(m_recvLock);
    const int32_t length = m_recvLen.load();
    if (length == -1) {
        WriteLog(u"NAK\r\n");
        return 0;
    }
    const int32_t n = std::clamp<int32_t>(length, 0, static_cast<int32_t>(kFrameBufferSize));
    if (n > 0) std::memcpy(reply, m_recvData, static_cast<size_t>(n));
    *replyLength = n;
    return 1;
}

void CommandExchange::DeviceLost() {
    std::lock_guard lock(m_recvLock);
    m_bLost = 1;
    // Ends the wait under way; a later command fails before it writes.
    if (m_hRespEvent) m_hRespEvent->Set();
}

void CommandExchange::SendAck(uint8_t code, uint8_t sequence) {
    if (code == kTypeAck) WriteLog(u"==> ACK SEND\r\n");
    uint8_t scratch[kFrameBufferSize];
    int32_t scratchLength = 0;
    (void)SendCommand(code == kTypeAck ? FrameKind::ACK : FrameKind::NAK, &sequence, 1, scratch,
                      &scratchLength, true);
}

void CommandExchange::StoreReply(const uint8_t* data, int32_t length) {
    std::lock_guard lock(m_recvLock);
    StoreReplyLocked(data, length);
}

void CommandExchange::PostReply(uint8_t type, const uint8_t* data, int32_t length) {
    std::lock_guard lock(m_recvLock);
    if (!m_waiting) {
        WriteLog(u"<== REPLY DROPPED: no command waits for it\r\n");
        return;
    }
    const auto payload = std::span<const uint8_t>(
        data, data == nullptr ? 0 : static_cast<size_t>(std::max(length, 0)));
    if (!AnswersCommand(m_waitingKind, std::span<const uint8_t>(m_asked, m_askedLength), type,
                        payload)) {
        WriteLog(u"<== REPLY DROPPED: it does not answer the waiting command\r\n");
        return;
    }
    m_waiting = false;
    StoreReplyLocked(data, length);
    if (m_hRespEvent) m_hRespEvent->Set();
}

void CommandExchange::PostRefusal() {
    std::lock_guard lock(m_recvLock);
    if (!m_waiting) {
        WriteLog(u"<== NAK DROPPED: no command waits for it\r\n");
        return;
    }
    m_waiting = false;
    // Stepped back before the command is released, so the command that
    // follows at once reuses the refused number.
    PreviousFrameNumber(m_module);
    StoreReplyLocked(nullptr, -1);
    if (m_hRespEvent) m_hRespEvent->Set();
}

AnswerFit CommandExchange::FitOfAnswer(uint8_t type, const uint8_t* payload, size_t length) {
    std::lock_guard lock(m_recvLock);
    if (!m_waiting) return AnswerFit::Unknown;
    return qv::FitOfAnswer(m_waitingKind, std::span<const uint8_t>(m_asked, m_askedLength), type,
                           std::span<const uint8_t>(payload, length));
}

}  // namespace qv

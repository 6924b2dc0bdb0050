#include "link/command_exchange.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/imager_engine.h"
#include "engine/write_log.h"

namespace qv {
namespace {

// Called under m_sendLock right before a command is written: a reply or
// NAK that came after an earlier command gave up must not answer this one.
void ExpectReply(ImagerEngine& engine) {
    std::lock_guard lock(engine.m_recvLock);
    if (engine.m_hRespEvent) engine.m_hRespEvent->Reset();
    engine.m_recvLen = 0;
}

void StoreReplyLocked(ImagerEngine& engine, const uint8_t* data, int32_t length) {
    if (data == nullptr) {
        WriteLog(u"pData is null\r\n");
        engine.m_recvLen = length;
        return;
    }
    // The reader never hands more than a frame; clamp all the same so a bad
    // length can never run past the store.
    const int32_t n = std::clamp<int32_t>(length, 0, static_cast<int32_t>(kFrameBufferSize));
    std::memset(engine.m_recvData, 0, sizeof engine.m_recvData);
    if (n > 0) std::memcpy(engine.m_recvData, data, static_cast<size_t>(n));
    engine.m_recvLen = n;
}

}  // namespace

int32_t SendCommand(ImagerEngine& engine, FrameKind kind, const uint8_t* payload, int32_t length,
                    uint8_t* reply, int32_t* replyLength, bool noWait) {
    {
        std::lock_guard lock(engine.m_sendLock);
        // A line that hung up takes nothing: fail before the wake pulse.
        if (engine.m_serial.IsHungUp()) {
            WriteLog(u"SERAIL : WriteComblock Fail\r\n");
            return 0;
        }
        std::memset(engine.m_sendBuf, 0, sizeof engine.m_sendBuf);
        // The pulse belongs to the frame it wakes the engine for, so it is
        // inside the step too.
        engine.m_module.WakePulse();
        const int32_t n = BuildFrame(kind, payload, length, engine.m_sendBuf, engine.m_module);
        if (n < 0) return 0;
        if (!noWait) {
            if (!VerifyCheckSum(engine.m_sendBuf, static_cast<size_t>(n), engine.m_sendBuf[n - 3],
                                engine.m_sendBuf[n - 2])) {
                WriteLog(u"IN CORRECT CHECK SUM\r\n");
            }
            ExpectReply(engine);
        }
        if (!engine.m_serial.WriteComblock(engine.m_sendBuf, n)) {
            WriteLog(u"SERAIL : WriteComblock Fail\r\n");
            return 0;
        }
    }
    if (noWait) return 0;
    const int32_t result = WaitResponse(engine, kResponseTimeoutMs, reply, replyLength);
    if (result == 0) WriteLog(u"SERAIL : WaitResponse Fail\r\n");
    return result;
}

int32_t WaitResponse(ImagerEngine& engine, uint32_t timeoutMs, uint8_t* reply,
                     int32_t* replyLength) {
    if (!engine.m_hRespEvent || !engine.m_hRespEvent->Wait(timeoutMs)) {
        WriteLog(u"TIME OUT!!!!\r\n");
        return 0;
    }
    if (reply == nullptr || replyLength == nullptr) return 1;
    std::lock_guard lock(engine.m_recvLock);
    const int32_t length = engine.m_recvLen.load();
    if (length == -1) {
        WriteLog(u"NAK\r\n");
        return 0;
    }
    const int32_t n = std::clamp<int32_t>(length, 0, static_cast<int32_t>(kFrameBufferSize));
    if (n > 0) std::memcpy(reply, engine.m_recvData, static_cast<size_t>(n));
    *replyLength = n;
    return 1;
}

void SendAck(ImagerEngine& engine, uint8_t code, uint8_t sequence) {
    if (code == kTypeAck) WriteLog(u"==> ACK SEND\r\n");
    uint8_t scratch[kFrameBufferSize];
    int32_t scratchLength = 0;
    (void)SendCommand(engine, code == kTypeAck ? FrameKind::ACK : FrameKind::NAK, &sequence, 1,
                      scratch, &scratchLength, true);
}

void StoreReply(ImagerEngine& engine, const uint8_t* data, int32_t length) {
    std::lock_guard lock(engine.m_recvLock);
    StoreReplyLocked(engine, data, length);
}

void PostReply(ImagerEngine& engine, const uint8_t* data, int32_t length) {
    std::lock_guard lock(engine.m_recvLock);
    StoreReplyLocked(engine, data, length);
    if (engine.m_hRespEvent) engine.m_hRespEvent->Set();
}

void PostRefusal(ImagerEngine& engine) {
    std::lock_guard lock(engine.m_recvLock);
    StoreReplyLocked(engine, nullptr, -1);
    if (engine.m_hRespEvent) engine.m_hRespEvent->Set();
}

}  // namespace qv

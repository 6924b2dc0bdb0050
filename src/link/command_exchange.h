// The one way to talk to the engine: wake it, send one frame, and for a
// command wait for the reply that the reader thread posts here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "link/command_port.h"
#include "link/frame.h"
#include "link/frame_reader.h"
#include "platform/core/event.h"

namespace qv {

class ModuleControl;
class SerialPort;

inline constexpr size_t kFrameBufferSize = 1024;
inline constexpr uint32_t kResponseTimeoutMs = 3000;

class CommandExchange final : public CommandPort {
  public:
    // Frames go out on `serial`, each behind a wake pulse of `module`, whose
    // frame number they carry.
    CommandExchange(SerialPort& serial, ModuleControl& module);
    CommandExchange(const CommandExchange&) = delete;
    CommandExchange& operator=(const CommandExchange&) = delete;

    // The response event exists while the link is open: created before the
    // reader can post a reply, dropped once no reader can post any more.
    // Without it a command's wait fails at once.
    void OpenResponses();
    void CloseResponses();

    // A command that waits for its reply.
    int32_t Send(FrameKind kind, const uint8_t* payload, int32_t length, uint8_t* reply,
                 int32_t* replyLength) override {
        return SendCommand(kind, payload, length, reply, replyLength, false);
    }

    // Sends one frame of `kind`. Commands (no-wait clear) wait up to 3000 ms
    // for the engine's reply and return 1 when it came; `reply` (1024 bytes)
    // and `replyLength` receive its payload when both are given, and a NAK
    // then fails the command. With no-wait set the frame is only written and
    // the result is 0. Failures return 0 and are logged.
    int32_t SendCommand(FrameKind kind, const uint8_t* payload, int32_t length, uint8_t* reply,
                        int32_t* replyLength, bool noWait);
    // Waits for the reader to report a reply or a NAK; SendCommand's second half.
    int32_t WaitResponse(uint32_t timeoutMs, uint8_t* reply, int32_t* replyLength);
    // Acknowledges (0x06) or refuses an engine frame of the given sequence number.
    void SendAck(uint8_t code, uint8_t sequence);

    // The reader's side. StoreReply writes the store alone: a payload, or
    // (data null) the refusal mark -1. PostReply stores a reply of `type`
    // and releases the waiting command, as one step with respect to a
    // command that clears the store before it writes; a reply that answers
    // no waiting command is logged and dropped. PostRefusal does the same
    // for an engine NAK, after stepping the frame number back so the next
    // command reuses the refused number.
    void StoreReply(const uint8_t* data, int32_t length);
    void PostReply(uint8_t type, const uint8_t* data, int32_t length);
    void PostRefusal();
    // The engine's device went away: the command waiting now fails at once,
    // and every later one before it is written. For good: a new open makes
    // a new exchange.
    void DeviceLost();
    bool IsLost() const { return m_bLost.load() != 0; }
    // For the reader's framing: how a reply frame of `type` ending here
    // fits the waiting command.
    AnswerFit FitOfAnswer(uint8_t type, const uint8_t* payload, size_t length);

    uint8_t m_sendBuf[kFrameBufferSize] = {};
    // Building and writing a frame is one step under this lock, so a command
    // of the application's thread and an acknowledgement of the reader never
    // mix in m_sendBuf or on the line. The wait for the reply is outside it.
    std::mutex m_sendLock;
    std::unique_ptr<platform::Event> m_hRespEvent;
    // Guards the reply store: the reader fills it and sets m_hRespEvent in
    // one step; a command clears it before writing and copies it after.
    std::mutex m_recvLock;
    uint8_t m_recvData[kFrameBufferSize] = {};
    std::atomic<int32_t> m_recvLen{0};
    // The command waiting for its answer, under m_recvLock: from just
    // before its frame is written until it is answered or gives up.
    bool m_waiting = false;
    FrameKind m_waitingKind = FrameKind::ACK;
    uint8_t m_asked[kFrameBufferSize] = {};
    size_t m_askedLength = 0;
    // Set under m_recvLock with the response event, so a wait that starts
    // after it finds the event set.
    std::atomic<int32_t> m_bLost{0};

  private:
    void ExpectReply(FrameKind kind, const uint8_t* payload, int32_t length);
    void StopExpecting();
    void StoreReplyLocked(const uint8_t* data, int32_t length);

    SerialPort& m_serial;
    ModuleControl& m_module;
};

}  // namespace qv

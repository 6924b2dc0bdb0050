// The one exchange the symbology operations talk to the engine through:
// the engine's command exchange in the library, a scripted engine in tests.
#pragma once

#include <cstdint>

#include "link/frame.h"

namespace qv {

class ImagerEngine;

class CommandPort {
  public:
    virtual ~CommandPort() = default;
    // Sends one command and waits for the engine's answer; 1 when it came,
    // 0 otherwise. With a reply buffer (1024 bytes) and a length, a NAK is a
    // failure and the reply's payload is handed back; without them any
    // answer counts.
    virtual int32_t Send(FrameKind kind, const uint8_t* payload, int32_t length, uint8_t* reply,
                         int32_t* replyLength) = 0;
};

// Sends through the engine object's command exchange.
class EngineCommandPort final : public CommandPort {
  public:
    explicit EngineCommandPort(ImagerEngine& engine) : m_engine(engine) {}
    int32_t Send(FrameKind kind, const uint8_t* payload, int32_t length, uint8_t* reply,
                 int32_t* replyLength) override;

  private:
    ImagerEngine& m_engine;
};

}  // namespace qv

// The one exchange that operations talk to the engine through: the
// library's command exchange, or a scripted engine in tests.
#pragma once

#include <cstdint>

#include "link/frame.h"

namespace qv {

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

}  // namespace qv

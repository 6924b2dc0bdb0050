#include "engine/imager_engine.h"
#include "link/command_exchange.h"
#include "symbology/command_port.h"

namespace qv {

int32_t EngineCommandPort::Send(FrameKind kind, const uint8_t* payload, int32_t length,
                                uint8_t* reply, int32_t* replyLength) {
    return SendCommand(m_engine, kind, payload, length, reply, replyLength, false);
}

}  // namespace qv

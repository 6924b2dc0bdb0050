// The one way to talk to the engine: wake it, send one frame, and for a
// command wait for the reply that the reader thread stores.
#pragma once

#include <cstdint>

#include "link/frame.h"

namespace qv {

class ImagerEngine;

inline constexpr uint32_t kResponseTimeoutMs = 3000;

// Sends one frame of `kind`. Commands (no-wait clear) wait up to 3000 ms for
// the engine's reply and return 1 when it came; `reply` (1024 bytes) and
// `replyLength` receive its payload when both are given, and a NAK then
// fails the command. With no-wait set the frame is only written and the
// result is 0. Failures return 0 and are logged.
int32_t SendCommand(ImagerEngine& engine, FrameKind kind, const uint8_t* payload, int32_t length,
                    uint8_t* reply, int32_t* replyLength, bool noWait);

// Waits for the reader to report a reply or a NAK; SendCommand's second half.
int32_t WaitResponse(ImagerEngine& engine, uint32_t timeoutMs, uint8_t* reply,
                     int32_t* replyLength);

// Acknowledges (0x06) or refuses an engine frame of the given sequence number.
void SendAck(ImagerEngine& engine, uint8_t code, uint8_t sequence);

// The reader's write into the reply store: a payload, or (data null) the
// refusal mark -1.
void StoreReply(ImagerEngine& engine, const uint8_t* data, int32_t length);

// Stores a reply and releases the waiting command, as one step with respect
// to a command that clears the store before it writes.
void PostReply(ImagerEngine& engine, const uint8_t* data, int32_t length);
// The same for an engine NAK: the store is marked -1 and the command released.
void PostRefusal(ImagerEngine& engine);

}  // namespace qv

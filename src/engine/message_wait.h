// The open's wait that keeps the caller's window messages flowing.
#pragma once

#include <cstdint>

namespace qv {

// Dispatches the calling thread's window messages for the whole of
// `milliseconds`, blocking on the queue between them. Unlike the platform's
// PumpMessagesFor, a quit message does not end the wait: it is the
// application's, so it is held and posted again at the end for the
// application's own loop.
void PumpMessagesKeepingQuit(uint32_t milliseconds);

}  // namespace qv

// Opening and closing of the engine object, and the wait that keeps the
// caller's window messages flowing.
#pragma once

#include <cstdint>

#include "engine/imager_engine.h"

namespace qv {

// Brings the engine object to its starting state: starts the power watcher,
// loads the delivery options, marks the engine active.
void ResetEngineState(ImagerEngine& engine);
// Powers the module and opens the serial link; its result becomes m_bEngineOpen.
int32_t OpenEngine(ImagerEngine& engine);
// Takes down in order what OpenEngine and ResetEngineState brought up.
void CloseEngine(ImagerEngine& engine);
// Dispatches the calling thread's window messages for `milliseconds`,
// blocking on the queue between them.
void PumpMessagesFor(uint32_t milliseconds);

// The steps of QVImagerOpen after the engine object exists.
int32_t OpenImager(ImagerEngine& engine);

}  // namespace qv

// Opening and closing of the engine object.
#pragma once

#include <cstdint>

#include "interface/imager_engine.h"

namespace qv {

// Brings the engine object to its starting state before the driver is opened.
void ResetEngineState(ImagerEngine& engine);
// The engine's open; its result becomes m_bEngineOpen.
int32_t OpenEngine(ImagerEngine& engine);
void CloseEngine(ImagerEngine& engine);

}  // namespace qv

// The power-state watcher: follows the device's suspend and resume while the
// imager is open. A suspend makes the engine refuse work; a resume powers the
// module again and makes it usable.
#pragma once

#include <cstdint>
#include <span>

namespace qv {

class ImagerEngine;

// Starts CheckPowerStateThread for `engine` (ending a watcher already recorded).
void StartPowerWatcher(ImagerEngine& engine);
// Ends the subscription, which releases the watcher's read, and joins the thread.
void StopPowerWatcher(ImagerEngine& engine);

void CheckPowerStateThread(ImagerEngine& engine);

// Acts on one message read from the notification queue.
void HandlePowerMessage(ImagerEngine& engine, std::span<const uint8_t> message);

}  // namespace qv

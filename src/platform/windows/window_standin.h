// Between the stand-ins inside the platform library; not for its users.
#pragma once

#include <cstdint>

namespace qv::platform {

// Queues WM_KEYDOWN or WM_KEYUP for the foreground window, if there is one.
void QueueKeyMessage(uint8_t virtualKey, uint8_t scanCode, bool up);

}  // namespace qv::platform

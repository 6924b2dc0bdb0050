// The virtual keyboard of QV_KEYBOARD=uinput[:<device name>][,layout=…]:
// key events typed into the system through /dev/uinput. The device is made
// (or replaced, or removed) at each open by OpenKeyboard (keyboard.h).
// Internal to the platform layer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_api.h"

namespace qv::platform {

// The Linux key code (KEY_...) of a virtual key, at its US position, or 0
// when it has none.
QV_PLATFORM_API uint16_t VirtualKeyToLinuxKey(uint8_t virtualKey);

// Types one key event, by virtual key at its US position, on the virtual
// keyboard. False when there is none: the caller then uses the stand-in. A
// key with no Linux equivalent is skipped (said once per key and open) and
// counts as typed.
bool TypeOnVirtualKeyboard(uint8_t virtualKey, bool keyUp);

// The event device (/dev/input/eventN) of the virtual keyboard the last
// open made; empty when there is none.
QV_PLATFORM_API std::string VirtualKeyboardDevice();

}  // namespace qv::platform

// The virtual keyboard of QV_KEYBOARD=uinput[:<device name>]: key events
// typed into the system through /dev/uinput. Internal to the platform layer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_api.h"

namespace qv::platform {

// The Linux key code (KEY_...) of a virtual key, or 0 when it has none.
QV_PLATFORM_API uint16_t VirtualKeyToLinuxKey(uint8_t virtualKey);

// Types one key event on the virtual keyboard, created at its first use
// when QV_KEYBOARD asks for one. False when QV_KEYBOARD does not ask for it
// or the device was refused (said once on the debug output): the caller
// then uses the stand-in. A key with no Linux equivalent is skipped (said
// once per key) and counts as typed.
bool TypeOnVirtualKeyboard(uint8_t virtualKey, bool keyUp);

// The event device (/dev/input/eventN) of the virtual keyboard, created if
// QV_KEYBOARD asks for one and it does not exist yet; empty when there is none.
QV_PLATFORM_API std::string VirtualKeyboardDevice();

}  // namespace qv::platform

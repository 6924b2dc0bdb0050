// Key injection and the keyboard layout of the stand-in. Every injected key
// event is recorded and traced as "key <vk 0xNN> <scan> <flags>"; it also
// reaches the foreground window as WM_KEYDOWN or WM_KEYUP, so an
// application sees the keys it is typed. The layout is the US one.
//
// With QV_KEYBOARD naming a keyboard of the system, key events go there
// instead, and characters are typed with the keys of the session's layout.
#pragma once

#include <cstdint>

#include "platform/platform_api.h"

namespace qv::platform {

inline constexpr uint32_t kKeyEventKeyUp = 0x0002;
inline constexpr uint32_t kKeyEventSilent = 0x0004;

inline constexpr uint8_t kVkShift = 0x10;
inline constexpr uint8_t kVkControl = 0x11;

QV_PLATFORM_API void KeybdEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags);

// Map types of MapVirtualKey.
inline constexpr uint32_t kMapVkToScan = 0;
inline constexpr uint32_t kMapScanToVk = 1;
inline constexpr uint32_t kMapVkToChar = 2;

// 0 when there is no mapping.
QV_PLATFORM_API uint32_t MapVirtualKey(uint32_t code, uint32_t mapType);

// The character a key types with the given modifiers, or 0 when it types none.
QV_PLATFORM_API char16_t KeyToChar(uint8_t virtualKey, bool shift, bool control);

// Applies QV_KEYBOARD as the last LoadConfiguration read it: makes, keeps,
// replaces or removes the system keyboard and finds the layout it types
// in, saying which and from where. Called at each open of the imager.
QV_PLATFORM_API void OpenKeyboard();

// Whether characters go to a keyboard of the system through its layout
// (TypeCharacterInLayout); false for the stand-in.
QV_PLATFORM_API bool KeyboardTypesCharacters();

// Types `c` with the key and the Shift or AltGr its layout needs for it,
// minding the session's Caps Lock: in the layout the session is to be in, as
// a dead key and Space where it has `~` or `^` only as a dead key, else at
// its key in the next layout of the list that has it. A character none of
// them types is skipped, counted, and said once per character and open; of
// the control characters only Backspace, Tab, Return and Escape are typed.
// False when there is no such keyboard.
QV_PLATFORM_API bool TypeCharacterInLayout(char32_t c);

// How many characters TypeCharacterInLayout skipped since the last open
// (0 with the stand-in): what a delivery lost, for the user to be told.
QV_PLATFORM_API uint32_t UntypedCharacters();

}  // namespace qv::platform

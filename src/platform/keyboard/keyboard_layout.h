// A keyboard layout compiled with libxkbcommon, and the key that types a
// character in it. Pure given the keymap: no device is touched. Internal to
// the platform layer; not safe for two threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/keyboard/keyboard_setting.h"

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace qv::platform {

// A key (Linux KEY_... code) and the modifiers held while it is pressed.
struct KeyChord {
    uint16_t key = 0;
    bool shift = false;
    bool altGr = false;  // right Alt, where the layout makes it the third-level shift
    bool operator==(const KeyChord&) const = default;
};

class KeyboardLayout {
  public:
    // Null, with the reason in `error`, when the keymap does not compile.
    static std::unique_ptr<KeyboardLayout> FromNames(const LayoutNames& names, std::string* error);
    static std::unique_ptr<KeyboardLayout> FromKeymapFile(const std::string& path,
                                                          std::string* error);
    ~KeyboardLayout();
    KeyboardLayout(const KeyboardLayout&) = delete;
    KeyboardLayout& operator=(const KeyboardLayout&) = delete;

    // The chord that types `c` in the first group of the layout while Caps
    // Lock is `capsLock`, or nothing when no single key does. Keys of the
    // main block come first, then the ISO and Japanese extra keys, then the
    // keypad (which the session's Num Lock changes); fewer modifiers first.
    std::optional<KeyChord> Find(char32_t c, bool capsLock) const;

    // Whether right Alt selects the third level here (AltGr).
    bool HasAltGr() const { return m_altGrMask != 0; }

  private:
    KeyboardLayout(xkb_context* context, xkb_keymap* keymap);
    // Takes both; null, with the cause, when no state can be made.
    static std::unique_ptr<KeyboardLayout> Adopt(xkb_context* context, xkb_keymap* keymap,
                                                 std::string* error);

    xkb_context* m_context;
    xkb_keymap* m_keymap;
    xkb_state* m_state;  // a scratch state the lookups set
    uint32_t m_shiftMask = 0;
    uint32_t m_lockMask = 0;
    uint32_t m_altGrMask = 0;
};

// The Linux key codes a lookup may press: the virtual keyboard declares them.
inline constexpr uint16_t kFirstLayoutKey = 1;
inline constexpr uint16_t kLastLayoutKey = 127;

}  // namespace qv::platform

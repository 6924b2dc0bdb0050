// A keyboard layout compiled with libxkbcommon, and the key that types a
// character in it. Pure given the keymap: no device is touched. Internal to
// the platform layer; not safe for two threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// What to press for one character: a single chord, or a dead key and the
// key that completes it. `group` is the layout of the list (0 for the
// first) whose keys these are: they give the character while the session is
// in that layout.
struct CharacterKeys {
    std::vector<KeyChord> chords;
    uint32_t group = 0;
    bool operator==(const CharacterKeys&) const = default;
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

    // The chord that types `c` in `group` while Caps Lock is `capsLock`, or
    // nothing when no single key does. Keys of the main block come first,
    // then the ISO and Japanese extra keys, then the keypad (which the
    // session's Num Lock changes); fewer modifiers first.
    std::optional<KeyChord> Find(char32_t c, bool capsLock, uint32_t group = 0) const;

    // How `c` is typed: in the typing group if it can be, a single key before
    // a dead key followed by the key the standard compose table completes it
    // with (`^` as dead circumflex and Space, `´` as dead acute twice); else in
    // the other layouts of the list in their order, at their keys, as a
    // hardware scanner's key codes are. Nothing when no layout has it.
    std::optional<CharacterKeys> Keys(char32_t c, bool capsLock) const;

    size_t GroupCount() const { return m_altGrMasks.size(); }
    // The first layout of the list with every Latin letter (the one the
    // session is to be in for a barcode, as for a hardware scanner), or the
    // first layout when none has them.
    uint32_t TypingGroup() const { return m_typingGroup; }
    bool HasLatinGroup() const { return m_hasLatinGroup; }
    // The name the keymap gives the layout of `group` ("Russian").
    std::string GroupName(uint32_t group) const;
    // The order Keys looks in: the typing group, then the others in list order.
    std::vector<uint32_t> GroupOrder() const;

    // Whether right Alt selects the third level in the typing group (AltGr).
    bool HasAltGr() const { return m_altGrMasks[m_typingGroup] != 0; }

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
    std::vector<uint32_t> m_altGrMasks;  // by group; 0 where right Alt is no AltGr
    uint32_t m_typingGroup = 0;
    bool m_hasLatinGroup = false;

    // The best chord in `group` whose key gives what `gives` accepts.
    template <typename Gives>
    std::optional<KeyChord> FindChord(uint32_t group, bool capsLock, Gives gives) const;
    std::optional<std::vector<KeyChord>> FindDeadKeys(char32_t c, bool capsLock,
                                                      uint32_t group) const;
};

// What the log says at open about where characters come from, given the
// layout list the keymap was compiled from ("ru,us"; empty for a keymap
// file): a line for a list of more than one layout and one for a list
// without the Latin letters; nothing for a single Latin layout.
std::vector<std::string> DescribeTypingGroups(const KeyboardLayout& layout,
                                              std::string_view layoutList);

// The Linux key codes a lookup may press: the virtual keyboard declares them.
inline constexpr uint16_t kFirstLayoutKey = 1;
inline constexpr uint16_t kLastLayoutKey = 127;

}  // namespace qv::platform

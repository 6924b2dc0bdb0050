#include "platform/keyboard/keyboard_layout.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace qv::platform {
namespace {

// XKB numbers keys 8 above the Linux key codes.
constexpr uint32_t kXkbOffset = 8;

// 0: the main block; 1: keys only ISO or Japanese keyboards have; 2: the keypad.
int KeyRank(uint16_t key) {
    switch (key) {
        case KEY_102ND:
        case KEY_RO:
        case KEY_YEN:
        case KEY_ZENKAKUHANKAKU:
            return 1;
        case KEY_KPASTERISK:
        case KEY_KPMINUS:
        case KEY_KPPLUS:
        case KEY_KPDOT:
        case KEY_KPENTER:
        case KEY_KPSLASH:
        case KEY_KPEQUAL:
        case KEY_KPPLUSMINUS:
        case KEY_KPCOMMA:
        case KEY_KPJPCOMMA:
            return 2;
        default:
            return key >= KEY_KP7 && key <= KEY_KP0 ? 2 : 0;
    }
}

// Characters some layouts give only through a dead key, and what completes
// the dead key to give them in the standard compose table (en_US.UTF-8 and
// the locales that include it): Space for most, the dead key itself for the
// spacing accents, since a dead acute or diaeresis with Space gives ' or ".
struct DeadKeyCharacter {
    char32_t c;
    xkb_keysym_t dead;
    bool twice;
};
constexpr DeadKeyCharacter kDeadKeyCharacters[] = {
    {U'~', XKB_KEY_dead_tilde, false},         {U'^', XKB_KEY_dead_circumflex, false},
    {U'`', XKB_KEY_dead_grave, false},         {U'\'', XKB_KEY_dead_acute, false},
    {U'"', XKB_KEY_dead_diaeresis, false},     {U'\u00B4', XKB_KEY_dead_acute, true},
    {U'\u00A8', XKB_KEY_dead_diaeresis, true},
};

xkb_context* NewContext() {
    // The layout comes from the names given, never from XKB_DEFAULT_* behind our back.
    return xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
}

}  // namespace

KeyboardLayout::KeyboardLayout(xkb_context* context, xkb_keymap* keymap)
    : m_context(context), m_keymap(keymap), m_state(xkb_state_new(keymap)) {
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
    const xkb_mod_index_t lock = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CAPS);
    if (shift != XKB_MOD_INVALID) m_shiftMask = 1u << shift;
    if (lock != XKB_MOD_INVALID) m_lockMask = 1u << lock;
    const xkb_layout_index_t groups =
        std::max<xkb_layout_index_t>(1, xkb_keymap_num_layouts(keymap));
    m_altGrMasks.assign(groups, 0);
    if (m_state == nullptr) return;
    // Right Alt is AltGr only where the layout makes it the third-level
    // shift; elsewhere it is Alt, which would make shortcuts of the keys.
    const xkb_keycode_t rightAlt = KEY_RIGHTALT + kXkbOffset;
    for (xkb_layout_index_t group = 0; group < groups; ++group) {
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, rightAlt, group, 0, &syms) == 1 &&
            syms[0] == XKB_KEY_ISO_Level3_Shift) {
            xkb_state_update_mask(m_state, 0, 0, 0, 0, 0, group);
            xkb_state_update_key(m_state, rightAlt, XKB_KEY_DOWN);
            m_altGrMasks[group] = xkb_state_serialize_mods(m_state, XKB_STATE_MODS_EFFECTIVE);
            xkb_state_update_key(m_state, rightAlt, XKB_KEY_UP);
        }
    }
    xkb_state_update_mask(m_state, 0, 0, 0, 0, 0, 0);
    for (xkb_layout_index_t group = 0; group < groups && !m_hasLatinGroup; ++group) {
        bool latin = true;
        for (char32_t letter = U'a'; letter <= U'z' && latin; ++letter) {
            latin = Find(letter, false, group) && Find(letter - 0x20, false, group);
        }
        if (latin) {
            m_hasLatinGroup = true;
            m_typingGroup = group;
        }
    }
}

KeyboardLayout::~KeyboardLayout() {
    xkb_state_unref(m_state);
    xkb_keymap_unref(m_keymap);
    xkb_context_unref(m_context);
}

std::unique_ptr<KeyboardLayout> KeyboardLayout::FromNames(const LayoutNames& names,
                                                          std::string* error) {
    xkb_context* context = NewContext();
    if (context == nullptr) {
        *error = "libxkbcommon has no context";
        return nullptr;
    }
    const auto field = [](const std::string& s, const char* otherwise) {
        return s.empty() ? otherwise : s.c_str();
    };
    const xkb_rule_names rules{field(names.rules, "evdev"), field(names.model, "pc105"),
                               names.layout.c_str(), names.variant.c_str(), names.options.c_str()};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &rules, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) {
        xkb_context_unref(context);
        *error = "no keymap compiles from layout " + DescribeLayout(names);
        return nullptr;
    }
    return Adopt(context, keymap, error);
}

std::unique_ptr<KeyboardLayout> KeyboardLayout::Adopt(xkb_context* context, xkb_keymap* keymap,
                                                      std::string* error) {
    std::unique_ptr<KeyboardLayout> layout(new KeyboardLayout(context, keymap));
    if (layout->m_state == nullptr) {
        *error = "libxkbcommon has no state for the keymap";
        return nullptr;
    }
    return layout;
}

std::unique_ptr<KeyboardLayout> KeyboardLayout::FromKeymapFile(const std::string& path,
                                                               std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) {
        *error = "cannot open the keymap file " + path;
        return nullptr;
    }
    xkb_context* context = NewContext();
    xkb_keymap* keymap = context == nullptr
                             ? nullptr
                             : xkb_keymap_new_from_file(context, file, XKB_KEYMAP_FORMAT_TEXT_V1,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
    std::fclose(file);
    if (keymap == nullptr) {
        xkb_context_unref(context);
        *error = "the keymap file " + path + " does not compile";
        return nullptr;
    }
    return Adopt(context, keymap, error);
}

template <typename Gives>
std::optional<KeyChord> KeyboardLayout::FindChord(uint32_t group, bool capsLock,
                                                  Gives gives) const {
    // The same question the session answers when the keys arrive: what does
    // this key give with these modifiers held, under this lock state, in this
    // layout of the list.
    struct Mods {
        bool shift;
        bool altGr;
    };
    const Mods tries[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    if (group >= m_altGrMasks.size()) return std::nullopt;
    const uint32_t altGrMask = m_altGrMasks[group];
    std::optional<KeyChord> best;
    int bestRank = 0;
    const uint32_t locked = capsLock ? m_lockMask : 0;
    for (const Mods& mods : tries) {
        if (mods.altGr && altGrMask == 0) continue;
        const uint32_t depressed = (mods.shift ? m_shiftMask : 0) | (mods.altGr ? altGrMask : 0);
        xkb_state_update_mask(m_state, depressed, 0, locked, 0, 0, group);
        for (uint16_t key = kFirstLayoutKey; key <= kLastLayoutKey; ++key) {
            if (key == KEY_RIGHTALT) continue;
            const int rank = KeyRank(key);
            if (best && rank >= bestRank) continue;
            if (!gives(key + kXkbOffset)) continue;
            best = KeyChord{key, mods.shift, mods.altGr};
            bestRank = rank;
        }
    }
    xkb_state_update_mask(m_state, 0, 0, 0, 0, 0, 0);
    return best;
}

std::optional<KeyChord> KeyboardLayout::Find(char32_t c, bool capsLock, uint32_t group) const {
    if (c == 0) return std::nullopt;
    return FindChord(group, capsLock, [this, c](xkb_keycode_t key) {
        return xkb_state_key_get_utf32(m_state, key) == c;
    });
}

std::optional<std::vector<KeyChord>> KeyboardLayout::FindDeadKeys(char32_t c, bool capsLock,
                                                                  uint32_t group) const {
    for (const DeadKeyCharacter& d : kDeadKeyCharacters) {
        if (d.c != c) continue;
        const std::optional<KeyChord> dead =
            FindChord(group, capsLock, [this, &d](xkb_keycode_t key) {
                return xkb_state_key_get_one_sym(m_state, key) == d.dead;
            });
        if (!dead) return std::nullopt;
        const std::optional<KeyChord> then = d.twice ? dead : Find(U' ', capsLock, group);
        if (!then) return std::nullopt;
        return std::vector<KeyChord>{*dead, *then};
    }
    return std::nullopt;
}

std::string KeyboardLayout::GroupName(uint32_t group) const {
    const char* name = xkb_keymap_layout_get_name(m_keymap, group);
    return name != nullptr ? name : "layout " + std::to_string(group + 1);
}

std::vector<uint32_t> KeyboardLayout::GroupOrder() const {
    std::vector<uint32_t> order{m_typingGroup};
    for (uint32_t group = 0; group < m_altGrMasks.size(); ++group) {
        if (group != m_typingGroup) order.push_back(group);
    }
    return order;
}

std::optional<CharacterKeys> KeyboardLayout::Keys(char32_t c, bool capsLock) const {
    for (const uint32_t group : GroupOrder()) {
        if (const std::optional<KeyChord> chord = Find(c, capsLock, group)) {
            return CharacterKeys{{*chord}, group};
        }
        if (auto dead = FindDeadKeys(c, capsLock, group)) {
            return CharacterKeys{std::move(*dead), group};
        }
    }
    return std::nullopt;
}

std::vector<std::string> DescribeTypingGroups(const KeyboardLayout& layout,
                                              std::string_view layoutList) {
    std::vector<std::string> names;
    while (!layoutList.empty()) {
        const size_t comma = layoutList.find(',');
        names.emplace_back(layoutList.substr(0, comma));
        layoutList = comma == std::string_view::npos ? "" : layoutList.substr(comma + 1);
    }
    if (names.size() != layout.GroupCount()) {
        names.clear();
        for (uint32_t group = 0; group < layout.GroupCount(); ++group)
            names.push_back(layout.GroupName(group));
    }
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ",") + name;
    std::vector<std::string> lines;
    if (!layout.HasLatinGroup()) {
        lines.push_back((names.size() == 1 ? "layout " + list + " has no"
                                           : "no layout of " + list + " has the") +
                        " Latin letters: those of a barcode cannot be typed");
    }
    if (names.size() > 1) {
        const std::vector<uint32_t> order = layout.GroupOrder();
        const std::string& first = names[order.front()];
        std::string others;
        for (size_t i = 1; i < order.size(); ++i)
            others += (i == 1 ? "" : ", then ") + names[order[i]];
        lines.push_back("characters are typed as " + first +
                        " gives them (the session is to be in " + first + "), those " + first +
                        " lacks at their keys in " + others);
    }
    return lines;
}

}  // namespace qv::platform

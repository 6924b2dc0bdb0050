#include "platform/keyboard/keyboard_layout.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>

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
    // Right Alt is AltGr only where the layout makes it the third-level
    // shift; elsewhere it is Alt, which would make shortcuts of the keys.
    const xkb_keycode_t rightAlt = KEY_RIGHTALT + kXkbOffset;
    const xkb_keysym_t* syms = nullptr;
    if (m_state != nullptr &&
        xkb_keymap_key_get_syms_by_level(keymap, rightAlt, 0, 0, &syms) == 1 &&
        syms[0] == XKB_KEY_ISO_Level3_Shift) {
        xkb_state_update_key(m_state, rightAlt, XKB_KEY_DOWN);
        m_altGrMask = xkb_state_serialize_mods(m_state, XKB_STATE_MODS_EFFECTIVE);
        xkb_state_update_key(m_state, rightAlt, XKB_KEY_UP);
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

std::optional<KeyChord> KeyboardLayout::Find(char32_t c, bool capsLock) const {
    if (c == 0) return std::nullopt;
    // The same question the session answers when the keys arrive: what does
    // this key give with these modifiers held, under this lock state.
    struct Mods {
        bool shift;
        bool altGr;
    };
    const Mods tries[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    std::optional<KeyChord> best;
    int bestRank = 0;
    const uint32_t locked = capsLock ? m_lockMask : 0;
    for (const Mods& mods : tries) {
        if (mods.altGr && m_altGrMask == 0) continue;
        const uint32_t depressed = (mods.shift ? m_shiftMask : 0) | (mods.altGr ? m_altGrMask : 0);
        xkb_state_update_mask(m_state, depressed, 0, locked, 0, 0, 0);
        for (uint16_t key = kFirstLayoutKey; key <= kLastLayoutKey; ++key) {
            if (key == KEY_RIGHTALT) continue;
            const int rank = KeyRank(key);
            if (best && rank >= bestRank) continue;
            if (xkb_state_key_get_utf32(m_state, key + kXkbOffset) != c) continue;
            best = KeyChord{key, mods.shift, mods.altGr};
            bestRank = rank;
        }
    }
    xkb_state_update_mask(m_state, 0, 0, 0, 0, 0, 0);
    return best;
}

}  // namespace qv::platform

// What a desktop session makes of key events: libxkbcommon with Debian's
// xkb-data for a layout list, in one layout of the list, dead keys completed
// by the standard compose table. Header-only, for the tests that read keys.
#pragma once

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <string>

namespace test_support {

class XkbSession {
  public:
    // `group`: the layout of the list the session is in.
    XkbSession(const char* layout, uint32_t group, bool capsLock)
        : m_context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES)) {
        const xkb_rule_names names{"evdev", "pc105", layout, "", ""};
        m_keymap = xkb_keymap_new_from_names(m_context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        m_table = xkb_compose_table_new_from_locale(m_context, "en_US.UTF-8",
                                                    XKB_COMPOSE_COMPILE_NO_FLAGS);
        EXPECT_NE(m_keymap, nullptr) << layout;
        EXPECT_NE(m_table, nullptr) << "no compose table for en_US.UTF-8";
        if (m_keymap == nullptr || m_table == nullptr) return;
        m_state = xkb_state_new(m_keymap);
        m_compose = xkb_compose_state_new(m_table, XKB_COMPOSE_STATE_NO_FLAGS);
        const xkb_mod_index_t lock = xkb_keymap_mod_get_index(m_keymap, XKB_MOD_NAME_CAPS);
        xkb_state_update_mask(m_state, 0, 0, capsLock ? 1u << lock : 0, 0, 0, group);
    }
    ~XkbSession() {
        xkb_compose_state_unref(m_compose);
        xkb_compose_table_unref(m_table);
        xkb_state_unref(m_state);
        xkb_keymap_unref(m_keymap);
        xkb_context_unref(m_context);
    }
    XkbSession(const XkbSession&) = delete;
    XkbSession& operator=(const XkbSession&) = delete;

    // A Linux key code (KEY_...) pressed (true) or released.
    void Key(uint16_t code, bool down) {
        if (m_state == nullptr) return;
        const xkb_keycode_t key = code + 8;
        if (!down) {
            xkb_state_update_key(m_state, key, XKB_KEY_UP);
            return;
        }
        xkb_compose_state_feed(m_compose, xkb_state_key_get_one_sym(m_state, key));
        switch (xkb_compose_state_get_status(m_compose)) {
            case XKB_COMPOSE_COMPOSED:
                m_text += xkb_keysym_to_utf32(xkb_compose_state_get_one_sym(m_compose));
                xkb_compose_state_reset(m_compose);
                break;
            case XKB_COMPOSE_NOTHING:
                if (const char32_t c = xkb_state_key_get_utf32(m_state, key)) m_text += c;
                break;
            case XKB_COMPOSE_CANCELLED:
                xkb_compose_state_reset(m_compose);
                break;
            case XKB_COMPOSE_COMPOSING:
                break;
        }
        xkb_state_update_key(m_state, key, XKB_KEY_DOWN);
    }

    const std::u32string& Text() const { return m_text; }

  private:
    xkb_context* m_context;
    xkb_keymap* m_keymap = nullptr;
    xkb_compose_table* m_table = nullptr;
    xkb_state* m_state = nullptr;
    xkb_compose_state* m_compose = nullptr;
    std::u32string m_text;
};

}  // namespace test_support

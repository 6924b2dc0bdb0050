// The key and modifiers that type a character in a layout, against Debian's
// xkb-data; what QV_KEYBOARD says; where the layout comes from.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/keyboard/keyboard_layout.h"
#include "platform/keyboard/keyboard_setting.h"

using namespace qv::platform;

namespace {

struct LookupCase {
    const char* layout;
    bool capsLock;
    char32_t c;
    std::optional<KeyChord> chord;  // nothing: no single key types it
};

constexpr KeyChord Plain(uint16_t key) {
    return {key, false, false};
}
constexpr KeyChord Shift(uint16_t key) {
    return {key, true, false};
}
constexpr KeyChord AltGr(uint16_t key) {
    return {key, false, true};
}

// Written from the keyboards' engravings: QWERTY, QWERTZ and AZERTY.
const LookupCase kLookups[] = {
    {"us", false, U'a', Plain(KEY_A)},          {"us", false, U'Z', Shift(KEY_Z)},
    {"us", false, U'@', Shift(KEY_2)},          {"us", false, U'/', Plain(KEY_SLASH)},
    {"us", false, U'*', Shift(KEY_8)},       // not the keypad's
    {"us", false, U'<', Shift(KEY_COMMA)},   // not the ISO key's
    {"us", false, U'\r', Plain(KEY_ENTER)},  // not the keypad's
    {"us", false, U'\t', Plain(KEY_TAB)},       {"us", false, U'\x1b', Plain(KEY_ESC)},
    {"us", false, U'é', std::nullopt},          {"us", false, U'€', std::nullopt},
    {"us", false, U'\b', Plain(KEY_BACKSPACE)}, {"de", false, U'z', Plain(KEY_Y)},
    {"de", false, U'@', AltGr(KEY_Q)},          {"de", false, U'/', Shift(KEY_7)},
    {"de", false, U'-', Plain(KEY_SLASH)},      {"de", false, U':', Shift(KEY_DOT)},
    {"de", false, U'#', Plain(KEY_BACKSLASH)},  {"de", false, U'<', Plain(KEY_102ND)},
    {"de", false, U'|', AltGr(KEY_102ND)},      {"de", false, U'€', AltGr(KEY_E)},
    {"de", false, U'é', std::nullopt},          {"de", true, U'a', Shift(KEY_A)},
    {"de", true, U'A', Plain(KEY_A)},           {"de", true, U'ö', Shift(KEY_SEMICOLON)},
    {"de", true, U'1', Plain(KEY_1)},           {"de", true, U'!', Shift(KEY_1)},
    {"fr", false, U'a', Plain(KEY_Q)},          {"fr", false, U'W', Shift(KEY_Z)},
    {"fr", false, U'm', Plain(KEY_SEMICOLON)},  {"fr", false, U'1', Shift(KEY_1)},
    {"fr", false, U'é', Plain(KEY_2)},          {"fr", false, U'@', AltGr(KEY_0)},
    {"fr", false, U'-', Plain(KEY_6)},          {"fr", false, U':', Plain(KEY_DOT)},
    {"fr", false, U'/', Shift(KEY_DOT)},
};

std::string Describe(const std::optional<KeyChord>& chord) {
    if (!chord) return "no key";
    return std::to_string(chord->key) + (chord->shift ? "+Shift" : "") +
           (chord->altGr ? "+AltGr" : "");
}

TEST(KeyboardLayout, FindsTheKeyAndModifiersOfACharacter) {
    std::map<std::string, std::unique_ptr<KeyboardLayout>> layouts;
    for (const LookupCase& c : kLookups) {
        auto& layout = layouts[c.layout];
        if (!layout) {
            std::string error;
            layout = KeyboardLayout::FromNames(LayoutNames{"", "", c.layout, "", ""}, &error);
            ASSERT_TRUE(layout) << error;
        }
        EXPECT_EQ(Describe(layout->Find(c.c, c.capsLock)), Describe(c.chord))
            << c.layout << (c.capsLock ? " with Caps Lock" : "") << " U+" << std::hex
            << static_cast<uint32_t>(c.c);
    }
}

TEST(KeyboardLayout, RightAltIsAltGrOnlyWhereTheLayoutSaysSo) {
    std::string error;
    EXPECT_FALSE(KeyboardLayout::FromNames({"", "", "us", "", ""}, &error)->HasAltGr());
    EXPECT_TRUE(KeyboardLayout::FromNames({"", "", "de", "", ""}, &error)->HasAltGr());
    // A variant and an option change what the keys give.
    auto noDeadKeys = KeyboardLayout::FromNames({"", "", "de", "nodeadkeys", ""}, &error);
    ASSERT_TRUE(noDeadKeys) << error;
    EXPECT_EQ(Describe(noDeadKeys->Find(U'^', false)), Describe(Plain(KEY_GRAVE)));
    auto rightAltIsAlt = KeyboardLayout::FromNames({"", "", "de", "", "lv3:ralt_alt"}, &error);
    ASSERT_TRUE(rightAltIsAlt) << error;
    EXPECT_FALSE(rightAltIsAlt->HasAltGr());
    EXPECT_EQ(Describe(rightAltIsAlt->Find(U'@', false)), "no key");
    EXPECT_FALSE(KeyboardLayout::FromNames({"", "", "no-such-layout", "", ""}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(KeyboardLayout::FromKeymapFile("/nonexistent/keymap.xkb", &error));
}

struct SettingCase {
    const char* value;
    bool valid;
    const char* device;
    LayoutNames layout;
    const char* keymap;
};

TEST(KeyboardSetting, ReadsTheDeviceAndTheLayout) {
    const SettingCase cases[] = {
        {"uinput", true, kDefaultKeyboardName, {}, ""},
        {"uinput:Scanner", true, "Scanner", {}, ""},
        {"uinput:Scanner,layout=de,variant=nodeadkeys",
         true,
         "Scanner",
         {"", "", "de", "nodeadkeys", ""},
         ""},
        // XKB's own lists keep their commas.
        {"uinput,layout=us,de,options=grp:alt_shift_toggle,caps:none",
         true,
         kDefaultKeyboardName,
         {"", "", "us,de", "", "grp:alt_shift_toggle,caps:none"},
         ""},
        {"uinput,keymap=/etc/ro25/keymap.xkb,fallback=skip",
         true,
         kDefaultKeyboardName,
         {},
         "/etc/ro25/keymap.xkb"},
        {"uinput,model=pc104", true, kDefaultKeyboardName, {"", "pc104", "", "", ""}, ""},
        {"uinput:", false, "", {}, ""},
        {"evdev", false, "", {}, ""},
        {"uinput,colour=red", false, "", {}, ""},
        {"uinput,,layout=de", false, "", {}, ""},
        {"uinput,fallback=unicode", false, "", {}, ""},
        {"uinput,layout=de,keymap=/k.xkb", false, "", {}, ""},
    };
    for (const SettingCase& c : cases) {
        const KeyboardSetting s = ParseKeyboardSetting(c.value);
        EXPECT_EQ(s.valid, c.valid) << c.value;
        EXPECT_EQ(s.error.empty(), c.valid) << c.value;
        if (!c.valid) continue;
        EXPECT_EQ(s.deviceName, c.device) << c.value;
        EXPECT_EQ(s.layout, c.layout) << c.value;
        EXPECT_EQ(s.keymapFile, c.keymap) << c.value;
    }
}

struct ChoiceCase {
    const char* setting;
    std::map<LayoutSource, LayoutNames> available;
    LayoutSource source;
    LayoutNames chosen;
    std::vector<LayoutSource> asked;
};

TEST(KeyboardSetting, TakesTheLayoutFromTheFirstSourceThatNamesOne) {
    const LayoutNames env{"", "", "fr", "", ""};
    const LayoutNames localed{"", "pc105", "de", "nodeadkeys", "caps:none"};
    const LayoutNames file{"", "", "gb", "", ""};
    using S = LayoutSource;
    const ChoiceCase cases[] = {
        {"uinput,layout=us", {{S::kEnvironment, env}}, S::kSetting, {"", "", "us", "", ""}, {}},
        {"uinput,keymap=/k.xkb", {{S::kEnvironment, env}}, S::kSetting, {}, {}},
        {"uinput",
         {{S::kEnvironment, env}, {S::kLocaled, localed}},
         S::kEnvironment,
         env,
         {S::kEnvironment}},
        {"uinput",
         {{S::kLocaled, localed}, {S::kDefaultKeyboardFile, file}},
         S::kLocaled,
         localed,
         {S::kEnvironment, S::kLocaled}},
        // localed without a layout set counts as none.
        {"uinput",
         {{S::kLocaled, LayoutNames{}}, {S::kDefaultKeyboardFile, file}},
         S::kDefaultKeyboardFile,
         file,
         {S::kEnvironment, S::kLocaled, S::kDefaultKeyboardFile}},
        {"uinput",
         {},
         S::kBuiltIn,
         {"", "", "us", "", ""},
         {S::kEnvironment, S::kLocaled, S::kDefaultKeyboardFile}},
        // Options given alone go with the session's layout.
        {"uinput,options=compose:ralt",
         {{S::kDefaultKeyboardFile, file}},
         S::kDefaultKeyboardFile,
         {"", "", "gb", "", "compose:ralt"},
         {S::kEnvironment, S::kLocaled, S::kDefaultKeyboardFile}},
    };
    for (const ChoiceCase& c : cases) {
        std::vector<LayoutSource> asked;
        const LayoutChoice choice =
            ChooseLayout(ParseKeyboardSetting(c.setting), [&](LayoutSource s) {
                asked.push_back(s);
                const auto it = c.available.find(s);
                return it == c.available.end() ? std::nullopt
                                               : std::optional<LayoutNames>(it->second);
            });
        EXPECT_EQ(choice.source, c.source) << c.setting;
        EXPECT_EQ(choice.names, c.chosen) << c.setting;
        EXPECT_EQ(asked, c.asked) << c.setting;
    }
}

TEST(KeyboardSetting, ReadsDebiansKeyboardFile) {
    const struct {
        const char* text;
        std::optional<LayoutNames> names;
    } cases[] = {
        {"# KEYBOARD CONFIGURATION FILE\n\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"de\"\n"
         "XKBVARIANT=\"nodeadkeys\"\nXKBOPTIONS=\"\"\n\nBACKSPACE=\"guess\"\n",
         LayoutNames{"", "pc105", "de", "nodeadkeys", ""}},
        {"export XKBLAYOUT='fr'\r\nXKBOPTIONS=lv3:ralt_switch,compose:menu\r\n",
         LayoutNames{"", "", "fr", "", "lv3:ralt_switch,compose:menu"}},
        {"XKBMODEL=pc105\n# XKBLAYOUT=de\n", std::nullopt},
        {"XKBLAYOUT=\"\"\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDefaultKeyboard(c.text), c.names) << c.text;
}

}  // namespace

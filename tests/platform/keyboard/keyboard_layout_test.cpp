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
#include "test_support/xkb_session.h"

using namespace qv::platform;

namespace {

struct LookupCase {
    const char* layout;
    bool capsLock;
    char32_t c;
    std::vector<KeyChord> keys;  // empty: no key types it
    uint32_t group = 0;          // of the layout list, whose keys these are
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
const std::vector<KeyChord> kNone;

// Written from the keyboards' engravings: QWERTY, QWERTZ, AZERTY, and the
// Latin keyboard beside a Russian or Greek one.
const LookupCase kLookups[] = {
    {"us", false, U'a', {Plain(KEY_A)}},
    {"us", false, U'Z', {Shift(KEY_Z)}},
    {"us", false, U'@', {Shift(KEY_2)}},
    {"us", false, U'/', {Plain(KEY_SLASH)}},
    {"us", false, U'*', {Shift(KEY_8)}},       // not the keypad's
    {"us", false, U'<', {Shift(KEY_COMMA)}},   // not the ISO key's
    {"us", false, U'\r', {Plain(KEY_ENTER)}},  // not the keypad's
    {"us", false, U'\t', {Plain(KEY_TAB)}},
    {"us", false, U'\x1b', {Plain(KEY_ESC)}},
    {"us", false, U'é', kNone},
    {"us", false, U'€', kNone},
    {"us", false, U'\b', {Plain(KEY_BACKSPACE)}},
    {"de", false, U'z', {Plain(KEY_Y)}},
    {"de", false, U'@', {AltGr(KEY_Q)}},
    {"de", false, U'/', {Shift(KEY_7)}},
    {"de", false, U'-', {Plain(KEY_SLASH)}},
    {"de", false, U':', {Shift(KEY_DOT)}},
    {"de", false, U'#', {Plain(KEY_BACKSLASH)}},
    {"de", false, U'<', {Plain(KEY_102ND)}},
    {"de", false, U'|', {AltGr(KEY_102ND)}},
    {"de", false, U'€', {AltGr(KEY_E)}},
    {"de", false, U'é', kNone},
    {"de", true, U'a', {Shift(KEY_A)}},
    {"de", true, U'A', {Plain(KEY_A)}},
    {"de", true, U'ö', {Shift(KEY_SEMICOLON)}},
    {"de", true, U'1', {Plain(KEY_1)}},
    {"de", true, U'!', {Shift(KEY_1)}},
    {"fr", false, U'a', {Plain(KEY_Q)}},
    {"fr", false, U'W', {Shift(KEY_Z)}},
    {"fr", false, U'm', {Plain(KEY_SEMICOLON)}},
    {"fr", false, U'1', {Shift(KEY_1)}},
    {"fr", false, U'é', {Plain(KEY_2)}},
    {"fr", false, U'@', {AltGr(KEY_0)}},
    {"fr", false, U'-', {Plain(KEY_6)}},
    {"fr", false, U':', {Plain(KEY_DOT)}},
    {"fr", false, U'/', {Shift(KEY_DOT)}},
    // Dead keys only: completed by Space, or, for a spacing accent, by
    // itself (a dead acute and Space give an apostrophe).
    {"de", false, U'^', {Plain(KEY_GRAVE), Plain(KEY_SPACE)}},
    {"de", false, U'`', {Shift(KEY_EQUAL), Plain(KEY_SPACE)}},
    {"de", false, U'´', {Plain(KEY_EQUAL), Plain(KEY_EQUAL)}},
    {"de", false, U'~', {AltGr(KEY_RIGHTBRACE)}},  // a key of its own
    // The Latin layout of the list is the one typed in.
    {"ru,us", false, U'A', {Shift(KEY_A)}, 1},
    {"ru,us", false, U'/', {Plain(KEY_SLASH)}, 1},  // ru has it too, on another key
    {"ru,us", false, U'ж', {Plain(KEY_SEMICOLON)}, 0},
    {"gr,us", false, U'x', {Plain(KEY_X)}, 1},
    {"gr,us", false, U'λ', {Plain(KEY_L)}, 0},
    {"us,ru", false, U'Ж', {Shift(KEY_SEMICOLON)}, 1},
    {"ru", false, U'x', kNone},
};

std::string Describe(const std::vector<KeyChord>& keys, uint32_t group) {
    if (keys.empty()) return "no key";
    std::string text;
    for (const KeyChord& chord : keys) {
        text += (text.empty() ? "" : ", ") + std::to_string(chord.key) +
                (chord.shift ? "+Shift" : "") + (chord.altGr ? "+AltGr" : "");
    }
    return text + " in group " + std::to_string(group);
}

std::string Describe(const std::optional<CharacterKeys>& keys) {
    return keys ? Describe(keys->chords, keys->group) : "no key";
}

std::unique_ptr<KeyboardLayout> Compile(const char* layout) {
    std::string error;
    auto compiled = KeyboardLayout::FromNames(LayoutNames{"", "", layout, "", ""}, &error);
    EXPECT_TRUE(compiled) << error;
    return compiled;
}

TEST(KeyboardLayout, FindsTheKeysOfACharacter) {
    std::map<std::string, std::unique_ptr<KeyboardLayout>> layouts;
    for (const LookupCase& c : kLookups) {
        auto& layout = layouts[c.layout];
        if (!layout) layout = Compile(c.layout);
        ASSERT_TRUE(layout);
        EXPECT_EQ(Describe(layout->Keys(c.c, c.capsLock)), Describe(c.keys, c.group))
            << c.layout << (c.capsLock ? " with Caps Lock" : "") << " U+" << std::hex
            << static_cast<uint32_t>(c.c);
    }
}

// What a session in `group` of the list makes of the keys.
std::u32string Decode(const std::vector<CharacterKeys>& typed, const char* layout, uint32_t group) {
    test_support::XkbSession session(layout, group, false);
    for (const CharacterKeys& keys : typed) {
        for (const KeyChord& chord : keys.chords) {
            if (chord.shift) session.Key(KEY_LEFTSHIFT, true);
            if (chord.altGr) session.Key(KEY_RIGHTALT, true);
            session.Key(chord.key, true);
            session.Key(chord.key, false);
            if (chord.altGr) session.Key(KEY_RIGHTALT, false);
            if (chord.shift) session.Key(KEY_LEFTSHIFT, false);
        }
    }
    return session.Text();
}

TEST(KeyboardLayout, ABarcodeArrivesWholeInEveryLayout) {
    const std::u32string barcode = U"ABC-123/x ~user^2`";
    const struct {
        const char* layout;
        uint32_t sessionGroup;   // the Latin one of the list
        std::u32string accents;  // typed as well
    } cases[] = {
        {"us", 0, U""},   {"ru,us", 1, U""}, {"gr,us", 1, U""}, {"de", 0, U"´"},   {"ch", 0, U"´¨"},
        {"es", 0, U"´¨"}, {"fr", 0, U"¨"},   {"be", 0, U"´¨"},  {"pt", 0, U"´¨"},  {"se", 0, U"´¨"},
        {"no", 0, U"´¨"}, {"dk", 0, U"´¨"},  {"fi", 0, U"´¨"},  {"us,de", 0, U""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        const auto layout = Compile(c.layout);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->TypingGroup(), c.sessionGroup);
        std::vector<CharacterKeys> typed;
        const std::u32string text = barcode + c.accents;
        for (const char32_t ch : text) {
            const std::optional<CharacterKeys> keys = layout->Keys(ch, false);
            ASSERT_TRUE(keys) << "U+" << std::hex << static_cast<uint32_t>(ch);
            typed.push_back(*keys);
        }
        EXPECT_TRUE(Decode(typed, c.layout, c.sessionGroup) == text);
    }
}

TEST(KeyboardLayout, SaysWhereCharactersComeFrom) {
    const struct {
        const char* layout;
        std::vector<std::string> lines;
    } cases[] = {
        {"de", {}},
        {"ru,us",
         {"characters are typed as us gives them (the session is to be in us), those us lacks "
          "at their keys in ru"}},
        {"de,us",
         {"characters are typed as de gives them (the session is to be in de), those de lacks "
          "at their keys in us"}},
        {"ru", {"layout ru has no Latin letters: those of a barcode cannot be typed"}},
        {"ru,gr",
         {"no layout of ru,gr has the Latin letters: those of a barcode cannot be typed",
          "characters are typed as ru gives them (the session is to be in ru), those ru lacks "
          "at their keys in gr"}},
    };
    for (const auto& c : cases) {
        const auto layout = Compile(c.layout);
        ASSERT_TRUE(layout);
        EXPECT_EQ(DescribeTypingGroups(*layout, c.layout), c.lines) << c.layout;
    }
    // A keymap file names its layouts itself.
    EXPECT_EQ(DescribeTypingGroups(*Compile("ru,us"), ""),
              std::vector<std::string>{"characters are typed as English (US) gives them (the "
                                       "session is to be in English (US)), those English (US) "
                                       "lacks at their keys in Russian"});
}

TEST(KeyboardLayout, RightAltIsAltGrOnlyWhereTheLayoutSaysSo) {
    std::string error;
    EXPECT_FALSE(KeyboardLayout::FromNames({"", "", "us", "", ""}, &error)->HasAltGr());
    EXPECT_TRUE(KeyboardLayout::FromNames({"", "", "de", "", ""}, &error)->HasAltGr());
    // A variant and an option change what the keys give.
    auto noDeadKeys = KeyboardLayout::FromNames({"", "", "de", "nodeadkeys", ""}, &error);
    ASSERT_TRUE(noDeadKeys) << error;
    EXPECT_EQ(Describe(noDeadKeys->Keys(U'^', false)), Describe({Plain(KEY_GRAVE)}, 0));
    auto rightAltIsAlt = KeyboardLayout::FromNames({"", "", "de", "", "lv3:ralt_alt"}, &error);
    ASSERT_TRUE(rightAltIsAlt) << error;
    EXPECT_FALSE(rightAltIsAlt->HasAltGr());
    EXPECT_EQ(Describe(rightAltIsAlt->Keys(U'@', false)), "no key");
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

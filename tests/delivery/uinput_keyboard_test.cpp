// The uinput keyboard's key map, and its refusal where /dev/uinput cannot be
// used (this suite's machine has none; the kernel rig types for real).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include "delivery/barcode_delivery.h"
#include "platform/keyboard/keyboard.h"
#include "platform/keyboard/keyboard_uinput.h"
#include "platform/windows/message_record.h"
#include "test_support/log_capture.h"

using namespace qv;
using ::testing::ElementsAre;

namespace {

TEST(UinputKeyboard, EveryKeyTheDeliveryTypesHasALinuxKey) {
    struct Case {
        uint8_t c;
        uint16_t key;
    };
    // One of each row of the character table, with the US layout's key.
    const Case cases[] = {{'a', KEY_A},          {'Z', KEY_Z},          {'0', KEY_0},
                          {')', KEY_0},          {'&', KEY_7},          {' ', KEY_SPACE},
                          {';', KEY_SEMICOLON},  {'+', KEY_EQUAL},      {'<', KEY_COMMA},
                          {'_', KEY_MINUS},      {'.', KEY_DOT},        {'?', KEY_SLASH},
                          {'~', KEY_GRAVE},      {'{', KEY_LEFTBRACE},  {'|', KEY_BACKSLASH},
                          {']', KEY_RIGHTBRACE}, {'"', KEY_APOSTROPHE}, {'\r', KEY_ENTER},
                          {'\t', KEY_TAB},       {0x1B, KEY_ESC},       {0x08, KEY_BACKSPACE}};
    for (const Case& c : cases) {
        const auto stroke = CharToVirtualKey(c.c);
        ASSERT_TRUE(stroke) << int(c.c);
        EXPECT_EQ(platform::VirtualKeyToLinuxKey(stroke->virtualKey), c.key) << int(c.c);
    }
    // Every printable character has a key; control codes without a key have none.
    for (int c = 0x20; c < 0x7F; ++c) {
        EXPECT_NE(platform::VirtualKeyToLinuxKey(CharToVirtualKey(uint8_t(c))->virtualKey), 0) << c;
    }
    for (uint8_t vk : {0x00, 0x01, 0x0A, 0x1F})
        EXPECT_EQ(platform::VirtualKeyToLinuxKey(vk), 0);
    EXPECT_EQ(platform::VirtualKeyToLinuxKey(platform::kVkControl), KEY_LEFTCTRL);
    EXPECT_EQ(platform::VirtualKeyToLinuxKey(platform::kVkShift), KEY_LEFTSHIFT);
}

TEST(UinputKeyboard, ARefusedOrUnreadableSettingIsSaidAtEachOpenAndTheStandInTypes) {
    const struct {
        const char* value;
        const char* line;
    } cases[] = {
        {"uinput:test keys",
         "key injection: cannot create the virtual keyboard \"test keys\" through /dev/uinput: "},
        {"uinput,colour=red",
         "key injection: QV_KEYBOARD=uinput,colour=red has an unknown item \"colour\"; using the "
         "stand-in"},
    };
    for (const auto& c : cases) {
        test_support::LogCapture log;
        test_support::ScopedEnv keyboard("QV_KEYBOARD", c.value);
        for (int open = 0; open < 2; ++open) {
            platform::LoadConfiguration();
            platform::OpenKeyboard();
            if (!platform::VirtualKeyboardDevice().empty())
                GTEST_SKIP() << "this machine has /dev/uinput";
            EXPECT_FALSE(platform::KeyboardTypesCharacters());
            platform::ClearRecordedEffects();
            platform::KeybdEvent(0x41, 0, platform::kKeyEventSilent);
            platform::KeybdEvent(0x41, 0, platform::kKeyEventKeyUp);
            EXPECT_THAT(platform::RecordedEffects("key"),
                        ElementsAre("key 0x41 0 4", "key 0x41 0 2"));
            EXPECT_FALSE(platform::TypeCharacterInLayout(U'a'));
            EXPECT_EQ(platform::UntypedCharacters(), 0u);  // the stand-in loses none
        }
        EXPECT_EQ(log.Count(c.line), 2) << c.value;
    }
}

}  // namespace

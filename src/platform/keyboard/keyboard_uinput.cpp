#include "platform/keyboard/keyboard_uinput.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <unistd.h>

#include <bitset>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>

#include "platform/core/configuration.h"
#include "platform/keyboard/keyboard.h"
#include "platform/keyboard/keyboard_layout.h"
#include "platform/keyboard/keyboard_session_layout.h"
#include "platform/keyboard/keyboard_setting.h"
#include "platform/log/debug_output.h"
#include "platform/text/utf.h"
#include "platform/windows/clipboard.h"

namespace qv::platform {
namespace {

struct VkKey {
    uint8_t vk;
    uint16_t key;
};

// The US layout's keys, as the stand-in's scan codes describe them. Virtual
// keys the delivery can send and the usual raw keys of prefixes and suffixes.
constexpr VkKey kKeys[] = {
    {0x08, KEY_BACKSPACE},  {0x09, KEY_TAB},        {0x0C, KEY_CLEAR},     {0x0D, KEY_ENTER},
    {0x10, KEY_LEFTSHIFT},  {0x11, KEY_LEFTCTRL},   {0x12, KEY_LEFTALT},   {0x13, KEY_PAUSE},
    {0x14, KEY_CAPSLOCK},   {0x1B, KEY_ESC},        {0x20, KEY_SPACE},     {0x21, KEY_PAGEUP},
    {0x22, KEY_PAGEDOWN},   {0x23, KEY_END},        {0x24, KEY_HOME},      {0x25, KEY_LEFT},
    {0x26, KEY_UP},         {0x27, KEY_RIGHT},      {0x28, KEY_DOWN},      {0x2C, KEY_SYSRQ},
    {0x2D, KEY_INSERT},     {0x2E, KEY_DELETE},     {0x2F, KEY_HELP},      {0x30, KEY_0},
    {0x31, KEY_1},          {0x32, KEY_2},          {0x33, KEY_3},         {0x34, KEY_4},
    {0x35, KEY_5},          {0x36, KEY_6},          {0x37, KEY_7},         {0x38, KEY_8},
    {0x39, KEY_9},          {0x41, KEY_A},          {0x42, KEY_B},         {0x43, KEY_C},
    {0x44, KEY_D},          {0x45, KEY_E},          {0x46, KEY_F},         {0x47, KEY_G},
    {0x48, KEY_H},          {0x49, KEY_I},          {0x4A, KEY_J},         {0x4B, KEY_K},
    {0x4C, KEY_L},          {0x4D, KEY_M},          {0x4E, KEY_N},         {0x4F, KEY_O},
    {0x50, KEY_P},          {0x51, KEY_Q},          {0x52, KEY_R},         {0x53, KEY_S},
    {0x54, KEY_T},          {0x55, KEY_U},          {0x56, KEY_V},         {0x57, KEY_W},
    {0x58, KEY_X},          {0x59, KEY_Y},          {0x5A, KEY_Z},         {0x5B, KEY_LEFTMETA},
    {0x5C, KEY_RIGHTMETA},  {0x5D, KEY_COMPOSE},    {0x5F, KEY_SLEEP},     {0x60, KEY_KP0},
    {0x61, KEY_KP1},        {0x62, KEY_KP2},        {0x63, KEY_KP3},       {0x64, KEY_KP4},
    {0x65, KEY_KP5},        {0x66, KEY_KP6},        {0x67, KEY_KP7},       {0x68, KEY_KP8},
    {0x69, KEY_KP9},        {0x6A, KEY_KPASTERISK}, {0x6B, KEY_KPPLUS},    {0x6D, KEY_KPMINUS},
    {0x6E, KEY_KPDOT},      {0x6F, KEY_KPSLASH},    {0x70, KEY_F1},        {0x71, KEY_F2},
    {0x72, KEY_F3},         {0x73, KEY_F4},         {0x74, KEY_F5},        {0x75, KEY_F6},
    {0x76, KEY_F7},         {0x77, KEY_F8},         {0x78, KEY_F9},        {0x79, KEY_F10},
    {0x7A, KEY_F11},        {0x7B, KEY_F12},        {0x7C, KEY_F13},       {0x7D, KEY_F14},
    {0x7E, KEY_F15},        {0x7F, KEY_F16},        {0x80, KEY_F17},       {0x81, KEY_F18},
    {0x82, KEY_F19},        {0x83, KEY_F20},        {0x84, KEY_F21},       {0x85, KEY_F22},
    {0x86, KEY_F23},        {0x87, KEY_F24},        {0x90, KEY_NUMLOCK},   {0x91, KEY_SCROLLLOCK},
    {0xA0, KEY_LEFTSHIFT},  {0xA1, KEY_RIGHTSHIFT}, {0xA2, KEY_LEFTCTRL},  {0xA3, KEY_RIGHTCTRL},
    {0xA4, KEY_LEFTALT},    {0xA5, KEY_RIGHTALT},   {0xBA, KEY_SEMICOLON}, {0xBB, KEY_EQUAL},
    {0xBC, KEY_COMMA},      {0xBD, KEY_MINUS},      {0xBE, KEY_DOT},       {0xBF, KEY_SLASH},
    {0xC0, KEY_GRAVE},      {0xDB, KEY_LEFTBRACE},  {0xDC, KEY_BACKSLASH}, {0xDD, KEY_RIGHTBRACE},
    {0xDE, KEY_APOSTROPHE},
};

// Everything below is guarded by the mutex; never destroyed, since a
// delivery may still type while the process exits (the device itself is
// removed at exit).
struct Keyboard {
    std::mutex mutex;
    libevdev* dev = nullptr;
    libevdev_uinput* uinput = nullptr;
    std::string deviceName;
    std::unique_ptr<KeyboardLayout> layout;  // null: keys go by virtual key, at US positions
    std::string layoutText;                  // how the log names the layout
    bool capsLock = false;                   // as the session last set the Caps Lock LED
    std::set<char32_t> reportedChars;        // said to have no key, this open
    uint32_t untyped = 0;                    // characters skipped since the open
    std::bitset<256> reportedKeys;           // virtual keys said to have no Linux key
    bool writeFailed = false;
    bool exitHook = false;
};

Keyboard& TheKeyboard() {
    static Keyboard* keyboard = new Keyboard;
    return *keyboard;
}

// Needs the mutex.
void Remove(Keyboard& k) {
    if (k.uinput != nullptr) libevdev_uinput_destroy(k.uinput);
    if (k.dev != nullptr) libevdev_free(k.dev);
    k.uinput = nullptr;
    k.dev = nullptr;
    k.deviceName.clear();
    k.layout.reset();
    k.capsLock = false;
}

void RemoveAtExit() {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    Remove(k);
}

// Creates the device; says why not and returns false when the kernel refuses.
bool Create(Keyboard& k, const std::string& name) {
    libevdev* dev = libevdev_new();
    libevdev_set_name(dev, name.c_str());
    libevdev_set_id_bustype(dev, BUS_VIRTUAL);
    libevdev_enable_event_type(dev, EV_KEY);
    // Every key a layout lookup may press (with the ISO key and right Alt),
    // and the keys of raw virtual keys.
    for (uint16_t key = kFirstLayoutKey; key <= kLastLayoutKey; ++key)
        libevdev_enable_event_code(dev, EV_KEY, key, nullptr);
    for (const VkKey& key : kKeys)
        libevdev_enable_event_code(dev, EV_KEY, key.key, nullptr);
    // The session writes its Caps Lock state back to every keyboard's LED.
    libevdev_enable_event_type(dev, EV_LED);
    libevdev_enable_event_code(dev, EV_LED, LED_CAPSL, nullptr);
    libevdev_uinput* uinput = nullptr;
    const int r = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &uinput);
    if (r < 0) {
        libevdev_free(dev);
        DebugOutputUtf8("key injection: cannot create the virtual keyboard \"" + name +
                        "\" through /dev/uinput: " + std::strerror(-r) + "; using the stand-in\n");
        return false;
    }
    // The LED state is read between keys, never waited for.
    const int fd = libevdev_uinput_get_fd(uinput);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    k.dev = dev;
    k.uinput = uinput;
    k.deviceName = name;
    if (!k.exitHook) {
        k.exitHook = true;
        std::atexit(RemoveAtExit);
    }
    return true;
}

// Takes the LED states the session wrote back since the last key.
void ReadLeds(Keyboard& k) {
    const int fd = libevdev_uinput_get_fd(k.uinput);
    input_event e{};
    while (::read(fd, &e, sizeof e) == static_cast<ssize_t>(sizeof e)) {
        if (e.type == EV_LED && e.code == LED_CAPSL) k.capsLock = e.value != 0;
    }
}

void Emit(Keyboard& k, uint16_t key, int value) {
    int r = libevdev_uinput_write_event(k.uinput, EV_KEY, key, value);
    if (r >= 0) r = libevdev_uinput_write_event(k.uinput, EV_SYN, SYN_REPORT, 0);
    if (r < 0 && !k.writeFailed) {
        k.writeFailed = true;
        DebugOutputUtf8(std::string("key injection: cannot type on the virtual keyboard: ") +
                        std::strerror(-r) + "\n");
    }
}

// Backspace, Tab, Return and Escape are the only control characters with a
// key in the virtual-key table; the others stay untyped rather than reach a
// key such as Delete.
bool IsTypableControl(char32_t c) {
    return c == 0x08 || c == 0x09 || c == 0x0D || c == 0x1B;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

void ReportNoKey(Keyboard& k, char32_t c) {
    if (!k.reportedChars.insert(c).second) return;
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    std::string line = "key injection: layout " + k.layoutText + " has no single key for " + code;
    if (!IsControl(c) && c < 0x110000 && (c < 0xD800 || c > 0xDFFF)) {
        line += " \"" + CodePointToUtf8(c) + "\"";
    }
    DebugOutputUtf8(line + "; skipped\n");
}

// Compiles the layout the setting and the session give; falls back to "us"
// when it does not compile, and to US positions without libxkbcommon data.
void FindLayout(Keyboard& k, const KeyboardSetting& setting) {
    const LayoutChoice choice = ReadSessionLayout(setting);
    std::string error;
    std::string text =
        choice.keymapFile.empty() ? DescribeLayout(choice.names) : "from " + choice.keymapFile;
    k.layout = choice.keymapFile.empty()
                   ? KeyboardLayout::FromNames(choice.names, &error)
                   : KeyboardLayout::FromKeymapFile(choice.keymapFile, &error);
    std::string from(LayoutSourceName(choice.source));
    const bool named = k.layout != nullptr && choice.keymapFile.empty();
    if (k.layout == nullptr) {
        DebugOutputUtf8("key injection: " + error + "; using layout us\n");
        k.layout = KeyboardLayout::FromNames(LayoutNames{"", "", "us", "", ""}, &error);
        text = "us";
        from = "the fallback";
    }
    if (k.layout == nullptr) {
        k.layoutText.clear();
        DebugOutputUtf8("key injection: " + error + "; typing at US key positions\n");
        return;
    }
    k.layoutText = text;
    const char* node = libevdev_uinput_get_devnode(k.uinput);
    DebugOutputUtf8("key injection: typing on \"" + k.deviceName + "\" (" +
                    (node != nullptr ? node : "no event device") + ") in layout " + text +
                    ", from " + from + "\n");
    // A keymap file, or the fallback, has no list of names here: xkb's are used.
    const std::string list = named ? choice.names.layout : "";
    for (const std::string& line : DescribeTypingGroups(*k.layout, list))
        DebugOutputUtf8("key injection: " + line + "\n");
}

void Press(Keyboard& k, const KeyChord& chord) {
    if (chord.shift) Emit(k, KEY_LEFTSHIFT, 1);
    if (chord.altGr) Emit(k, KEY_RIGHTALT, 1);
    Emit(k, chord.key, 1);
    Emit(k, chord.key, 0);
    if (chord.altGr) Emit(k, KEY_RIGHTALT, 0);
    if (chord.shift) Emit(k, KEY_LEFTSHIFT, 0);
}

}  // namespace

void OpenKeyboard() {
    const std::string value = CurrentConfiguration()->keyboard;
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    k.reportedChars.clear();
    k.untyped = 0;
    k.reportedKeys.reset();
    k.writeFailed = false;
    if (value.empty()) {
        Remove(k);
        return;
    }
    const KeyboardSetting setting = ParseKeyboardSetting(value);
    if (!setting.valid) {
        Remove(k);
        DebugOutputUtf8("key injection: QV_KEYBOARD=" + value + " " + setting.error +
                        "; using the stand-in\n");
        return;
    }
    // The device stays from open to open while its name does, so the
    // session does not see a keyboard come and go at every open.
    if (k.uinput == nullptr || k.deviceName != setting.deviceName) {
        Remove(k);
        if (!Create(k, setting.deviceName)) return;
    }
    ReadLeds(k);
    FindLayout(k, setting);
    if (k.layout != nullptr && !ClipboardReachesSystem()) {
        DebugOutputUtf8("key injection: clipboard mode types the text on \"" + k.deviceName +
                        "\" instead of pasting: the library's clipboard does not reach the "
                        "system's\n");
    }
}

bool KeyboardTypesCharacters() {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    return k.uinput != nullptr && k.layout != nullptr;
}

bool TypeCharacterInLayout(char32_t c) {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    if (k.uinput == nullptr || k.layout == nullptr) return false;
    ReadLeds(k);
    std::optional<CharacterKeys> keys;
    if (!IsControl(c) || IsTypableControl(c)) keys = k.layout->Keys(c, k.capsLock);
    if (!keys) {
        ++k.untyped;
        ReportNoKey(k, c);
        return true;
    }
    for (const KeyChord& chord : keys->chords)
        Press(k, chord);
    return true;
}

uint32_t UntypedCharacters() {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    return k.untyped;
}

uint16_t VirtualKeyToLinuxKey(uint8_t virtualKey) {
    for (const VkKey& key : kKeys) {
        if (key.vk == virtualKey) return key.key;
    }
    return 0;
}

bool TypeOnVirtualKeyboard(uint8_t virtualKey, bool keyUp) {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    if (k.uinput == nullptr) return false;
    const uint16_t key = VirtualKeyToLinuxKey(virtualKey);
    if (key == 0) {
        if (!k.reportedKeys.test(virtualKey)) {
            k.reportedKeys.set(virtualKey);
            char line[96];
            std::snprintf(line, sizeof line,
                          "key injection: virtual key 0x%02X has no Linux key; skipped\n",
                          virtualKey);
            DebugOutputUtf8(line);
        }
        return true;
    }
    Emit(k, key, keyUp ? 0 : 1);
    return true;
}

std::string VirtualKeyboardDevice() {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    if (k.uinput == nullptr) return {};
    const char* node = libevdev_uinput_get_devnode(k.uinput);
    return node != nullptr ? node : "";
}

}  // namespace qv::platform

#include "platform/os/keyboard_uinput.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/configuration.h"
#include "platform/debug_output.h"

namespace qv::platform {
namespace {

constexpr char kDefaultName[] = "RO25 imager keyboard";

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
    std::string refusedFor;     // the QV_KEYBOARD value whose device was refused
    std::bitset<256> reported;  // keys already said to have no Linux equivalent
};

Keyboard& TheKeyboard() {
    static Keyboard* keyboard = new Keyboard;
    return *keyboard;
}

void RemoveAtExit() {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    if (k.uinput != nullptr) libevdev_uinput_destroy(k.uinput);
    if (k.dev != nullptr) libevdev_free(k.dev);
    k.uinput = nullptr;
    k.dev = nullptr;
}

// The device name QV_KEYBOARD asks for, or null when it asks for none.
const char* RequestedName(std::string_view value, std::string& name) {
    if (value == "uinput") {
        name = kDefaultName;
        return name.c_str();
    }
    if (value.starts_with("uinput:") && value.size() > 7) {
        name = std::string(value.substr(7));
        return name.c_str();
    }
    return nullptr;
}

// Creates the device when QV_KEYBOARD asks for one; true when it exists.
bool Ensure(Keyboard& k) {
    if (k.uinput != nullptr) return true;
    // As read when the imager was opened, not on the delivering thread.
    const std::string value = CurrentConfiguration()->keyboard;
    if (value.empty() || k.refusedFor == value) return false;
    std::string name;
    if (RequestedName(value, name) == nullptr) {
        k.refusedFor = value;
        DebugOutputUtf8("key injection: QV_KEYBOARD=" + value +
                        " is not uinput or uinput:<device name>; using the stand-in\n");
        return false;
    }
    libevdev* dev = libevdev_new();
    libevdev_set_name(dev, name.c_str());
    libevdev_set_id_bustype(dev, BUS_VIRTUAL);
    libevdev_enable_event_type(dev, EV_KEY);
    for (const VkKey& key : kKeys)
        libevdev_enable_event_code(dev, EV_KEY, key.key, nullptr);
    libevdev_uinput* uinput = nullptr;
    const int r = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &uinput);
    if (r < 0) {
        libevdev_free(dev);
        k.refusedFor = value;
        DebugOutputUtf8("key injection: cannot create the virtual keyboard \"" + name +
                        "\" through /dev/uinput: " + std::strerror(-r) + "; using the stand-in\n");
        return false;
    }
    k.dev = dev;
    k.uinput = uinput;
    std::atexit(RemoveAtExit);
    return true;
}

}  // namespace

uint16_t VirtualKeyToLinuxKey(uint8_t virtualKey) {
    for (const VkKey& key : kKeys) {
        if (key.vk == virtualKey) return key.key;
    }
    return 0;
}

bool TypeOnVirtualKeyboard(uint8_t virtualKey, bool keyUp) {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    if (!Ensure(k)) return false;
    const uint16_t key = VirtualKeyToLinuxKey(virtualKey);
    if (key == 0) {
        if (!k.reported.test(virtualKey)) {
            k.reported.set(virtualKey);
            char line[96];
            std::snprintf(line, sizeof line,
                          "key injection: virtual key 0x%02X has no Linux key; skipped\n",
                          virtualKey);
            DebugOutputUtf8(line);
        }
        return true;
    }
    const int r = libevdev_uinput_write_event(k.uinput, EV_KEY, key, keyUp ? 0 : 1);
    if (r < 0 || libevdev_uinput_write_event(k.uinput, EV_SYN, SYN_REPORT, 0) < 0) {
        if (!k.reported.test(virtualKey)) {
            k.reported.set(virtualKey);
            DebugOutputUtf8(std::string("key injection: cannot type on the virtual keyboard: ") +
                            std::strerror(r < 0 ? -r : errno) + "\n");
        }
    }
    return true;
}

std::string VirtualKeyboardDevice() {
    Keyboard& k = TheKeyboard();
    std::lock_guard lock(k.mutex);
    if (!Ensure(k)) return {};
    const char* node = libevdev_uinput_get_devnode(k.uinput);
    return node != nullptr ? node : "";
}

}  // namespace qv::platform

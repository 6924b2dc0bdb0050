// What QV_KEYBOARD asks for, and where the layout of the keys comes from.
// Pure: values in, values out. Internal to the platform layer.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qv::platform {

// The names an XKB keymap is compiled from; empty fields take the defaults
// ("evdev" rules, "pc105" model).
struct LayoutNames {
    std::string rules;
    std::string model;
    std::string layout;
    std::string variant;
    std::string options;
    bool operator==(const LayoutNames&) const = default;
};

// What a character no key or dead key of the layouts types becomes. Only
// skipping exists; a Unicode-input fallback would be another value here.
enum class UntypableCharacter { kSkip };

// QV_KEYBOARD=uinput[:<device name>][,layout=…][,variant=…][,options=…]
//            [,model=…][,keymap=<file>][,fallback=skip]
struct KeyboardSetting {
    bool valid = false;
    std::string error;  // why the value is not valid
    std::string deviceName;
    LayoutNames layout;      // explicit fields, if any
    std::string keymapFile;  // an XKB keymap file, which wins over the names
    UntypableCharacter untypable = UntypableCharacter::kSkip;
};

inline constexpr char kDefaultKeyboardName[] = "RO25 imager keyboard";

KeyboardSetting ParseKeyboardSetting(std::string_view value);

// The sources of the layout, in the order they are asked.
enum class LayoutSource { kSetting, kEnvironment, kLocaled, kDefaultKeyboardFile, kBuiltIn };

// How the log names a source.
std::string_view LayoutSourceName(LayoutSource source);

struct LayoutChoice {
    LayoutNames names;
    std::string keymapFile;
    LayoutSource source = LayoutSource::kBuiltIn;
};

// The first source that names a layout, asking `read` for the environment,
// systemd-localed and /etc/default/keyboard only as far as needed; "us"
// when none does.
LayoutChoice ChooseLayout(const KeyboardSetting& setting,
                          const std::function<std::optional<LayoutNames>(LayoutSource)>& read);

// XKBLAYOUT, XKBVARIANT, XKBOPTIONS and XKBMODEL of /etc/default/keyboard
// (a shell fragment of assignments, values possibly quoted); nothing when it
// names no layout.
std::optional<LayoutNames> ParseDefaultKeyboard(std::string_view text);

// "de" or "de(nodeadkeys)" with ", options …" when there are some: how the log names a layout.
std::string DescribeLayout(const LayoutNames& names);

}  // namespace qv::platform

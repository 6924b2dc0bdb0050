#include "platform/keyboard/keyboard_setting.h"

#include <vector>

namespace qv::platform {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The value of a shell assignment's right-hand side: one pair of quotes
// removed; nothing is expanded.
std::string Unquote(std::string_view s) {
    s = Trim(s);
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
        s = s.substr(1, s.size() - 2);
    }
    return std::string(s);
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == separator) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

}  // namespace

KeyboardSetting ParseKeyboardSetting(std::string_view value) {
    KeyboardSetting setting;
    const std::vector<std::string_view> items = Split(value, ',');
    std::string_view head = items.front();
    if (head == "uinput") {
        setting.deviceName = kDefaultKeyboardName;
    } else if (head.starts_with("uinput:") && head.size() > 7) {
        setting.deviceName = std::string(head.substr(7));
    } else {
        setting.error = "is not uinput or uinput:<device name>";
        return setting;
    }
    // XKB lists its layouts and options with commas too: an item without
    // '=' continues the value before it ("options=grp:alt_shift_toggle,caps:none").
    std::string* last = nullptr;
    for (size_t i = 1; i < items.size(); ++i) {
        const std::string_view item = items[i];
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            if (last == nullptr || item.empty()) {
                setting.error = "has an item without a name: \"" + std::string(item) + "\"";
                return setting;
            }
            *last += ',';
            *last += item;
            continue;
        }
        const std::string_view name = item.substr(0, equals);
        const std::string text(item.substr(equals + 1));
        std::string fallback;
        if (name == "layout") {
            last = &setting.layout.layout;
        } else if (name == "variant") {
            last = &setting.layout.variant;
        } else if (name == "options") {
            last = &setting.layout.options;
        } else if (name == "model") {
            last = &setting.layout.model;
        } else if (name == "rules") {
            last = &setting.layout.rules;
        } else if (name == "keymap") {
            last = &setting.keymapFile;
        } else if (name == "fallback") {
            if (text != "skip") {
                setting.error = "has fallback=" + text + "; only skip is known";
                return setting;
            }
            last = nullptr;
            continue;
        } else {
            setting.error = "has an unknown item \"" + std::string(name) + "\"";
            return setting;
        }
        *last = text;
    }
    if (!setting.layout.layout.empty() && !setting.keymapFile.empty()) {
        setting.error = "names both a layout and a keymap file";
        return setting;
    }
    setting.valid = true;
    return setting;
}

std::string_view LayoutSourceName(LayoutSource source) {
    switch (source) {
        case LayoutSource::kSetting:
            return "QV_KEYBOARD";
        case LayoutSource::kEnvironment:
            return "XKB_DEFAULT_LAYOUT";
        case LayoutSource::kLocaled:
            return "systemd-localed";
        case LayoutSource::kDefaultKeyboardFile:
            return "/etc/default/keyboard";
        case LayoutSource::kBuiltIn:
            break;
    }
    return "the built-in default";
}

LayoutChoice ChooseLayout(const KeyboardSetting& setting,
                          const std::function<std::optional<LayoutNames>(LayoutSource)>& read) {
    LayoutChoice choice;
    if (!setting.keymapFile.empty() || !setting.layout.layout.empty()) {
        choice.names = setting.layout;
        choice.keymapFile = setting.keymapFile;
        choice.source = LayoutSource::kSetting;
        return choice;
    }
    for (const LayoutSource source :
         {LayoutSource::kEnvironment, LayoutSource::kLocaled, LayoutSource::kDefaultKeyboardFile}) {
        std::optional<LayoutNames> names = read(source);
        if (!names || names->layout.empty()) continue;
        choice.names = std::move(*names);
        // A model or options given with QV_KEYBOARD still apply.
        if (!setting.layout.model.empty()) choice.names.model = setting.layout.model;
        if (!setting.layout.options.empty()) choice.names.options = setting.layout.options;
        choice.source = source;
        return choice;
    }
    choice.names = setting.layout;
    choice.names.layout = "us";
    choice.source = LayoutSource::kBuiltIn;
    return choice;
}

std::optional<LayoutNames> ParseDefaultKeyboard(std::string_view text) {
    LayoutNames names;
    for (std::string_view line : Split(text, '\n')) {
        line = Trim(line);
        if (line.starts_with("export ")) line = Trim(line.substr(7));
        const size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
        const std::string_view name = line.substr(0, equals);
        std::string value = Unquote(line.substr(equals + 1));
        if (name == "XKBLAYOUT") names.layout = std::move(value);
        if (name == "XKBVARIANT") names.variant = std::move(value);
        if (name == "XKBOPTIONS") names.options = std::move(value);
        if (name == "XKBMODEL") names.model = std::move(value);
    }
    if (names.layout.empty()) return std::nullopt;
    return names;
}

std::string DescribeLayout(const LayoutNames& names) {
    std::string text = names.layout;
    if (!names.variant.empty()) text += "(" + names.variant + ")";
    if (!names.options.empty()) text += ", options " + names.options;
    if (!names.model.empty()) text += ", model " + names.model;
    return text;
}

}  // namespace qv::platform

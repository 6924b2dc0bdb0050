#include "platform/keyboard/keyboard_session_layout.h"

#include <fstream>
#include <sstream>

#include "platform/core/configuration.h"
#include "platform/keyboard/keyboard_localed.h"

namespace qv::platform {
namespace {

constexpr char kDefaultKeyboardFile[] = "/etc/default/keyboard";

std::optional<LayoutNames> FromEnvironment() {
    LayoutNames names;
    names.layout = ReadEnvironment("XKB_DEFAULT_LAYOUT").value_or("");
    if (names.layout.empty()) return std::nullopt;
    names.variant = ReadEnvironment("XKB_DEFAULT_VARIANT").value_or("");
    names.options = ReadEnvironment("XKB_DEFAULT_OPTIONS").value_or("");
    names.model = ReadEnvironment("XKB_DEFAULT_MODEL").value_or("");
    names.rules = ReadEnvironment("XKB_DEFAULT_RULES").value_or("");
    return names;
}

std::optional<LayoutNames> FromDefaultKeyboardFile() {
    std::ifstream file(kDefaultKeyboardFile);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return ParseDefaultKeyboard(text.str());
}

}  // namespace

LayoutChoice ReadSessionLayout(const KeyboardSetting& setting) {
    return ChooseLayout(setting, [](LayoutSource source) -> std::optional<LayoutNames> {
        switch (source) {
            case LayoutSource::kEnvironment:
                return FromEnvironment();
            case LayoutSource::kLocaled:
                return ReadLocaledLayout();
            case LayoutSource::kDefaultKeyboardFile:
                return FromDefaultKeyboardFile();
            default:
                return std::nullopt;
        }
    });
}

}  // namespace qv::platform

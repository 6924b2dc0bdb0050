#include "key_strokes.h"

#include <charconv>

namespace qv::cli {
namespace {

constexpr uint32_t kKeyUpFlag = 0x0002;

std::string KeyName(uint8_t vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, char(vk));
    switch (vk) {
        case 0x08:
            return "Backspace";
        case 0x09:
            return "Tab";
        case 0x0A:
            return "LF";
        case 0x0D:
            return "Enter";
        case 0x10:
            return "Shift";
        case 0x11:
            return "Ctrl";
        case 0x12:
            return "Alt";
        case 0x1B:
            return "Esc";
        case 0x20:
            return "Space";
        default:
            break;
    }
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("0x") + kHex[vk >> 4] + kHex[vk & 0xF];
}

bool ReadNumber(std::string_view& rest, uint32_t& value, int base) {
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    if (base == 16) {
        if (!rest.starts_with("0x")) return false;
        rest.remove_prefix(2);
    }
    auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value, base);
    if (ec != std::errc() || ptr == rest.data()) return false;
    rest.remove_prefix(static_cast<size_t>(ptr - rest.data()));
    return true;
}

}  // namespace

std::optional<KeyStroke> ParseKeyEffect(std::string_view line) {
    if (!line.starts_with("key ")) return std::nullopt;
    std::string_view rest = line.substr(4);
    uint32_t vk = 0, scan = 0, flags = 0;
    if (!ReadNumber(rest, vk, 16) || !ReadNumber(rest, scan, 10) || !ReadNumber(rest, flags, 10) ||
        vk > 0xFF) {
        return std::nullopt;
    }
    return KeyStroke{static_cast<uint8_t>(vk), (flags & kKeyUpFlag) != 0};
}

std::string FormatKeyStrokes(const std::vector<KeyStroke>& strokes) {
    std::string out;
    for (const KeyStroke& k : strokes) {
        if (!out.empty()) out += ' ';
        out += k.up ? '-' : '+';
        out += KeyName(k.virtualKey);
    }
    return out;
}

}  // namespace qv::cli

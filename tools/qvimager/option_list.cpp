#include "option_list.h"

#include <charconv>
#include <limits>

namespace qv::cli {

std::optional<int32_t> ParseNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    std::string_view digits = text;
    if (digits.front() == '-' || digits.front() == '+') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty()) return std::nullopt;
    // Through 64 bits, so that -2147483648 and 0xFFFFFFFF both fit.
    uint64_t magnitude = 0;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, magnitude, base);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    if (negative) {
        if (magnitude > uint64_t{1} << 31) return std::nullopt;
        return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    }
    if (base == 16 && magnitude <= std::numeric_limits<uint32_t>::max()) {
        return static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    }
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<int32_t>(magnitude);
}

std::optional<OptionList> ParseOptionList(std::string_view text, int count, uint32_t charMask,
                                          std::string* error) {
    OptionList list;
    auto fail = [&](std::string why) -> std::optional<OptionList> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma - start);
        const int index = static_cast<int>(list.size());
        const bool isChar = index < 32 && (charMask >> index & 1u) != 0;
        if (item.empty()) {
            list.push_back(std::nullopt);
        } else if (auto n = ParseNumber(item)) {
            if (isChar && (*n < -128 || *n > 255)) {
                return fail("value " + std::to_string(index + 1) +
                            " is a character: " + std::string(item) + " is not 0 to 255");
            }
            list.push_back(n);
        } else if (isChar && item.size() == 1) {
            list.push_back(static_cast<uint8_t>(item[0]));
        } else {
            return fail("value " + std::to_string(index + 1) + " (\"" + std::string(item) +
                        "\") is not a number" + (isChar ? " or a single character" : ""));
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (static_cast<int>(list.size()) != count) {
        return fail("expected " + std::to_string(count) + " value" + (count == 1 ? "" : "s") +
                    ", got " + std::to_string(list.size()));
    }
    return list;
}

std::vector<int32_t> Merge(const OptionList& list, const std::vector<int32_t>& current) {
    std::vector<int32_t> out(list.size(), 0);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i]) {
            out[i] = *list[i];
        } else if (i < current.size()) {
            out[i] = current[i];
        }
    }
    return out;
}

bool NeedsCurrent(const OptionList& list) {
    for (const auto& value : list) {
        if (!value) return true;
    }
    return false;
}

std::string FormatValues(const std::vector<int32_t>& values) {
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        out += std::to_string(values[i]);
    }
    return out;
}

}  // namespace qv::cli

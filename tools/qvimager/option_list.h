// Values as written on the command line and as printed: single numbers
// ("12", "-1", "0x41") and comma-separated lists for the Set/Get pairs,
// where an empty place keeps the engine's current value and a character
// place also takes the character itself ("1,0,,A").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::cli {

// A 32-bit value in decimal (with an optional sign) or in hexadecimal (0x...).
std::optional<int32_t> ParseNumber(std::string_view text);

// One place per value; nullopt keeps the current value.
using OptionList = std::vector<std::optional<int32_t>>;

// `count` places; bit i of `charMask` marks a character place. Returns
// nullopt and explains in `error` when the list does not fit.
std::optional<OptionList> ParseOptionList(std::string_view text, int count, uint32_t charMask,
                                          std::string* error);

// The values of `list` where given, else those of `current`.
std::vector<int32_t> Merge(const OptionList& list, const std::vector<int32_t>& current);

// True when some place keeps its current value, so it must be read first.
bool NeedsCurrent(const OptionList& list);

// "1,0,1,0", characters as their number ("65").
std::string FormatValues(const std::vector<int32_t>& values);

}  // namespace qv::cli

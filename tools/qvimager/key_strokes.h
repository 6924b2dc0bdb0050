// Key strokes as the platform records them ("key 0x41 30 4"), read back and
// written short for people: "+Shift +A -A -Shift".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::cli {

struct KeyStroke {
    uint8_t virtualKey = 0;
    bool up = false;
    bool operator==(const KeyStroke&) const = default;
};

// Nullopt for a record line that is not a key event.
std::optional<KeyStroke> ParseKeyEffect(std::string_view line);

std::string FormatKeyStrokes(const std::vector<KeyStroke>& strokes);

}  // namespace qv::cli

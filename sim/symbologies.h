// The symbologies the engine decodes, named by the host library's symbology
// numbers, with the parameters that enable them and that hold the code-ID
// character the engine puts in front of their data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qv::sim {

struct Symbology {
    int number;
    std::string_view name;  // short name accepted by ro25-sim
    uint8_t group;
    uint8_t enableParameter;
    // Where its code-ID character lives. The three symbologies without one of
    // their own (MacroPDF, ISBT 128, UPC-E1) use that of their parent family.
    uint8_t idGroup;
    uint8_t idParameter;
    bool ownCodeId;
};

std::span<const Symbology> Symbologies();
const Symbology* FindSymbology(int number);
// Accepts a number ("12") or a name ("code39"), case-insensitively.
const Symbology* FindSymbology(std::string_view numberOrName);

}  // namespace qv::sim

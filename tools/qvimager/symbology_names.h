// The names qvimager accepts for what it reads and changes: the 41
// symbologies (by number or by name), the option sets of the per-symbology
// Set/Get pairs, and the general options. Pure tables, no engine access.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qv::cli {

// One Set/Get pair of per-symbology options, e.g. QVImagerSetCode39Setting.
enum class OptionSet {
    Aztec,
    BPO,
    Codabar,
    Code11,
    Code39,
    Code93,
    Code128_GS1_128_ISBT,
    DataMatrix,
    UPCA,
    UPCE,
    EAN13,
    EAN8,
    UPCEAN,
    GS1Composite,
    Interleaved2of5,
    Matrix2of5,
    MSI,
    PDF417,
    MicroPDF,
    Planet,
    Plessey,
    Postnet,
    QRCode,
    Standard2of5,
    Telepen,
    TLC39,
};

struct OptionSetInfo {
    OptionSet set;
    std::string_view stem;  // the export stem: QVImagerSet<stem>Setting
    int count;              // values in the pair's argument list
    uint32_t charMask;      // bit i set: value i is a single 8-bit character
    bool IsChar(int index) const { return (charMask >> index & 1u) != 0; }
};

std::span<const OptionSetInfo> OptionSets();
const OptionSetInfo& InfoOf(OptionSet set);

struct SymbologyName {
    int number;                    // as reported with each barcode
    std::string_view title;        // for people: "Code 39"
    std::string_view name;         // on the command line: "code39"
    std::string_view aliases;      // further accepted names, blank-separated
    const OptionSetInfo* options;  // its options, or null when it has none
};

std::span<const SymbologyName> SymbologyNames();
// By number ("12") or by name or alias, ignoring case and the characters
// '-', '_', '/' and blanks ("GS1-128" = "gs1128"). Null when unknown.
const SymbologyName* FindSymbology(std::string_view numberOrName);
const SymbologyName* FindSymbology(int number);
// "Code 39" for a known number, else "unknown".
std::string_view SymbologyTitle(int number);

// What `get` and `set` act on.
struct SettingTarget {
    enum class Kind { Symbology, OptionsOnly, General, All };
    Kind kind = Kind::Symbology;
    const SymbologyName* symbology = nullptr;  // Kind::Symbology
    const OptionSetInfo* options = nullptr;    // Symbology (may be null) and OptionsOnly
    std::string_view title;
};

// A symbology, "upcean" (the UPC/EAN options common to the family),
// "general" (the general engine options) or "all" (every enable flag).
bool FindTarget(std::string_view text, SettingTarget& target);

}  // namespace qv::cli

#include "sim/parameter_table.h"

#include <array>

#include "sim/symbologies.h"

namespace qv::sim {
namespace {

// Options of the symbology families and the general settings, with the
// engine's factory values. Their meaning is the engine's affair; the host
// passes them through.
constexpr Entry kOptionDefaults[] = {
    // Aztec, BPO, Codabar, Code 11
    {0x53, 0x43, 0},
    {0x53, 0x42, 0},
    {0x53, 0x41, 1},
    {0x53, 0x46, 0},
    {0x32, 0x54, 0},
    {0x40, 0x58, 0},
    {0x40, 0x4C, 4},
    {0x40, 0x54, 0},
    {0x40, 0x59, 0},
    {0x40, 0x5A, 1},
    {0x40, 0x5B, 0},
    {0x4A, 0x54, 1},
    {0x4A, 0x4C, 4},
    // Code 39, Code 93
    {0x42, 0x47, 0},
    {0x42, 0x4F, 0},
    {0x42, 0x58, 0},
    {0x42, 0x43, 0},
    {0x41, 0x61, 0},
    // Code 128 / GS1-128 / ISBT; 0x59 holds a character (GS)
    {0x43, 0x4C, 1},
    {0x43, 0x43, 0},
    {0x43, 0x58, 0},
    {0x43, 0x60, 0},
    {0x43, 0x5B, 0},
    {0x43, 0x5A, 0},
    {0x43, 0x59, 0x1D},
    {0x43, 0x47, 0},
    {0x43, 0x4F, 0},
    {0x43, 0x61, 0},
    // Data Matrix
    {0x54, 0x43, 1},
    {0x54, 0x45, 0},
    {0x54, 0x46, 0},
    // UPC/EAN; 0x47 holds a character
    {0x4B, 0x54, 1},
    {0x4B, 0x58, 1},
    {0x4B, 0x5A, 0},
    {0x4B, 0x55, 1},
    {0x4B, 0x59, 1},
    {0x4B, 0x5B, 0},
    {0x4B, 0x57, 1},
    {0x4B, 0x44, 0},
    {0x4B, 0x61, 0},
    {0x4B, 0x62, 0},
    {0x4B, 0x56, 1},
    {0x4B, 0x5C, 0},
    {0x4B, 0x60, 0},
    {0x4B, 0x5D, 0},
    {0x4B, 0x45, 0},
    {0x4B, 0x46, 0},
    {0x4B, 0x47, 0x20},
    {0x4B, 0x4D, 0},
    // GS1 Composite, Interleaved 2 of 5, Matrix 2 of 5, MSI
    {0x56, 0x43, 0},
    {0x56, 0x44, 0},
    {0x56, 0x5E, 0},
    {0x44, 0x4F, 0},
    {0x44, 0x4C, 6},
    {0x44, 0x54, 0},
    {0x45, 0x43, 0},
    {0x46, 0x54, 0},
    {0x46, 0x4C, 4},
    // PDF417, MicroPDF417, Planet, Plessey, Postnet, QR Code
    {0x4C, 0x43, 0},
    {0x4C, 0x58, 0},
    {0x4C, 0x45, 0},
    {0x31, 0x54, 0},
    {0x47, 0x54, 0},
    {0x47, 0x43, 0},
    {0x30, 0x54, 0},
    {0x55, 0x45, 0},
    {0x55, 0x46, 0},
    // Standard 2 of 5, Telepen, TLC39; TLC39's 0x47 holds a character
    {0x48, 0x58, 0},
    {0x48, 0x4C, 4},
    {0x48, 0x54, 0},
    {0x49, 0x58, 0},
    {0x4E, 0x44, 0},
    {0x4E, 0x47, 0x20},
    // Security level, then the general options (0x82, 0x83, 0xA0..0xA2: two bytes)
    {0x71, 0x40, 1},
    {0x7B, 0x44, 0},
    {0x7B, 0x4B, 1},
    {0x7B, 0x57, 0},
    {0x7B, 0x53, 1},
    {0x7B, 0x4D, 0},
    {0x7B, 0x56, 0},
    {0x7B, 0x52, 0},
    {0x7B, 0x54, 0},
    {0x7B, 0x58, 1},
    {0x7B, 0x43, 0},
    {0x7B, 0x45, 0},
    {0x7B, 0x46, 0},
    {0x7B, 0x82, 500},
    {0x7B, 0x83, 3000},
    {0x7B, 0x48, 0},
    {0x7B, 0x49, 0},
    {0x7B, 0x40, 0},
    {0x7B, 0x47, 0},
    {0x7B, 0x42, 0},
    {0x7B, 0x41, 0},
    {0x7B, 0x55, 0},
    {0x7B, 0xA0, 0},
    {0x7B, 0xA1, 0},
    {0x7B, 0xA2, 100},
    // Interface settings and the self test
    {0x60, 0xC1, 1},
    {0x73, 0x40, 0},
    {0x60, 0x40, 0},
    {0x73, 0x4E, 1},
    {0x70, 0x40, 0},
};

// Families whose parameters 0x50 to 0x52 exist.
constexpr uint8_t kGroupsWith50To52[] = {0x40, 0x4A, 0x41, 0x43, 0x44,
                                         0x45, 0x46, 0x47, 0x48, 0x49};

// Symbologies enabled when the engine leaves the factory: the common linear
// and 2D codes; postal codes and rarer families are off.
constexpr int kEnabledAtFactory[] = {2,  6,  12, 14, 9,  55, 17,  43,  44,  20, 19,
                                     22, 26, 32, 28, 37, 71, 121, 130, 129, 56};

const std::map<Pair, uint16_t>& FactoryValues() {
    static const std::map<Pair, uint16_t> values = [] {
        std::map<Pair, uint16_t> v;
        for (const Entry& e : kOptionDefaults)
            v[{e.group, e.parameter}] = e.value;
        for (uint8_t g : kGroupsWith50To52) {
            for (uint8_t p = 0x50; p <= 0x52; ++p)
                v[{g, p}] = 0;
        }
        // The factory code-ID characters run 'A'..'Z', then 'a'.., in table
        // order: not the host's assignment, so a fresh engine is uninitialised.
        int index = 0;
        for (const Symbology& s : Symbologies()) {
            v[{s.group, s.enableParameter}] = 0;
            if (!s.ownCodeId) continue;
            const char id =
                index < 26 ? static_cast<char>('A' + index) : static_cast<char>('a' + index - 26);
            ++index;
            v[{s.idGroup, s.idParameter}] = static_cast<uint8_t>(id);
            v[{s.idGroup, static_cast<uint8_t>(s.idParameter - 0x48 + 0xC0)}] = 0;
        }
        for (int number : kEnabledAtFactory) {
            const Symbology* s = FindSymbology(number);
            v[{s->group, s->enableParameter}] = 1;
        }
        return v;
    }();
    return values;
}

}  // namespace

std::vector<Entry> ParseEntries(std::span<const uint8_t> payload, bool* complete) {
    std::vector<Entry> entries;
    size_t pos = 0;
    while (pos + 2 < payload.size()) {
        Entry e{payload[pos], payload[pos + 1], 0};
        const size_t width = ValueWidth(e.parameter);
        if (pos + 2 + width > payload.size()) break;
        e.value = width == 2 ? static_cast<uint16_t>(payload[pos + 2] << 8 | payload[pos + 3])
                             : payload[pos + 2];
        entries.push_back(e);
        pos += 2 + width;
    }
    if (complete != nullptr) *complete = pos == payload.size();
    return entries;
}

void AppendEntry(std::vector<uint8_t>& out, const Entry& entry) {
    out.push_back(entry.group);
    out.push_back(entry.parameter);
    if (ValueWidth(entry.parameter) == 2) out.push_back(static_cast<uint8_t>(entry.value >> 8));
    out.push_back(static_cast<uint8_t>(entry.value));
}

std::vector<Pair> ParsePairs(std::span<const uint8_t> payload, bool* complete) {
    std::vector<Pair> pairs;
    for (size_t pos = 0; pos + 1 < payload.size(); pos += 2) {
        pairs.emplace_back(payload[pos], payload[pos + 1]);
    }
    if (complete != nullptr) *complete = payload.size() % 2 == 0;
    return pairs;
}

ParameterTable::ParameterTable() : m_values(FactoryValues()) {}

void ParameterTable::RestoreFactory() {
    m_values = FactoryValues();
}

std::optional<uint16_t> ParameterTable::Get(uint8_t group, uint8_t parameter) const {
    auto it = m_values.find({group, parameter});
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

bool ParameterTable::Set(uint8_t group, uint8_t parameter, uint16_t value) {
    auto it = m_values.find({group, parameter});
    if (it == m_values.end()) return false;
    it->second = ValueWidth(parameter) == 2 ? value : static_cast<uint8_t>(value);
    return true;
}

std::optional<uint16_t> ParameterTable::Factory(uint8_t group, uint8_t parameter) {
    const auto& values = FactoryValues();
    auto it = values.find({group, parameter});
    if (it == values.end()) return std::nullopt;
    return it->second;
}

std::vector<Entry> ParameterTable::All() const {
    std::vector<Entry> all;
    all.reserve(m_values.size());
    for (const auto& [pair, value] : m_values)
        all.push_back({pair.first, pair.second, value});
    return all;
}

}  // namespace qv::sim

// The engine's parameter table: every (group, parameter) the host library
// reads or writes, with the engine's factory values, and the entry encoding
// of setup and query payloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace qv::sim {

struct Entry {
    uint8_t group = 0;
    uint8_t parameter = 0;
    uint16_t value = 0;
    bool operator==(const Entry&) const = default;
};

using Pair = std::pair<uint8_t, uint8_t>;

// Parameter bytes of 0x80 and above carry two value bytes, high byte first.
inline size_t ValueWidth(uint8_t parameter) {
    return parameter >= 0x80 ? 2 : 1;
}

// Setup payload to entries. `complete` is cleared when bytes are left over
// that do not make a whole entry (they are not returned).
std::vector<Entry> ParseEntries(std::span<const uint8_t> payload, bool* complete = nullptr);
void AppendEntry(std::vector<uint8_t>& out, const Entry& entry);
// Query payload to pairs; a trailing odd byte clears `complete`.
std::vector<Pair> ParsePairs(std::span<const uint8_t> payload, bool* complete = nullptr);

class ParameterTable {
  public:
    ParameterTable();  // factory values

    void RestoreFactory();
    std::optional<uint16_t> Get(uint8_t group, uint8_t parameter) const;
    // False for a pair the engine does not have; the value is cut to the
    // parameter's width.
    bool Set(uint8_t group, uint8_t parameter, uint16_t value);
    static std::optional<uint16_t> Factory(uint8_t group, uint8_t parameter);
    // Every parameter in (group, parameter) order.
    std::vector<Entry> All() const;

  private:
    std::map<Pair, uint16_t> m_values;
};

}  // namespace qv::sim

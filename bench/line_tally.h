// Small pure pieces of the scenario program's bookkeeping of the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qv::bench {

// Follows the engine's writes and tells when the last byte of a
// BARCODE_DATA frame has gone out. The simulator writes one frame at a
// time, whole or in slices, so every write begins a frame or goes on with
// the one before.
class BarcodeEndTracker {
  public:
    // True when this write carried the last byte of a BARCODE_DATA frame.
    bool Feed(std::span<const uint8_t> bytes);

  private:
    std::vector<uint8_t> m_head;  // a barcode frame's first bytes, length not known yet
    size_t m_left = 0;            // bytes of the current barcode frame still to come
};

// A SETUP_QUERY for one whole settings record, which the library follows
// with its pause after a read (the initialised check is no such query).
bool IsRecordQuery(uint8_t type, size_t payloadLength);

}  // namespace qv::bench

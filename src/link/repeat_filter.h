// Barcodes the engine sends again: a barcode acknowledged late (the reader
// was busy delivering the one before) is resent unchanged, with the same
// sequence number. Two scans of one label get new sequence numbers, so
// only an identical frame seen shortly before is a repeat.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/frame_reader.h"

namespace qv {

// How long after a barcode an identical one counts as sent again.
inline constexpr uint32_t kRepeatWindowMs = 5000;

class RepeatFilter {
  public:
    // True when `sequence` and `data` repeat a barcode seen within
    // kRepeatWindowMs before `now`; otherwise the barcode is remembered.
    bool IsRepeat(uint8_t sequence, std::span<const uint8_t> data, uint32_t now);

  private:
    // A resend follows its original closely; a few are kept in case
    // acknowledgements of several barcodes came late together.
    static constexpr size_t kKept = 4;
    struct Seen {
        bool used = false;
        uint8_t sequence = 0;
        uint32_t at = 0;
        size_t length = 0;
        std::array<uint8_t, kReceiveBufferSize> bytes{};
    };
    std::array<Seen, kKept> m_seen{};
    size_t m_next = 0;
};

}  // namespace qv

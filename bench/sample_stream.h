// Engine bytes as the reader meets them, and the engine's answers to the
// library's record queries, built with the simulator's frame code so the
// micro-benchmarks work on what the engine really sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qv::bench {

struct StreamPart {
    uint8_t type = 0;  // frame type; 0 for bytes that belong to no frame
    size_t length = 0;
};

struct SampleStream {
    std::vector<uint8_t> bytes;
    std::vector<StreamPart> parts;  // in order
    size_t Frames() const;
};

// ACK + SETUP_REPLY to a Detail query, BARCODE_DATA of 20 data bytes, six
// bytes of line noise, BARCODE_DATA of 300 data bytes, ACK + RESULT.
SampleStream MakeMixedStream();

// The engine's SETUP_REPLY payload for a query payload, from its factory table.
std::vector<uint8_t> ReplyTo(std::span<const uint8_t> query);

// `n` printable bytes of barcode text.
std::vector<uint8_t> BarcodeText(size_t n);

}  // namespace qv::bench

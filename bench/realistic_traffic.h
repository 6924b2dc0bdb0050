// Engine traffic as the reader meets it, for the seeded property run of the
// frame search: replies to the library's record queries with option values
// drawn from 0..4 (rich in start and stop byte values), binary barcodes with
// start and stop bytes and whole frames inside their data, escaped length
// fields, short frames, event notifications; in bursts that arrive back to
// back or after a pause, cut at random read boundaries. Deterministic for a
// seed on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/frame.h"

namespace qv::bench {

// A small, portable pseudo-random generator (splitmix64).
class SeededRandom {
  public:
    explicit SeededRandom(uint64_t seed) : m_state(seed) {}
    uint64_t Next();
    // Uniform in [low, high].
    size_t Between(size_t low, size_t high);
    bool Chance(unsigned percent) { return Between(1, 100) <= percent; }

  private:
    uint64_t m_state;
};

// The library's command that waits while a burst arrives.
struct Pending {
    FrameKind kind = FrameKind::SETUP_QUERY;
    std::vector<uint8_t> asked;
};

// One burst: frames the engine sends back to back.
struct Burst {
    std::vector<std::vector<uint8_t>> frames;
    bool pauseAfter = true;  // the line goes quiet behind it
    std::optional<Pending> pending;
};

class TrafficGenerator {
  public:
    explicit TrafficGenerator(uint64_t seed);
    Burst NextBurst();

    // Single frames, exposed for tests of the generator. RecordReply
    // answers one of the library's three record queries, given in `asked`.
    std::vector<uint8_t> RecordReply(std::vector<uint8_t>* asked = nullptr);
    std::vector<uint8_t> BinaryBarcode();
    std::vector<uint8_t> ShortFrame();

  private:
    uint8_t Sequence() { return static_cast<uint8_t>(m_random.Between(0, 255)); }
    uint8_t Management() { return static_cast<uint8_t>(0x60 | m_random.Between(0, 7)); }

    SeededRandom m_random;
    std::vector<std::vector<uint8_t>> m_queries;  // Enable, Detail, Other
};

// A full engine frame with its checksum.
std::vector<uint8_t> EngineFrame(uint8_t type, uint8_t sequence,
                                 const std::vector<uint8_t>& payload, uint8_t management);
// BARCODE_DATA with the length field escaped when its low byte reads as a
// control byte, or when `escape` asks for it.
std::vector<uint8_t> BarcodeFrame(uint8_t sequence, const std::vector<uint8_t>& data,
                                  uint8_t management, bool escape);

struct PropertyResult {
    uint64_t frames = 0;     // frames sent
    uint64_t found = 0;      // frames the search gave back whole and in order
    uint64_t misframes = 0;  // anything else: a frame cut, glued, lost, dropped or refused
    uint64_t bytes = 0;
    uint64_t reads = 0;
};

// How the line hands the bytes over.
enum class LineModel {
    // Reads of 1 to a few hundred bytes; the line pauses only between bursts.
    Bursts,
    // A USB-serial adapter: reads of 1 or 14 bytes, its 16 ms latency timer
    // and the engine's pauses of 0 to 60 ms at random points, inside frames
    // too. The reader knows the command that waits, as in real use.
    Pauses,
};

// Sends `frames` frames of seeded traffic through the reader's frame search,
// read by read, as the reader thread drives it, and compares what comes out.
PropertyResult RunFrameProperty(uint64_t frames, uint64_t seed,
                                LineModel model = LineModel::Bursts);

}  // namespace qv::bench

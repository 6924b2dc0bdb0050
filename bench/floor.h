// The floor of an operation: the time the protocol makes it wait whatever
// the library does, worked out from what actually crossed the line and the
// driver during it. What a measurement shows above its floor is the
// library's own overhead.
//
// The constants are written here on purpose rather than taken from the
// library, so a library that waited longer than the protocol asks shows up.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qv::bench {

inline constexpr double kWakePulseMs = 80;         // before every frame the host sends
inline constexpr double kSettleMs = 40;            // before the reader takes a burst of frames
inline constexpr double kRecordReadPauseMs = 100;  // after each record read from the engine
inline constexpr double kTriggerReleaseMs = 5;     // each release of the trigger line
inline constexpr double kOpenFixedMs = 300 + 200;
inline constexpr double kBaud = 57600;
inline constexpr double kBitsPerByte = 10;  // 8N1

// What an operation exchanged.
struct Exchange {
    // Engine frames by type byte, as the simulator sent them.
    std::map<uint8_t, uint64_t> engineFrames;
    uint64_t wakePulses = 0;       // wake line raised by the host
    uint64_t triggerReleases = 0;  // trigger line released by the host
    uint64_t recordReads = 0;      // record queries (Enable, Detail, Other) answered
    uint64_t hostBytes = 0;        // bytes the host wrote
    uint64_t engineBytes = 0;      // bytes the engine wrote
};

Exchange operator-(const Exchange& after, const Exchange& before);

// Engine frames the reader takes after a settle wait of its own: replies,
// barcodes and event notifications. The engine's short ACK travels in the
// same burst as the reply behind it, so it costs no wait of its own.
uint64_t SettleWaits(const Exchange& exchange);

struct Floor {
    double waitsMs = 0;  // the mandated waits: wake pulses, settle, pauses, fixed
    double lineMs = 0;   // the bytes both ways at 57600 baud, 10 bits each
    uint64_t settleWaits = 0;
};

// `fixedMs` is what the operation itself must wait (the open's 300 + 200).
Floor FloorOf(const Exchange& exchange, double fixedMs);

double LineTimeMs(uint64_t bytes);

// One line for a reader: "8 wake x 80 + 4 settle x 40 + ... = 1300 ms".
std::string DescribeFloor(const Exchange& exchange, double fixedMs);

}  // namespace qv::bench

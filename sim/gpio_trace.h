// What the engine's side needs to follow GPIO lines it cannot see: the levels
// the kernel traces for them (tracefs events gpio/gpio_value), and the
// "BAR1:" line record that hands a level on to the simulator's driver.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qv::sim {

struct TracedLevel {
    uint32_t gpio = 0;   // the kernel's global number: chip base + offset
    bool level = false;  // on the wire
    int64_t micros = 0;  // trace clock
    int32_t thread = 0;  // who set it
};

// One line of trace_pipe, e.g.
//   "  prog-123  [000] .....  12.345678: gpio_value: 512 set 1"
// A level set, or nothing (reads, directions, anything else).
std::optional<TracedLevel> ParseGpioTraceLine(std::string_view line);

// The driver socket's request that sets line `lineId` to `level`.
std::vector<uint8_t> SetLineRequest(uint32_t lineId, bool level);

}  // namespace qv::sim

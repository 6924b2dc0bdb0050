// The power-line driver "BAR1:" as pure logic: it holds the levels of the
// engine's supply, trigger and wake lines and serves the I/O-control
// requests of both driver interfaces, the dedicated requests (4-byte values)
// and the line records (identifier, level; 8 bytes).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/engine_model.h"

namespace qv::sim {

inline constexpr uint32_t kLinePower = 0x04414108;
inline constexpr uint32_t kLineTrigger = 0x04214104;
inline constexpr uint32_t kLineWake = 0x04114104;

struct DriverReply {
    int32_t result = 0;  // nonzero: success
    std::vector<uint8_t> returned;
    std::string description;  // for the trace; empty for a plain successful read
};

class DriverModel {
  public:
    // `out` is the caller's output buffer with its current bytes. Requests
    // whose code has its bit set in `refusedCodes` fail.
    DriverReply Request(uint32_t code, std::span<const uint8_t> in, std::span<const uint8_t> out,
                        uint32_t refusedCodes = 0);

    const LineLevels& Levels() const { return m_levels; }
    // The supply failing (or coming back) outside the host's control.
    void SetSupply(bool on) { m_levels.power = on; }

  private:
    bool SetLine(uint32_t line, bool level);

    LineLevels m_levels;
};

// The power broadcast record: message kind, power-state flags, byte length
// of the state name, then the name in UTF-16LE without a terminator.
inline constexpr uint32_t kPowerTransition = 1;
inline constexpr uint32_t kPowerSuspend = 0x00200000;
inline constexpr uint32_t kPowerResume = 0x12010000;
std::vector<uint8_t> PowerBroadcastRecord(uint32_t kind, uint32_t flags, std::u16string_view name);
// A message on the notification socket: 32-bit length, then the bytes.
std::vector<uint8_t> PowerMessage(std::span<const uint8_t> record);

}  // namespace qv::sim

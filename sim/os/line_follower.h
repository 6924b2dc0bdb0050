// The engine's side of GPIO lines it cannot see (the library in a VM, the
// simulator outside): follows the levels the kernel traces for the outputs
// of a gpio-sim chip and hands each on, in order, to the simulator's "BAR1:"
// driver as a line record. A supply monitor can be played too: the power
// level copied onto an input of the chip. Needs root and tracefs on
// /sys/kernel/tracing.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/os/gpio_sim_chip.h"

namespace qv::sim::os {

struct FollowedLine {
    unsigned offset = 0;
    uint32_t lineId = 0;     // the driver's identifier (power, trigger, wake)
    bool activeLow = false;  // the wire low for level 1
};

struct FollowedLevel {
    uint32_t lineId = 0;
    bool level = false;
    int64_t micros = 0;  // kernel trace clock
    int32_t thread = 0;  // the thread that set it
    bool operator==(const FollowedLevel&) const = default;
};

class LineFollower {
  public:
    // `driverSocket` is the simulator's driver socket (or a relay of it).
    // False (with the reason in `error`) when following cannot start.
    bool Start(const GpioSimChip& chip, std::vector<FollowedLine> lines,
               std::optional<unsigned> supplyMonitor, const std::string& driverSocket,
               std::string* error);
    void Stop();
    ~LineFollower() { Stop(); }

    // Whether the monitor input follows the power level (a healthy supply).
    void MirrorSupply(bool on) { m_mirror = on; }
    // Hands on a level the kernel does not trace, such as the pull a
    // released line falls back to. False when the simulator did not take it.
    bool Forward(uint32_t lineId, bool level);
    // The levels since the last call, once `quiet` has passed without one.
    std::vector<FollowedLevel> Take(std::chrono::milliseconds quiet);
    // Levels the simulator did not take.
    int Failures() const { return m_failures; }

  private:
    void Run();
    void Handle(std::string_view text);

    const GpioSimChip* m_chip = nullptr;
    std::vector<FollowedLine> m_lines;
    std::optional<unsigned> m_monitor;
    int m_trace = -1;
    int m_sim = -1;
    int m_stop[2] = {-1, -1};
    std::atomic<bool> m_mirror{true};
    std::atomic<int32_t> m_failures{0};
    std::thread m_thread;
    std::mutex m_sendMutex;
    std::mutex m_mutex;
    std::vector<FollowedLevel> m_levels;
};

}  // namespace qv::sim::os

// A simulated GPIO chip of the kernel's gpio-sim module, made through
// configfs: one bank of named lines, whose output levels the simulator reads
// and whose inputs it drives through their pull. Needs root, configfs on
// /sys/kernel/config and the module loaded.
#pragma once

#include <string>
#include <vector>

namespace qv::sim::os {

class GpioSimChip {
  public:
    // False (with the reason in `error`) when the chip cannot be made.
    bool Create(const std::string& name, const std::string& label,
                const std::vector<std::string>& lineNames, std::string* error);
    ~GpioSimChip();  // takes the chip away again
    GpioSimChip() = default;
    GpioSimChip(const GpioSimChip&) = delete;
    GpioSimChip& operator=(const GpioSimChip&) = delete;

    const std::string& ChipName() const { return m_chipName; }  // e.g. gpiochip1
    // The kernel's number of line 0 (the numbers the trace events use).
    int Base() const { return m_base; }
    // The level on the wire, -1 when it cannot be read.
    int Value(unsigned offset) const;
    // Drives an input (and what a released line falls back to).
    bool Pull(unsigned offset, bool up) const;

  private:
    void Remove();

    std::string m_config;  // the chip's configfs directory
    std::string m_sysfs;   // its device's sysfs directory
    std::string m_chipName;
    int m_base = -1;
    unsigned m_lines = 0;
};

}  // namespace qv::sim::os

// Line access beneath the GPIO driver: the only calls into libgpiod, one
// implementation per API (gpio_lines_v1.cpp for libgpiod 1.6,
// gpio_lines_v2.cpp for 2.x), chosen when the build is configured. The
// driver above keeps roles, what was driven and every cause it reports.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace qv::platform {

// One chip and the lines requested from it, each in its own slot. Every call
// that fails leaves its cause in errno, as libgpiod does.
class GpioChipLines {
  public:
    static constexpr size_t kSlots = 4;

    virtual ~GpioChipLines() = default;

    // The chip's name, as in "gpiochip0".
    virtual std::string Name() const = 0;
    virtual unsigned LineCount() const = 0;
    // The offset of the line carrying `name`, if the chip has one.
    virtual std::optional<unsigned> FindLine(const std::string& name) = 0;

    // Holds line `offset` in `slot` for `consumer`: an input, or a line left
    // in the direction and level it has. False with errno (EBUSY when another
    // opener holds it).
    virtual bool Request(size_t slot, unsigned offset, const std::string& consumer, bool input,
                         bool activeLow) = 0;
    // Makes the line in `slot` an output that keeps the logical `level`.
    virtual bool MakeOutput(size_t slot, bool activeLow, int level) = 0;
    // The logical level of the line in `slot`; negative on failure.
    virtual int Get(size_t slot) = 0;
    virtual bool Set(size_t slot, int level) = 0;

    // The name the holder of line `offset` gave; empty when it gave none or
    // it cannot be read.
    virtual std::string Holder(unsigned offset) = 0;
};

// Looks `chip` up as libgpiod 1.6 did: all digits is a number (gpiochipN),
// else a label, else a path under /dev or a name there. Null with errno when
// none answers.
std::unique_ptr<GpioChipLines> OpenGpioChip(const std::string& chip);

}  // namespace qv::platform

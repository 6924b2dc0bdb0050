// The value of QV_DRIVER_<NAME>=gpio:... and what each "BAR1:" request asks
// of the lines it names, as pure functions: the device side lives in
// driver_gpio.cpp.
//
//   gpio:<chip>:<role>=<line>[:low|:high],...
//   <chip>  a chip's name (gpiochip0), label or path (/dev/gpiochip0)
//   <role>  power, trigger, wake (required), status (optional input that
//           reads back the engine's supply), consumer=<text> (the holder
//           name the kernel shows to other openers)
//   <line>  an offset on the chip, or a line name
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv::platform {

enum class GpioRole : uint8_t { Power, Trigger, Wake, Status };

struct GpioLineRef {
    std::optional<uint32_t> offset;  // set when the line was given by number
    std::string name;                // set otherwise
    bool activeLow = false;
};

struct GpioBinding {
    std::string chip;
    GpioLineRef power;
    GpioLineRef trigger;
    GpioLineRef wake;
    std::optional<GpioLineRef> status;
    std::string consumer;  // empty: the process's own name and pid
};

struct GpioBindingParse {
    std::optional<GpioBinding> binding;
    std::string error;  // why the value is refused, when it is
};

// `value` is what follows "gpio:".
GpioBindingParse ParseGpioBinding(std::string_view value);

// The kernel keeps at most 31 characters of a consumer name.
inline constexpr size_t kGpioConsumerMax = 31;

// What one driver request asks: set an output role to a level, read a
// role's level (power: the status input where there is one), or nothing
// the lines can do (the request fails).
struct GpioAction {
    enum class Kind : uint8_t { Invalid, Set, Read } kind = Kind::Invalid;
    GpioRole role = GpioRole::Power;
    bool level = false;
    // Read only: how the answer goes back. A line record echoes `lineId`;
    // otherwise a 4-byte status.
    bool lineRecord = false;
    uint32_t lineId = 0;
};

GpioAction DecodeGpioRequest(uint32_t code, std::span<const uint8_t> in,
                             std::span<const uint8_t> out);

// The bytes a read answers with, given the level read.
std::vector<uint8_t> GpioReadReply(const GpioAction& action, bool level);

}  // namespace qv::platform

// The "BAR1:" driver on the engine's own GPIO lines (QV_DRIVER_BAR1=gpio:...,
// grammar in gpio_binding.h), through the GPIO character device.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/driver/device_driver.h"

namespace qv::platform {

// `value` is what follows "gpio:". Null when the lines cannot be had; the
// cause (a bad value, no such chip or line, a line another opener holds and
// who that is) goes to the debug output. Opening switches no line: each
// output keeps the level it had until a request sets it.
std::unique_ptr<DriverHandle> OpenGpioDriver(const std::string& device, std::string_view value);

}  // namespace qv::platform

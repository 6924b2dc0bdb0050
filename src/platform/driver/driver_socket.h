// The "BAR1:" driver in another process, reached over a Unix socket
// (QV_DRIVER_BAR1=unix:<path>), as the simulator and a board's own line
// daemon provide it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/driver/device_driver.h"

namespace qv::platform {

// Null when the socket cannot be reached or another process holds it; the
// cause goes to the debug output.
std::unique_ptr<DriverHandle> Connect(const std::string& device, std::string_view path);

}  // namespace qv::platform

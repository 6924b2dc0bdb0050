// Stream drivers of the device, such as the power-line driver "BAR1:",
// reached through I/O-control requests.
//
// Opening "NAME:" reads QV_DRIVER_NAME: "unix:<path>" connects to an outside
// driver process (protocol in docs/platform.md); unset uses the driver
// registered in this process under "NAME:", if any; otherwise the open fails.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

// What a driver implements: one request, handled whole. `out` holds the
// caller's buffer with its current bytes; the driver sets `*returned` to the
// number of bytes it wrote at its start. Nonzero result means success.
class QV_PLATFORM_API DeviceDriver {
  public:
    virtual ~DeviceDriver() = default;
    virtual int32_t IoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                              uint32_t* returned) = 0;
};

// In-process registration, for tests, the simulator and applications.
QV_PLATFORM_API void RegisterDriver(std::string_view device, std::shared_ptr<DeviceDriver> driver);
QV_PLATFORM_API void UnregisterDriver(std::string_view device);

// An open driver. A broken connection makes every request fail (result 0).
class QV_PLATFORM_API DriverHandle {
  public:
    // Null when the device cannot be opened.
    static std::unique_ptr<DriverHandle> Open(std::string_view device);
    virtual ~DriverHandle() = default;
    virtual int32_t IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize) = 0;
};

}  // namespace qv::platform

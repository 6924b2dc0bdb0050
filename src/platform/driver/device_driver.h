// Stream drivers of the device, such as the power-line driver "BAR1:",
// reached through I/O-control requests.
//
// Opening "NAME:" reads QV_DRIVER_NAME each time: "unix:<path>" connects to
// an outside driver process on a Unix stream socket; "none" means the lines
// are not switched at all (an engine powered all the time): every request
// succeeds and reads answer 1, so power reads as on; "gpio:<chip>:<lines>"
// switches the engine's own GPIO lines (platform/os/gpio_binding.h); unset
// (or empty) uses the driver registered in this process under "NAME:", if
// any; otherwise the open fails.
//
// A driver has one opener at a time: a second open fails while a handle is
// open, in this process or (for a driver on a socket or GPIO lines) in
// another, so an opener whose open failed elsewhere can never switch off
// the lines of an engine that another owns.
//
// Socket protocol, all integers unsigned 32-bit little-endian, one request
// answered by one reply before the next is written:
//   request: code, input length, output length, input bytes, then the output
//            buffer's current bytes
//   reply:   result (0 = failure), returned length (at most the output
//            length), then that many bytes
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
    // True once the driver's device went away; its requests fail from then on.
    virtual bool Lost() const { return false; }
};

// In-process registration, for tests, the simulator and applications. Device
// names compare case-insensitively. A handle already open keeps its driver
// after the driver is unregistered or replaced.
QV_PLATFORM_API void RegisterDriver(std::string_view device, std::shared_ptr<DeviceDriver> driver);
QV_PLATFORM_API void UnregisterDriver(std::string_view device);

// How long a request over the socket may take, in library milliseconds,
// before the connection counts as broken.
inline constexpr uint32_t kDriverReplyTimeoutMs = 5000;

// An open driver. Requests are serialised per handle, since several threads
// send through one. Either binding gives the same result: the first
// `returned` bytes of `out` are replaced and the rest is left as it was.
// A broken connection, a reply that breaks the protocol or a driver that
// throws makes the request fail (result 0); after a broken connection every
// later request fails as well.
class QV_PLATFORM_API DriverHandle {
  public:
    // Null when the device cannot be opened; the cause goes to the debug output.
    static std::unique_ptr<DriverHandle> Open(std::string_view device);
    virtual ~DriverHandle() = default;
    virtual int32_t IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize) = 0;
    // False where requests have no effect ("none"): a line never changes,
    // so nobody need wait for it to.
    virtual bool SwitchesLines() const { return true; }
    // True once the device behind the handle went away (a GPIO chip that
    // disappeared): every request fails from then on.
    virtual bool Lost() const { return false; }
};

}  // namespace qv::platform

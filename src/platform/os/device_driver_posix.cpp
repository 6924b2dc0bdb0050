#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/device_driver.h"

namespace qv::platform {
namespace {

std::mutex g_driversMutex;
std::map<std::string, std::shared_ptr<DeviceDriver>, std::less<>>& Drivers() {
    static std::map<std::string, std::shared_ptr<DeviceDriver>, std::less<>> drivers;
    return drivers;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// "BAR1:" -> "BAR1".
std::string BareName(std::string_view device) {
    std::string name = UpperAscii(device);
    if (!name.empty() && name.back() == ':') name.pop_back();
    return name;
}

void Diagnose(std::string_view device, std::string_view what) {
    std::string line(device);
    line += ' ';
    line += what;
    line += "\r\n";
    DebugOutputUtf8(line);
}

bool ValidBuffers(const void* in, uint32_t inSize, const void* out, uint32_t outSize) {
    return (in != nullptr || inSize == 0) && (out != nullptr || outSize == 0);
}

class InProcessHandle final : public DriverHandle {
  public:
    explicit InProcessHandle(std::shared_ptr<DeviceDriver> driver) : m_driver(std::move(driver)) {}

    int32_t IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize) override {
        if (!ValidBuffers(in, inSize, out, outSize)) return 0;
        const auto* inBytes = static_cast<const uint8_t*>(in);
        auto* outBytes = static_cast<uint8_t*>(out);
        // The driver works on a copy, so that only the bytes it reports reach
        // the caller, as over the socket.
        std::vector<uint8_t> scratch(outBytes, outBytes + outSize);
        std::lock_guard lock(m_mutex);
        uint32_t returned = 0;
        int32_t result = 0;
        try {
            result = m_driver->IoControl(code, std::span<const uint8_t>(inBytes, inSize),
                                         std::span<uint8_t>(scratch), &returned);
        } catch (...) {
            return 0;
        }
        if (returned > outSize) return 0;
        if (returned > 0) std::memcpy(outBytes, scratch.data(), returned);
        return result;
    }

  private:
    std::shared_ptr<DeviceDriver> m_driver;
    std::mutex m_mutex;
};

void PutU32(std::vector<uint8_t>& buf, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        buf.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

class SocketHandle final : public DriverHandle {
  public:
    SocketHandle(std::string device, int fd) : m_device(std::move(device)), m_fd(fd) {}
    ~SocketHandle() override {
        if (m_fd >= 0) ::close(m_fd);
    }

    int32_t IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize) override {
        if (!ValidBuffers(in, inSize, out, outSize)) return 0;
        const auto* inBytes = static_cast<const uint8_t*>(in);
        auto* outBytes = static_cast<uint8_t*>(out);

        std::vector<uint8_t> request;
        request.reserve(12 + size_t{inSize} + outSize);
        PutU32(request, code);
        PutU32(request, inSize);
        PutU32(request, outSize);
        request.insert(request.end(), inBytes, inBytes + inSize);
        request.insert(request.end(), outBytes, outBytes + outSize);

        std::lock_guard lock(m_mutex);
        if (m_fd < 0) return 0;
        const auto deadline = DeadlineAfter(kDriverReplyTimeoutMs);
        if (!Transfer(request.data(), request.size(), true, deadline)) return 0;

        uint8_t header[8];
        if (!Transfer(header, sizeof header, false, deadline)) return 0;
        const uint32_t result = GetU32(header);
        const uint32_t returned = GetU32(header + 4);
        if (returned > outSize) {
            Break("reply longer than the output buffer");
            return 0;
        }
        std::vector<uint8_t> data(returned);
        if (!Transfer(data.data(), data.size(), false, deadline)) return 0;
        if (returned > 0) std::memcpy(outBytes, data.data(), returned);
        return static_cast<int32_t>(result);
    }

  private:
    // Sends or receives exactly `size` bytes before `deadline`. Anything else
    // leaves the stream out of step, so the connection is given up.
    bool Transfer(uint8_t* data, size_t size, bool sending,
                  std::chrono::steady_clock::time_point deadline) {
        size_t done = 0;
        while (done < size) {
            const ssize_t n =
                sending ? ::send(m_fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT)
                        : ::recv(m_fd, data + done, size - done, MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n == 0) {
                Break("driver closed the connection");
                return false;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                Break(std::string("connection failed: ") + std::strerror(errno));
                return false;
            }
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                Break("driver did not answer in time");
                return false;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            pollfd p{m_fd, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
            const int ready = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 60000)));
            if (ready < 0 && errno != EINTR) {
                Break(std::string("poll failed: ") + std::strerror(errno));
                return false;
            }
            // Readiness, a hang-up or an error: the next send or recv tells which.
        }
        return true;
    }

    void Break(const std::string& why) {
        Diagnose(m_device, why + "; every further request fails");
        ::close(m_fd);
        m_fd = -1;
    }

    const std::string m_device;
    std::mutex m_mutex;
    int m_fd;
};

std::unique_ptr<DriverHandle> Connect(const std::string& device, std::string_view path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        Diagnose(device, "socket path is empty or too long");
        return nullptr;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        Diagnose(device, std::string("socket failed: ") + std::strerror(errno));
        return nullptr;
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        // A Unix socket connects at once or not at all; EAGAIN means the
        // driver's backlog is full, which is as good as no driver.
        Diagnose(device, "cannot connect to " + std::string(path) + ": " + std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<SocketHandle>(device, fd);
}

}  // namespace

void RegisterDriver(std::string_view device, std::shared_ptr<DeviceDriver> driver) {
    std::lock_guard lock(g_driversMutex);
    auto& drivers = Drivers();
    const std::string key = UpperAscii(device);
    if (driver == nullptr) {
        drivers.erase(key);
    } else {
        drivers[key] = std::move(driver);
    }
}

void UnregisterDriver(std::string_view device) {
    std::lock_guard lock(g_driversMutex);
    Drivers().erase(UpperAscii(device));
}

std::unique_ptr<DriverHandle> DriverHandle::Open(std::string_view device) {
    const std::string name(device);
    const std::string variable = "QV_DRIVER_" + BareName(device);
    const char* binding = std::getenv(variable.c_str());
    if (binding != nullptr && *binding != '\0') {
        const std::string_view value(binding);
        constexpr std::string_view kUnix = "unix:";
        if (value.substr(0, kUnix.size()) == kUnix)
            return Connect(name, value.substr(kUnix.size()));
        Diagnose(name, variable + " is neither empty nor unix:<path>");
        return nullptr;
    }
    std::shared_ptr<DeviceDriver> driver;
    {
        std::lock_guard lock(g_driversMutex);
        const auto it = Drivers().find(UpperAscii(device));
        if (it != Drivers().end()) driver = it->second;
    }
    if (driver == nullptr) {
        Diagnose(name,
                 "has no driver: none registered in this process and " + variable + " not set");
        return nullptr;
    }
    return std::make_unique<InProcessHandle>(std::move(driver));
}

}  // namespace qv::platform

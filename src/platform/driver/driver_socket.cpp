#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/core/last_failure.h"
#include "platform/driver/driver_common.h"
#include "platform/driver/driver_socket.h"
#include "platform/storage/files.h"

namespace qv::platform {

namespace {

// The one opener among processes of a driver on a socket: an flock on
// "<socket>.lock" beside it, held while the handle lives. A lock on a file
// holds across network namespaces (an abstract socket would not), and the
// kernel drops it with the process, so a crash never leaves the driver
// locked. Where no lock file can be made there (a directory that is not
// ours to write), an abstract socket named after the socket file's identity
// stands in, which at least holds within the namespace. -1: held by
// another process; -2: no lock could be taken at all.
int LockAcrossProcesses(std::string_view path) {
    const std::string lockPath = ResolveSymbolicLinks(path) + ".lock";
    int fd;
    do {
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            int rc;
            do {
                rc = ::flock(fd, LOCK_EX | LOCK_NB);
            } while (rc != 0 && errno == EINTR);
            if (rc == 0) return fd;
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? -1 : -2;
        }
        ::close(fd);
    }
    struct stat st {};
    if (::stat(std::string(path).c_str(), &st) != 0) return -2;
    const std::string name =
        "qvimager-driver:" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -2;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EADDRINUSE ? -1 : -2;
    }
    return fd;
}

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
    SocketHandle(std::string device, int fd, int lockFd)
        : m_device(std::move(device)), m_fd(fd), m_lockFd(lockFd) {}
    ~SocketHandle() override {
        if (m_fd >= 0) ::close(m_fd);
        if (m_lockFd >= 0) ::close(m_lockFd);
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
        if (m_fd < 0) {
            SetLastFailure(ENODEV, m_device + " the driver's connection was given up earlier");
            return 0;
        }
        const auto deadline = DeadlineAfter(kDriverReplyTimeoutMs);
        if (!Transfer(request.data(), request.size(), true, deadline)) return 0;

        uint8_t header[8];
        if (!Transfer(header, sizeof header, false, deadline)) return 0;
        const uint32_t result = GetU32(header);
        const uint32_t returned = GetU32(header + 4);
        if (returned > outSize) {
            Break("reply longer than the output buffer", EIO);
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
                Break("driver did not answer in time", ETIMEDOUT);
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

    void Break(const std::string& why, int code = 0) {
        DiagnoseDriver(m_device, why + "; every further request fails", code);
        ::close(m_fd);
        m_fd = -1;
    }

    const std::string m_device;
    std::mutex m_mutex;
    int m_fd;
    const int m_lockFd;
};

}  // namespace

std::unique_ptr<DriverHandle> Connect(const std::string& device, std::string_view path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        DiagnoseDriver(device, "socket path is empty or too long", EINVAL);
        return nullptr;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    const int lockFd = LockAcrossProcesses(path);
    if (lockFd == -1) {
        DiagnoseDriver(device,
                       "is already open in another process (driver at " + std::string(path) +
                           "); it has one opener at a time",
                       EBUSY);
        return nullptr;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        const int error = errno;
        DiagnoseDriver(device, std::string("socket failed: ") + std::strerror(error), error);
        if (lockFd >= 0) ::close(lockFd);
        return nullptr;
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        // A Unix socket connects at once or not at all; EAGAIN means the
        // driver's backlog is full, which is as good as no driver.
        const int error = errno;
        DiagnoseDriver(
            device, "cannot connect to " + std::string(path) + ": " + std::strerror(error), error);
        ::close(fd);
        if (lockFd >= 0) ::close(lockFd);
        return nullptr;
    }
    return std::make_unique<SocketHandle>(device, fd, lockFd);
}

}  // namespace qv::platform

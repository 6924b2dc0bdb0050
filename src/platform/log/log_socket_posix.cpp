#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/log/output_sink.h"

namespace qv::platform {
namespace {

// The name the system log files the lines under.
constexpr char kIdentifier[] = "QV_Rizoviv2I_RO25";
// How long one line may wait for a log that does not take it. Once a line
// is lost no later one waits until the log takes lines again, so a stalled
// log costs the writing thread (the reader among them) this much once.
constexpr int kSendWaitMs = 20;

std::string_view WithoutLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

class LogSocketSink final : public OutputSink {
  public:
    LogSocketSink(LogProtocol protocol, int fd) : m_protocol(protocol), m_fd(fd) {}
    ~LogSocketSink() override { ::close(m_fd); }

    void Write(std::string_view text) const override {
        text = WithoutLineEnd(text);
        if (m_dropped.load() != 0) {
            // Said before the line, once the log listens again.
            const uint64_t dropped = m_dropped.load();
            const std::string note = "debug output: " + std::to_string(dropped) +
                                     " lines lost, the log did not take them";
            if (!Send(note)) {
                m_dropped.fetch_add(1);
                return;
            }
            m_dropped.fetch_sub(dropped);
        }
        if (!Send(text)) m_dropped.fetch_add(1);
    }

  private:
    // One entry in one datagram; false when the log did not take it.
    bool Send(std::string_view text) const {
        const std::string head = Head();
        uint8_t length[8];
        for (int i = 0; i < 8; ++i)
            length[i] = static_cast<uint8_t>(static_cast<uint64_t>(text.size()) >> (8 * i));
        iovec parts[5];
        size_t count = 0;
        auto add = [&](const void* data, size_t size) {
            parts[count++] = {const_cast<void*>(data), size};
        };
        add(head.data(), head.size());
        if (m_protocol == LogProtocol::kJournal) {
            // A message with a line break inside takes the binary form (name,
            // newline, 64-bit little-endian length, bytes, newline).
            if (text.find('\n') != std::string_view::npos) {
                add("MESSAGE\n", 8);
                add(length, sizeof length);
            } else {
                add("MESSAGE=", 8);
            }
            add(text.data(), text.size());
            add("\n", 1);
        } else {
            add(text.data(), text.size());
        }
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = count;
        for (bool waited = false;;) {
            const ssize_t sent = ::sendmsg(m_fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent >= 0) {
                m_stalled.store(0);
                return true;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // A log that went away: the line still reaches standard error.
                WriteAll(STDERR_FILENO, std::string(text) + "\n");
                return true;
            }
            if (waited || m_stalled.load() != 0) break;
            pollfd writable{m_fd, POLLOUT, 0};
            int ready;
            do {
                ready = ::poll(&writable, 1, kSendWaitMs);
            } while (ready < 0 && errno == EINTR);
            waited = true;
        }
        m_stalled.store(1);
        return false;
    }

    std::string Head() const {
        if (m_protocol == LogProtocol::kJournal) {
            return std::string("PRIORITY=7\nSYSLOG_IDENTIFIER=") + kIdentifier + "\n";
        }
        // Facility user (1), priority debug (7); the receiver stamps the time.
        return std::string("<15>") + kIdentifier + "[" + std::to_string(::getpid()) + "]: ";
    }

    const LogProtocol m_protocol;
    const int m_fd;
    mutable std::atomic<int32_t> m_stalled{0};
    mutable std::atomic<uint64_t> m_dropped{0};
};

}  // namespace

std::shared_ptr<const OutputSink> ConnectLogSocket(LogProtocol protocol, const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    return std::make_shared<const LogSocketSink>(protocol, fd);
}

}  // namespace qv::platform

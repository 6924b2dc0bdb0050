#include <fcntl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/os/output_sink.h"

namespace qv::platform {
namespace {

// The name the journal files the lines under.
constexpr char kIdentifier[] = "QV_Rizoviv2I_RO25";
// A journal that does not take a line within this time loses that line
// rather than holding the thread that logs (the reader among them).
constexpr int kJournalSendTimeoutMs = 100;

void WriteAll(int fd, std::string_view text) {
    // A short write only happens on a full disk or a pipe; the rest is retried.
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

class DescriptorSink final : public OutputSink {
  public:
    // Owns `fd` unless it is standard error.
    explicit DescriptorSink(int fd) : m_fd(fd) {}
    ~DescriptorSink() override {
        if (m_fd != STDERR_FILENO) ::close(m_fd);
    }
    void Write(std::string_view text) const override { WriteAll(m_fd, text); }

  private:
    const int m_fd;
};

// The journal's native protocol: one datagram of KEY=value lines per entry.
// A message with a line break inside takes the binary form (name, newline,
// 64-bit little-endian length, bytes, newline).
class JournalSink final : public OutputSink {
  public:
    explicit JournalSink(int fd) : m_fd(fd) {}
    ~JournalSink() override { ::close(m_fd); }

    void Write(std::string_view text) const override {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.remove_suffix(1);
        }
        static constexpr std::string_view kHead =
            "PRIORITY=7\nSYSLOG_IDENTIFIER=QV_Rizoviv2I_RO25\n";
        static_assert(kHead.find(kIdentifier) != std::string_view::npos);
        uint8_t length[8];
        for (int i = 0; i < 8; ++i)
            length[i] = static_cast<uint8_t>(static_cast<uint64_t>(text.size()) >> (8 * i));
        const bool binary = text.find('\n') != std::string_view::npos;
        iovec parts[5];
        size_t count = 0;
        auto add = [&](const void* data, size_t size) {
            parts[count++] = {const_cast<void*>(data), size};
        };
        add(kHead.data(), kHead.size());
        if (binary) {
            add("MESSAGE\n", 8);
            add(length, sizeof length);
        } else {
            add("MESSAGE=", 8);
        }
        add(text.data(), text.size());
        add("\n", 1);
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = count;
        ssize_t sent;
        do {
            sent = ::sendmsg(m_fd, &message, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        // A journal that went away: the line still reaches standard error.
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            WriteAll(STDERR_FILENO, text);
            WriteAll(STDERR_FILENO, "\n");
        }
    }

  private:
    const int m_fd;
};

// A datagram socket connected to the journal; -1 (errno set) when none runs.
int ConnectJournal(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(addr.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    const timeval timeout{0, kJournalSendTimeoutMs * 1000};
    (void)::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return fd;
}

std::shared_ptr<const OutputSink> StandardError() {
    static const auto sink = std::make_shared<const DescriptorSink>(STDERR_FILENO);
    return sink;
}

std::shared_ptr<const OutputSink> FallBack(const std::string& what, int error) {
    auto sink = StandardError();
    sink->Write("debug output: " + what + ": " + std::strerror(error) +
                "; writing to standard error\n");
    return sink;
}

}  // namespace

std::shared_ptr<const OutputSink> OpenDebugSink(const std::string& setting,
                                                const std::string& journalSocket) {
    if (setting == "stderr") return StandardError();
    if (setting.empty() || setting == "journal") {
        const int fd = ConnectJournal(journalSocket);
        if (fd >= 0) return std::make_shared<const JournalSink>(fd);
        if (setting.empty()) return StandardError();
        return FallBack("no journal at " + journalSocket, errno);
    }
    const int fd = ::open(setting.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return FallBack("cannot open " + setting, errno);
    return std::make_shared<const DescriptorSink>(fd);
}

std::shared_ptr<const OutputSink> OpenTraceSink(const std::string& path) {
    if (path.empty()) return nullptr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_shared<const DescriptorSink>(fd);
}

}  // namespace qv::platform

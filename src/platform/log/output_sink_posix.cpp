#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/log/output_sink.h"

namespace qv::platform {

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

namespace {

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

std::shared_ptr<const OutputSink> StandardError() {
    // Never destroyed: a close at process exit still writes its lines.
    static const auto* sink = new std::shared_ptr<const OutputSink>(
        std::make_shared<const DescriptorSink>(STDERR_FILENO));
    return *sink;
}

std::shared_ptr<const OutputSink> FallBack(const std::string& what, int error) {
    auto sink = StandardError();
    sink->Write("debug output: " + what + ": " + std::strerror(error) +
                "; writing to standard error\n");
    return sink;
}

}  // namespace

std::shared_ptr<const OutputSink> OpenDebugSink(const std::string& setting,
                                                const LogSockets& sockets) {
    // Unset means nowhere: the lines hold barcode contents (names and
    // addresses among them), which must not reach a system log unasked.
    if (setting.empty() || setting == "none") return nullptr;
    if (setting == "stderr") return StandardError();
    if (setting == "journal" || setting == "syslog") {
        const bool journal = setting == "journal";
        const std::string& path = journal ? sockets.journal : sockets.syslog;
        auto sink = ConnectLogSocket(journal ? LogProtocol::kJournal : LogProtocol::kSyslog, path);
        if (sink) return sink;
        return FallBack("no " + setting + " at " + path, errno);
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

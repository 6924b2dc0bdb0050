#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/os/append_output.h"

namespace qv::platform {

void AppendToOutput(const char* variable, int fallbackFd, std::string_view text) {
    const char* path = std::getenv(variable);
    int fd = fallbackFd;
    bool opened = false;
    if (path != nullptr && *path != '\0') {
        const int f = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (f >= 0) {
            fd = f;
            opened = true;
        }
    }
    if (fd < 0) return;
    // A short write only happens on a full disk or a pipe; the rest is retried.
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    if (opened) ::close(fd);
}

}  // namespace qv::platform

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/debug_output.h"
#include "platform/utf.h"

namespace qv::platform {

void DebugOutputUtf8(std::string_view text) {
    // The variable is read per line so a process (or a test) can redirect the
    // output at any time; nothing is cached at load time.
    const char* path = std::getenv("QV_DEBUG_OUTPUT");
    int fd = STDERR_FILENO;
    bool opened = false;
    if (path != nullptr && *path != '\0') {
        const int f = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (f >= 0) {
            fd = f;
            opened = true;
        }
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    if (opened) ::close(fd);
}

void DebugOutput(std::u16string_view text) {
    DebugOutputUtf8(Utf16ToUtf8(text));
}

}  // namespace qv::platform

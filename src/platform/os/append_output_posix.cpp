#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/os/append_output.h"

namespace qv::platform {
namespace {

// The file last opened for each variable stays open while the variable names
// it, so a busy log costs one write per line, not an open and a close too.
struct OpenOutput {
    const char* variable = nullptr;
    char path[4096] = {};
    int fd = -1;
};

std::mutex& g_outputsMutex = *new std::mutex;  // never destroyed: threads may log at exit
OpenOutput g_outputs[4];

// The descriptor for `path`, reopened when the variable names another file.
// Needs the mutex.
int DescriptorFor(const char* variable, const char* path) {
    OpenOutput* slot = nullptr;
    for (OpenOutput& o : g_outputs) {
        if (o.variable == variable ||
            (o.variable != nullptr && std::strcmp(o.variable, variable) == 0)) {
            slot = &o;
            break;
        }
        if (slot == nullptr && o.variable == nullptr) slot = &o;
    }
    if (slot == nullptr) return -1;
    if (slot->fd >= 0 && std::strcmp(slot->path, path) == 0) return slot->fd;
    if (slot->fd >= 0) ::close(slot->fd);
    slot->variable = variable;
    slot->fd = -1;
    slot->path[0] = '\0';
    if (std::strlen(path) >= sizeof slot->path)
        return ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    slot->fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (slot->fd >= 0) std::strcpy(slot->path, path);
    return slot->fd;
}

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

}  // namespace

void AppendToOutput(const char* variable, int fallbackFd, std::string_view text) {
    const char* path = std::getenv(variable);
    if (path == nullptr || *path == '\0') {
        if (fallbackFd >= 0) WriteAll(fallbackFd, text);
        return;
    }
    std::lock_guard lock(g_outputsMutex);
    const int fd = DescriptorFor(variable, path);
    if (fd >= 0) {
        WriteAll(fd, text);
        bool cached = false;
        for (const OpenOutput& o : g_outputs)
            cached = cached || o.fd == fd;
        if (!cached) ::close(fd);
    } else if (fallbackFd >= 0) {
        WriteAll(fallbackFd, text);
    }
}

}  // namespace qv::platform

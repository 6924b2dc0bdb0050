#include "os/process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv::cli::os {

std::optional<std::string> GetEnv(const char* name) {
    const char* value = ::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void SetEnv(const char* name, const std::string& value) {
    ::setenv(name, value.c_str(), 1);
}

void UnsetEnv(const char* name) {
    ::unsetenv(name);
}

std::string ExecutableDirectory() {
    char path[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0) return ".";
    std::string full(path, static_cast<size_t>(n));
    const size_t slash = full.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return full.substr(0, slash);
}

std::string StateDirectory() {
    // A relative XDG_STATE_HOME is invalid and ignored, as XDG asks.
    if (const char* state = ::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return std::string(state) + "/qvimager";
    }
    std::string home;
    if (const char* h = ::getenv("HOME"); h != nullptr && h[0] == '/') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        home = pw->pw_dir;
    }
    if (home.empty()) return {};
    return home + "/.local/state/qvimager";
}

std::string CreateDirectories(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return "cannot create " + part + ": " + std::strerror(errno);
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return path + " is not a directory";
    return {};
}

std::string WritableReason(const std::string& dir) {
    if (::access(dir.c_str(), W_OK | X_OK) == 0) return {};
    return std::strerror(errno);
}

std::optional<LinePipe> OpenLinePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    return LinePipe{fds[0], "/proc/self/fd/" + std::to_string(fds[1])};
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

long ReadWithin(int fd, char* buffer, size_t size, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return 0;
    const ssize_t n = ::read(fd, buffer, size);
    return n > 0 ? static_cast<long>(n) : 0;
}

int OpenForAppend(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

void CloseFd(int fd) {
    ::close(fd);
}

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
}

bool StandardErrorIsTerminal() {
    return ::isatty(2) == 1;
}

void WriteStandardError(std::string_view text) {
    WriteAll(2, text);
}

void ExitNow(int status) {
    ::_exit(status);
}

std::string LoadedFileOf(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    char resolved[PATH_MAX];
    if (::realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
    return resolved;
}

}  // namespace qv::cli::os

#include "os/process.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

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

}  // namespace qv::cli::os

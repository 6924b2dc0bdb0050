// The process's environment and its executable's directory: the library and
// the platform read their configuration from the environment when they open
// a device, so the program sets it up before it opens the imager.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv::cli::os {

std::optional<std::string> GetEnv(const char* name);
void SetEnv(const char* name, const std::string& value);
void UnsetEnv(const char* name);

// The directory of the running executable, without a trailing '/'.
std::string ExecutableDirectory();

}  // namespace qv::cli::os

namespace qv::cli::os {

// The user's state directory for this program: $XDG_STATE_HOME/qvimager when
// XDG_STATE_HOME is an absolute path, else ~/.local/state/qvimager; empty
// when there is no home directory either.
std::string StateDirectory();

// Creates `path` and its missing parents (mode 0700). Empty on success, else
// the reason.
std::string CreateDirectories(const std::string& path);

// Empty when the process may create files in `dir`, else the reason.
std::string WritableReason(const std::string& dir);

// A pipe whose write end the library opens by name as its debug output.
struct LinePipe {
    int readFd = -1;
    std::string writePath;  // /proc/self/fd/N
};
std::optional<LinePipe> OpenLinePipe();

// True when `fd` has something to read within `timeoutMs`.
bool WaitReadable(int fd, int timeoutMs);
// Reads what is there within `timeoutMs`: the count, 0 when nothing came.
long ReadWithin(int fd, char* buffer, size_t size, int timeoutMs);

// A file opened for appending (created 0644), -1 when it cannot be.
int OpenForAppend(const std::string& path);
void CloseFd(int fd);
// Every byte of `text` to `fd`; gives up on an error.
void WriteAll(int fd, std::string_view text);

bool StandardErrorIsTerminal();
// Writes all of `text` to standard error in one call.
void WriteStandardError(std::string_view text);

// Ends the process at once, without running destructors or waiting for the
// library's threads (a command that waits for an engine that is not there).
[[noreturn]] void ExitNow(int status);

// The file the shared object holding `address` was loaded from, with
// symbolic links resolved; empty when unknown.
std::string LoadedFileOf(const void* address);

}  // namespace qv::cli::os

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/core/home_directory.h"
#include "platform/storage/files.h"
#include "platform/text/utf.h"

namespace qv::platform {
namespace {

// strerror_r comes in a GNU and an XSI flavour; take whichever is there.
[[maybe_unused]] const char* PickMessage(int rc, const char* buffer) {
    return rc == 0 ? buffer : "unknown error";
}
[[maybe_unused]] const char* PickMessage(const char* message, const char*) {
    return message;
}

std::string ErrnoText(int error) {
    char buffer[256] = {};
    return PickMessage(strerror_r(error, buffer, sizeof buffer), buffer);
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int FlockRetrying(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

bool WriteAll(int fd, const uint8_t* data, size_t size, int* error) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

std::string ResolveSymbolicLinks(std::string_view path) {
    std::string current(path);
    // As many hops as the kernel itself follows before ELOOP.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        if (char* real = ::realpath(current.c_str(), nullptr); real != nullptr) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
        std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return current;
        const std::string next(target.data(), static_cast<size_t>(n));
        current = next.front() == '/' ? next : DirectoryOf(current) + "/" + next;
    }
    return current;
}

namespace {

void SyncDirectory(const std::string& dir) {
    const int fd = OpenRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    // Some file systems refuse fsync on a directory; the rename is made anyway.
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

File::~File() {
    Close();
}

File::File(File&& other) noexcept : m_fd(other.m_fd), m_error(other.m_error) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_error = other.m_error;
        other.m_fd = -1;
    }
    return *this;
}

File File::OpenForReading(std::u16string_view path, FileShare share) {
    return Open(Utf16ToUtf8(path), false, share);
}
File File::OpenForReadingUtf8(std::string_view path, FileShare share) {
    return Open(path, false, share);
}
File File::CreateForWriting(std::u16string_view path, FileShare share) {
    return Open(Utf16ToUtf8(path), true, share);
}
File File::CreateForWritingUtf8(std::string_view path, FileShare share) {
    return Open(path, true, share);
}

File File::Open(std::string_view path, bool forWriting, FileShare share) {
    File file;
    const std::string name(path);
    if (name.empty() || name.find('\0') != std::string::npos) {
        file.m_error = ENOENT;
        return file;
    }
    // Non-blocking, so that naming a FIFO fails instead of hanging; cleared below.
    const int flags = O_CLOEXEC | O_NONBLOCK | (forWriting ? (O_WRONLY | O_CREAT) : O_RDONLY);
    const int fd = OpenRetrying(name.c_str(), flags, 0644);
    if (fd < 0) {
        file.m_error = errno;
        return file;
    }
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = errno;
    } else if (FlockRetrying(fd, (share == FileShare::None ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        error = errno;
    } else if (forWriting && ::ftruncate(fd, 0) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::close(fd);
        file.m_error = error;
        return file;
    }
    file.m_fd = fd;
    return file;
}

int64_t File::Read(void* data, size_t size) {
    if (m_fd < 0) {
        m_error = EBADF;
        return -1;
    }
    auto* bytes = static_cast<uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(m_fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_error = errno;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool File::Write(const void* data, size_t size) {
    if (m_fd < 0) {
        m_error = EBADF;
        return false;
    }
    return WriteAll(m_fd, static_cast<const uint8_t*>(data), size, &m_error);
}

bool File::Close() {
    if (m_fd < 0) return true;
    const int fd = m_fd;
    m_fd = -1;
    // Linux releases the descriptor even when close reports an error, so it
    // is never retried.
    if (::close(fd) != 0) {
        m_error = errno;
        return false;
    }
    return true;
}

int ReplaceFileContents(std::u16string_view path, std::span<const uint8_t> bytes) {
    return ReplaceFileContentsUtf8(Utf16ToUtf8(path), bytes);
}

namespace {

// How long a save waits for a reader of the old file (a load takes a shared
// lock for the few microseconds of its read) before it counts the file as
// held by another opener.
constexpr uint32_t kReaderWaitMs = 50;

// Our temporary files are ".<name>.tmp-<pid>-<n>" beside the target.
std::string TempPrefix(const std::string& base) {
    return "." + base + ".tmp-";
}

// A crash between creating a temporary file and renaming it leaves the
// file behind. One whose writer is gone (no such process, and no lock on
// it) is removed; one that may still be written is left alone.
void RemoveStaleTemporaries(const std::string& dir, const std::string& base) {
    DIR* listing = ::opendir(dir.c_str());
    if (listing == nullptr) return;
    const std::string prefix = TempPrefix(base);
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name(entry->d_name);
        if (!name.starts_with(prefix)) continue;
        const std::string_view rest = name.substr(prefix.size());
        const size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string_view::npos) continue;
        long pid = 0;
        bool digits = true;
        for (const char c : rest.substr(0, dash)) {
            if (c < '0' || c > '9' || pid > 100000000) {
                digits = false;
                break;
            }
            pid = pid * 10 + (c - '0');
        }
        if (!digits || pid <= 0) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        const int fd = ::openat(::dirfd(listing), entry->d_name,
                                O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        const bool stale = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                           FlockRetrying(fd, LOCK_EX | LOCK_NB) == 0;
        if (stale) ::unlinkat(::dirfd(listing), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(listing);
}

bool SameContents(int fd, const struct stat& st, std::span<const uint8_t> bytes) {
    if (static_cast<uint64_t>(st.st_size) != bytes.size()) return false;
    std::vector<uint8_t> current(bytes.size());
    size_t done = 0;
    while (done < current.size()) {
        const ssize_t n =
            ::pread(fd, current.data() + done, current.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return std::equal(current.begin(), current.end(), bytes.begin());
}

int WriteAt(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// Rewrites the file through its own descriptor, under the lock the caller
// holds. It keeps hard links, owner and group, and it is the only way to
// save a writable file beside which no temporary file can be made. It never
// leaves a cut file: the room for the whole new contents is reserved before
// the first byte is written (a file system that cannot reserve refuses the
// save), and a write that fails all the same puts the old contents back.
int WriteInPlace(int fd, bool readable, const struct stat& st, std::span<const uint8_t> bytes) {
    // Without the old contents a failed write could not be undone.
    if (!readable) return EACCES;
    std::vector<uint8_t> old(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < old.size()) {
        const ssize_t n = ::pread(fd, old.data() + got, old.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    // The file changed under us (another program writing without the lock):
    // what to put back is not known.
    if (got != old.size()) return EAGAIN;
    const auto room = static_cast<off_t>(std::max(old.size(), bytes.size()));
    if (room > 0) {
        int rc;
        do {
            rc = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, room);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) return errno;
    }
    int error = WriteAt(fd, bytes);
    if (error == 0 && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) error = errno;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (error != 0) {
        // The reserved room holds the old contents as well.
        if (WriteAt(fd, old) == 0 && ::ftruncate(fd, static_cast<off_t>(old.size())) == 0) {
            ::fsync(fd);
        }
        return error;
    }
    // Reserved room beyond the new end is given back.
    if (bytes.size() < old.size()) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd, static_cast<off_t>(bytes.size()));
    }
    return 0;
}

// Makes the temporary file under a name nobody holds. A name can be taken by
// a temporary file of an earlier process with our process id (a container
// restarted after a crash); the next number is tried then.
int CreateTemporary(const std::string& dir, const std::string& base, std::string* temp) {
    static std::atomic<unsigned> counter{0};
    const std::string stem = dir + "/" + TempPrefix(base) + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = stem + std::to_string(counter.fetch_add(1));
        const int fd = OpenRetrying(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// A save by someone other than the owner (a member of the file's group)
// would leave a new file of the saver's. The replacement takes the old
// file's owner and group where the system allows; false when the group
// cannot be kept, since those who share the file through it would be
// locked out.
bool KeepOwnership(int fd, const struct stat& st) {
    if (st.st_uid == ::geteuid() && st.st_gid == ::getegid()) return true;
    if (::fchown(fd, st.st_uid, st.st_gid) == 0) return true;
    if (st.st_gid == ::getegid()) return true;
    return ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0;
}

// Opens the file to be replaced. Read access is only wanted for comparing,
// write access for writing in place; `*refused` is the error a plain write
// would meet (a file we may not write), reported once the comparison has
// shown that something would have to be written.
int OpenOld(const std::string& target, int* fd, bool* readable, int* refused) {
    *readable = true;
    *refused = 0;
    *fd = OpenRetrying(target.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (*fd >= 0 || (errno != EACCES && errno != EROFS && errno != EPERM)) {
        return *fd < 0 ? errno : 0;
    }
    const int writeError = errno;
    *fd = OpenRetrying(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (*fd >= 0) {
        *readable = false;
        return 0;
    }
    *refused = writeError;
    *fd = OpenRetrying(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    return *fd < 0 ? writeError : 0;
}

int LockWaitingForReaders(int fd) {
    const auto deadline = DeadlineAfter(kReaderWaitMs);
    for (;;) {
        if (FlockRetrying(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return errno;
        Sleep(2);
    }
}

}  // namespace

int ReplaceFileContentsUtf8(std::string_view path, std::span<const uint8_t> bytes) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return ENOENT;
    // A symbolic link is followed, so that the file it names is replaced and
    // the link stays; a dangling link's target is made.
    const std::string target = ResolveSymbolicLinks(path);

    int old = -1;
    bool readable = false;
    int refused = 0;
    struct stat st {};
    if (const int error = OpenOld(target, &old, &readable, &refused);
        error != 0 && error != ENOENT) {
        return error;
    }
    // Closes `old` on every way out.
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) ::close(fd);
        }
    } closer{old};
    if (old >= 0) {
        if (::fstat(old, &st) != 0) return errno;
        if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        if (::fcntl(old, F_SETFL, ::fcntl(old, F_GETFL) & ~O_NONBLOCK) != 0) return errno;
        // Compare under a shared lock, so that a save that changes nothing
        // neither writes nor needs the file to itself.
        if (FlockRetrying(old, LOCK_SH | LOCK_NB) != 0) return errno;
        if (readable && SameContents(old, st, bytes)) return 0;
        // A read-only file is left as a plain write would leave it.
        if (refused != 0) return refused;
        // Hold the old file the way an opener without sharing would, so the
        // replace is refused while someone else holds it so.
        if (const int error = LockWaitingForReaders(old); error != 0) return error;
        // A rename would leave the other names of the file with the old
        // contents.
        if (st.st_nlink > 1) return WriteInPlace(old, readable, st, bytes);
    }

    const std::string dir = DirectoryOf(target);
    const size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    RemoveStaleTemporaries(dir, base);
    std::string temp;
    const int fd = CreateTemporary(dir, base, &temp);
    if (fd < 0) {
        // No temporary file beside it (a read-only directory, no room for
        // one): the file itself is writable, so it is written where it stands.
        return old >= 0 ? WriteInPlace(old, readable, st, bytes) : errno;
    }
    // Marks the temporary file as in use for RemoveStaleTemporaries.
    FlockRetrying(fd, LOCK_EX | LOCK_NB);
    int error = 0;
    if (old >= 0) {
        if (::fchmod(fd, st.st_mode & 07777) != 0) error = errno;
        if (error == 0 && !KeepOwnership(fd, st)) {
            ::close(fd);
            ::unlink(temp.c_str());
            return WriteInPlace(old, readable, st, bytes);
        }
    }
    if (error == 0) WriteAll(fd, bytes.data(), bytes.size(), &error);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
    } else {
        SyncDirectory(dir);
    }
    return error;
}

int CreateDirectories(std::string_view path) {
    const std::string full(path);
    if (full.empty()) return 0;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = full.find('/', pos + 1);
        const std::string part = full.substr(0, pos);
        if (part.empty() || part == "/") continue;
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::u16string FileErrorText(int error) {
    return Utf8ToUtf16(ErrnoText(error));
}

std::string ExecutablePathUtf8() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::u16string ExecutablePath() {
    return Utf8ToUtf16(ExecutablePathUtf8());
}

namespace {

std::mutex g_appDirMutex;
std::string g_appDirOverride;

}  // namespace

void SetApplicationDirectory(std::string_view directory) {
    std::string dir(directory);
    if (!dir.empty() && dir.back() != '/') dir += '/';
    std::lock_guard lock(g_appDirMutex);
    g_appDirOverride = std::move(dir);
}

std::string ApplicationDirectoryUtf8() {
    {
        std::lock_guard lock(g_appDirMutex);
        if (!g_appDirOverride.empty()) return g_appDirOverride;
    }
    const std::string exe = ExecutablePathUtf8();
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return exe.substr(0, slash + 1);
}

std::u16string ApplicationDirectory() {
    return Utf8ToUtf16(ApplicationDirectoryUtf8());
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    std::vector<char> buffer(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

std::u16string ApplicationDataDirectory(std::u16string* unwritable) {
    if (unwritable != nullptr) unwritable->clear();
    const std::string dir = ApplicationDirectoryUtf8();
    if (dir.empty() || ::access(dir.c_str(), W_OK | X_OK) == 0) return Utf8ToUtf16(dir);
    const std::string exe = ExecutablePathUtf8();
    const std::string program = exe.substr(exe.rfind('/') + 1);
    std::string state;
    // A relative XDG_STATE_HOME is invalid and ignored, as XDG asks.
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/') {
        state = std::string(xdg) + "/" + program;
    } else if (const std::string home = HomeDirectory(); !home.empty()) {
        state = home + "/.local/state/" + program;
    }
    // Nowhere better: the application's directory, as before.
    if (program.empty() || state.empty()) return Utf8ToUtf16(dir);
    // A directory that cannot be made shows in the loads and saves that follow.
    CreateDirectories(state);
    if (unwritable != nullptr) *unwritable = Utf8ToUtf16(dir);
    return Utf8ToUtf16(state + "/");
}

}  // namespace qv::platform

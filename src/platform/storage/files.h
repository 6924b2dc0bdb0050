// Files of the application. Paths are UTF-16, as the library handles them;
// UTF-8 overloads serve the platform's own code. The separator is '/'.
//
// "No sharing" is an exclusive flock taken without waiting: while one opener
// holds a file that way, every other open of it (shared or not) fails, and
// an exclusive open fails while shared openers hold it. The lock is advisory:
// it keeps out openers that go through this service, not other programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

enum class FileShare {
    Read,  // others may open the file too, but not without sharing
    None,  // no other opener while this one holds the file
};

class QV_PLATFORM_API File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing regular file for reading.
    static File OpenForReading(std::u16string_view path, FileShare share);
    static File OpenForReadingUtf8(std::string_view path, FileShare share);
    // Creates the file, or truncates it, for writing. An existing file is cut
    // only once the lock is held, so an opener that is refused leaves it whole.
    static File CreateForWriting(std::u16string_view path, FileShare share);
    static File CreateForWritingUtf8(std::string_view path, FileShare share);

    bool IsOpen() const { return m_fd >= 0; }
    // The errno of the failed open, read, write or close; 0 when none failed.
    int Error() const { return m_error; }

    // Reads up to `size` bytes; fewer only at the end of the file. -1 on error.
    int64_t Read(void* data, size_t size);
    // Writes all `size` bytes, or returns false.
    bool Write(const void* data, size_t size);
    // Releases the lock and closes; false when the close reported an error
    // (the data written may not have reached the file). Also done on destruction.
    bool Close();

  private:
    static File Open(std::string_view path, bool forWriting, FileShare share);

    int m_fd = -1;
    int m_error = 0;
};

// Replaces the file's contents as one step: the bytes go to a temporary file
// beside it, which is flushed to disk and renamed over the target, and the
// directory is flushed. Readers see the old or the new contents, never a
// part; a crash leaves the old file. A symbolic link, dangling or not, is
// kept and the file it names written. Conservative where a rename would not
// be: bytes equal to the current contents write nothing; a file the caller
// may not write is refused (EACCES) as a plain write would be; a file with
// other hard links, one beside which no temporary file can be made (a
// read-only directory, a full disk), or one whose group the replacement
// could not keep, is rewritten in place under the lock, and only once the
// room for the new contents is reserved (else refused, e.g. ENOSPC or
// EOPNOTSUPP); a write that fails then puts the old contents back.
// Temporary files left by a crashed save are removed by the next save.
// Fails (EWOULDBLOCK) while another opener holds the file without sharing.
// Returns 0 or the errno of the failed step; on failure the old file keeps
// its contents and no temporary file is left.
QV_PLATFORM_API int ReplaceFileContents(std::u16string_view path, std::span<const uint8_t> bytes);
QV_PLATFORM_API int ReplaceFileContentsUtf8(std::string_view path, std::span<const uint8_t> bytes);

// The path with its symbolic links followed, also a dangling last one (then
// the path of the file it would name); the path itself when it is no link.
// For the platform's own code.
std::string ResolveSymbolicLinks(std::string_view path);

// Creates the directory and its missing parents (mode 0700 before the umask,
// as for per-user state). Returns 0 or the errno.
QV_PLATFORM_API int CreateDirectories(std::string_view path);

// The text of an errno value, e.g. u"No such file or directory".
QV_PLATFORM_API std::u16string FileErrorText(int error);

// The full file name of the running executable (/proc/self/exe); empty when
// it cannot be read.
QV_PLATFORM_API std::u16string ExecutablePath();
QV_PLATFORM_API std::string ExecutablePathUtf8();
// Its directory with the trailing '/', e.g. u"/opt/scan/"; empty when the
// executable's name cannot be read. An application installed where it cannot
// write (/usr/bin) names another one with SetApplicationDirectory.
QV_PLATFORM_API std::u16string ApplicationDirectory();
QV_PLATFORM_API std::string ApplicationDirectoryUtf8();
// Where the application keeps its own files: ApplicationDirectory where the
// application may write there. Otherwise (installed in /usr/bin, say) the
// user's state directory for the program, $XDG_STATE_HOME/<program>/ or else
// ~/.local/state/<program>/, made when missing; `*unwritable` is then set to
// the application's directory (else cleared). Empty when neither is known.
QV_PLATFORM_API std::u16string ApplicationDataDirectory(std::u16string* unwritable);
// The directory ApplicationDirectory gives from now on ('/' is appended when
// missing); empty goes back to the executable's.
QV_PLATFORM_API void SetApplicationDirectory(std::string_view directory);

}  // namespace qv::platform

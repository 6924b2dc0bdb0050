// The registry hive as a .reg text file. Readers need no lock: writers
// replace the file by a rename, so a reader sees a whole old or a whole new
// file. Writers serialise on an flock of "<file>.lock" beside it (the hive
// itself cannot carry the lock, since each write replaces its inode), then
// re-read, change and replace the file.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/core/home_directory.h"
#include "platform/log/debug_output.h"
#include "platform/storage/files.h"
#include "platform/storage/reg_file.h"
#include "platform/storage/registry.h"
#include "platform/text/text_conversion.h"
#include "platform/text/utf.h"

namespace qv::platform {
namespace {

// A hive is a few kilobytes; anything this large is not one.
constexpr size_t kMaxFileSize = 16u << 20;
// How long a writer waits for another writer before it gives up.
constexpr uint32_t kLockWaitMs = 5000;

void Report(const std::string& text) {
    DebugOutputUtf8("registry: " + text + "\n");
}

std::string ErrorText(int error) {
    return Utf16ToUtf8(FileErrorText(error));
}

std::u16string_view UpToZero(std::u16string_view text) {
    return text.substr(0, text.find(u'\0'));
}

enum class Load { Ok, Missing, Failed };

// What was last read and parsed, by the file's identity: an open and a close
// query many values, and a large hive costs far more to parse than to stat.
struct Parsed {
    std::shared_ptr<const regfile::Document> doc;
    std::shared_ptr<const std::string> text;
};

struct Identity {
    std::string path;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtim{};
    timespec ctim{};

    static Identity Of(const std::string& path, const struct stat& st) {
        return {path, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const Identity& o) const {
        return path == o.path && dev == o.dev && ino == o.ino && size == o.size &&
               mtim.tv_sec == o.mtim.tv_sec && mtim.tv_nsec == o.mtim.tv_nsec &&
               ctim.tv_sec == o.ctim.tv_sec && ctim.tv_nsec == o.ctim.tv_nsec;
    }
};

std::mutex g_cacheMutex;
Identity g_cachedIdentity;
Parsed g_cached;

// Reads and parses the hive. A missing file is an empty hive. `consequence`
// ends the report of a failure ("value not read", ...).
Load LoadDocument(const std::string& path, Parsed& parsed, const char* consequence) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT) return Load::Missing;
        Report("cannot read " + path + ": " + ErrorText(errno) + "; " + consequence);
        return Load::Failed;
    }
    struct stat st {};
    std::string content;
    std::string problem;
    if (::fstat(fd, &st) != 0) {
        problem = ErrorText(errno);
    } else if (!S_ISREG(st.st_mode)) {
        problem = "not a regular file";
    } else {
        {
            std::lock_guard lock(g_cacheMutex);
            if (g_cached.doc != nullptr && g_cachedIdentity == Identity::Of(path, st)) {
                parsed = g_cached;
                ::close(fd);
                return Load::Ok;
            }
        }
        char chunk[8192];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                problem = ErrorText(errno);
                break;
            }
            if (n == 0) break;
            content.append(chunk, static_cast<size_t>(n));
            if (content.size() > kMaxFileSize) {
                problem = "larger than " + std::to_string(kMaxFileSize) + " bytes";
                break;
            }
        }
    }
    // Whether the file changed while it was read: then it is not kept.
    struct stat after {};
    const bool steady = problem.empty() && ::fstat(fd, &after) == 0 &&
                        Identity::Of(path, st) == Identity::Of(path, after);
    ::close(fd);
    if (!problem.empty()) {
        Report("cannot read " + path + ": " + problem + "; " + consequence);
        return Load::Failed;
    }
    regfile::ParseError error;
    auto doc = regfile::Document::Parse(content, &error);
    if (!doc) {
        Report("cannot parse " + path + ", line " + std::to_string(error.line) + ": " +
               error.reason + "; " + consequence + ", the file is left as it is");
        return Load::Failed;
    }
    parsed.doc = std::make_shared<const regfile::Document>(std::move(*doc));
    parsed.text = std::make_shared<const std::string>(std::move(content));
    if (steady) {
        std::lock_guard lock(g_cacheMutex);
        g_cachedIdentity = Identity::Of(path, st);
        g_cached = parsed;
    }
    return Load::Ok;
}

// Serialises writers, also across processes.
class WriteLock {
  public:
    WriteLock() = default;
    ~WriteLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool Acquire(const std::string& path) {
        // One lock per file, however it is named: a symbolic link and the
        // file's own name must exclude each other.
        const std::string lockPath = ResolveSymbolicLinks(path) + ".lock";
        // Read-only is enough for flock, and works where the lock file exists
        // but is not ours to write. Non-blocking, so that a FIFO in its place
        // is refused below instead of hanging the open.
        do {
            m_fd = ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
        } while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0) {
            Report("cannot write " + path + ": " + lockPath + ": " + ErrorText(errno) +
                   "; the file is left as it is");
            return false;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            Report("cannot write " + path + ": " + lockPath +
                   " is not a regular file; the file is left as it is");
            return false;
        }
        const auto deadline = DeadlineAfter(kLockWaitMs);
        for (;;) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return true;
            if (errno != EWOULDBLOCK && errno != EINTR) {
                Report("cannot write " + path + ": lock: " + ErrorText(errno) +
                       "; the file is left as it is");
                return false;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                Report("cannot write " + path + ": another writer holds " + lockPath +
                       "; the file is left as it is");
                return false;
            }
            Sleep(10);
        }
    }

  private:
    int m_fd = -1;
};

// Re-reads the hive under the write lock, lets `change` modify it and
// replaces the file when anything changed.
RegStatus Modify(const std::string& path, const std::function<bool(regfile::Document&)>& change) {
    if (path.empty()) {
        Report("no registry file: neither QV_REGISTRY nor a home directory is set");
        return RegStatus::Failed;
    }
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int error = CreateDirectories(path.substr(0, slash)); error != 0) {
            Report("cannot write " + path + ": cannot create its directory: " + ErrorText(error));
            return RegStatus::Failed;
        }
    }
    WriteLock lock;
    if (!lock.Acquire(path)) return RegStatus::Failed;

    Parsed parsed;
    const Load loaded = LoadDocument(path, parsed, "nothing written");
    if (loaded == Load::Failed) return RegStatus::Failed;
    regfile::Document doc = loaded == Load::Ok ? *parsed.doc : regfile::Document();
    if (!change(doc)) return RegStatus::Ok;
    const std::string after = doc.Serialize();
    if (loaded == Load::Ok && after == *parsed.text) return RegStatus::Ok;

    const auto* bytes = reinterpret_cast<const uint8_t*>(after.data());
    if (const int error = ReplaceFileContentsUtf8(path, {bytes, after.size()}); error != 0) {
        Report("cannot write " + path + ": " + ErrorText(error) + "; the file is left as it is");
        return RegStatus::Failed;
    }
    return RegStatus::Ok;
}

class PosixKey final : public RegistryKey {
  public:
    PosixKey(std::string file, std::u16string path)
        : m_file(std::move(file)), m_path(std::move(path)) {}

    RegStatus QueryValue(std::u16string_view name, RegType* type, void* data,
                         uint32_t* size) override {
        if (data != nullptr && size == nullptr) return RegStatus::Failed;
        try {
            Parsed parsed;
            const Load loaded = LoadDocument(m_file, parsed, "value not read");
            if (loaded == Load::Failed) return RegStatus::Failed;
            if (loaded == Load::Missing) return RegStatus::NotFound;
            const regfile::Value* value = parsed.doc->FindValue(m_path, UpToZero(name));
            if (value == nullptr) return RegStatus::NotFound;

            std::vector<uint8_t> bytes;
            if (value->type == RegType::Dword) {
                for (int i = 0; i < 4; ++i)
                    bytes.push_back(static_cast<uint8_t>(value->dword >> (8 * i)));
            } else {
                for (const char16_t unit : value->text) {
                    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
                    bytes.push_back(static_cast<uint8_t>(unit >> 8));
                }
                bytes.push_back(0);
                bytes.push_back(0);
            }
            if (type != nullptr) *type = value->type;
            if (size == nullptr) return RegStatus::Ok;
            const auto needed = static_cast<uint32_t>(bytes.size());
            if (data != nullptr && *size < needed) {
                *size = needed;
                return RegStatus::MoreData;
            }
            if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
            *size = needed;
            return RegStatus::Ok;
        } catch (...) {
            return RegStatus::Failed;
        }
    }

    RegStatus SetDword(std::u16string_view name, uint32_t value) override {
        const RegWrite one = RegWrite::Dword(name, value);
        return SetValues({&one, 1});
    }

    RegStatus SetString(std::u16string_view name, std::u16string_view value) override {
        const RegWrite one = RegWrite::String(name, value);
        return SetValues({&one, 1});
    }

    RegStatus SetValues(std::span<const RegWrite> values) override {
        try {
            std::vector<std::pair<std::u16string_view, regfile::Value>> changes;
            for (const RegWrite& write : values) {
                const std::u16string_view name = UpToZero(write.name);
                const regfile::Value value = write.type == RegType::String
                                                 ? regfile::Value::String(UpToZero(write.text))
                                                 : regfile::Value::Dword(write.dword);
                if (!regfile::IsStorable(name) || !regfile::IsStorable(value.text)) {
                    Report("cannot write value \"" + Utf16ToUtf8(name) + "\" of key \"" +
                           Utf16ToUtf8(m_path) + "\" to " + m_file +
                           ": line breaks and unpaired surrogates cannot be kept in the file");
                    return RegStatus::Failed;
                }
                changes.emplace_back(name, value);
            }
            bool encodable = true;
            const RegStatus status = Modify(m_file, [&](regfile::Document& doc) {
                for (const auto& [name, value] : changes) {
                    if (!doc.CanEncode(m_path) || !doc.CanEncode(name) ||
                        !doc.CanEncode(value.text)) {
                        Report("cannot write value \"" + Utf16ToUtf8(name) + "\" of key \"" +
                               Utf16ToUtf8(m_path) + "\" to " + m_file + ": the file's code page " +
                               AnsiCodePage() +
                               " has no form for its text; the file is left as it is");
                        encodable = false;
                        return false;
                    }
                }
                // A key deleted by another process since it was opened is
                // made again with its values, as the platform's would.
                bool changed = doc.CreateKey(m_path);
                for (const auto& [name, value] : changes)
                    changed = doc.SetValue(m_path, name, value) || changed;
                return changed;
            });
            return encodable ? status : RegStatus::Failed;
        } catch (...) {
            return RegStatus::Failed;
        }
    }

  private:
    const std::string m_file;
    const std::u16string m_path;
};

bool CheckPath(std::u16string_view path) {
    if (regfile::IsValidKeyPath(path)) return true;
    Report("invalid key path \"" + Utf16ToUtf8(path) + "\"");
    return false;
}

}  // namespace

std::string RegistryFilePath() {
    if (const char* file = std::getenv("QV_REGISTRY"); file != nullptr && *file != '\0') {
        return file;
    }
    // A relative XDG_STATE_HOME is invalid and ignored, as XDG asks.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return std::string(state) + "/qvimager/registry.reg";
    }
    const std::string home = HomeDirectory();
    if (home.empty()) return {};
    return home + "/.local/state/qvimager/registry.reg";
}

RegStatus RegistryKey::Open(std::u16string_view path, std::unique_ptr<RegistryKey>& key) {
    key.reset();
    try {
        if (!CheckPath(path)) return RegStatus::Failed;
        const std::string file = RegistryFilePath();
        if (file.empty()) {
            Report("no registry file: neither QV_REGISTRY nor a home directory is set");
            return RegStatus::Failed;
        }
        Parsed parsed;
        switch (LoadDocument(file, parsed, "key not opened")) {
            case Load::Failed:
                return RegStatus::Failed;
            case Load::Missing:
                if (!path.empty()) return RegStatus::NotFound;
                break;
            case Load::Ok:
                if (!parsed.doc->HasKey(path)) return RegStatus::NotFound;
                break;
        }
        key = std::make_unique<PosixKey>(file, std::u16string(path));
        return RegStatus::Ok;
    } catch (...) {
        return RegStatus::Failed;
    }
}

RegStatus RegistryKey::Create(std::u16string_view path, std::unique_ptr<RegistryKey>& key) {
    key.reset();
    try {
        if (!CheckPath(path)) return RegStatus::Failed;
        const std::string file = RegistryFilePath();
        bool encodable = true;
        const RegStatus status = Modify(file, [&](regfile::Document& doc) {
            if (doc.HasKey(path)) return false;
            if (!doc.CanEncode(path)) {
                Report("cannot create key \"" + Utf16ToUtf8(path) + "\" in " + file +
                       ": the file's code page " + AnsiCodePage() +
                       " has no form for its name; the file is left as it is");
                encodable = false;
                return false;
            }
            return doc.CreateKey(path);
        });
        if (status != RegStatus::Ok) return status;
        if (!encodable) return RegStatus::Failed;
        key = std::make_unique<PosixKey>(file, std::u16string(path));
        return RegStatus::Ok;
    } catch (...) {
        return RegStatus::Failed;
    }
}

RegStatus RegistryKey::CreateAndSetValues(std::u16string_view path,
                                          std::span<const RegWrite> values) {
    try {
        if (!CheckPath(path)) return RegStatus::Failed;
        return PosixKey(RegistryFilePath(), std::u16string(path)).SetValues(values);
    } catch (...) {
        return RegStatus::Failed;
    }
}

}  // namespace qv::platform

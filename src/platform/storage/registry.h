// The registry store: keys under HKEY_LOCAL_MACHINE kept in the .reg text
// file named by QV_REGISTRY (see docs/platform.md). Key and value names
// compare case-insensitively. Every write (one value or a group) rewrites
// the file atomically (temporary file, fsync, rename) under an flock; a
// file that cannot be kept is never overwritten.
//
// The calls follow the platform's registry semantics, because the library's
// rules depend on them: a missing key differs from a missing value, a value
// is read into a caller's buffer of a given byte size, and strings are
// stored as UTF-16 with their terminator.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

enum class RegStatus {
    Ok,
    NotFound,   // no such key (Open) or no such value (Query)
    MoreData,   // the caller's buffer is too small; nothing was copied
    Failed,     // unreadable or unparseable file, or the write could not be made
    WrongType,  // QueryDword / QueryString: the value exists with another type
};

enum class RegType : uint32_t { String = 1, Dword = 4 };

// One value of a group that is written together (RegistryKey::SetValues).
struct RegWrite {
    std::u16string_view name;
    RegType type = RegType::Dword;
    uint32_t dword = 0;
    std::u16string_view text;  // stored up to its first zero unit

    static RegWrite Dword(std::u16string_view name, uint32_t value) {
        return {name, RegType::Dword, value, {}};
    }
    static RegWrite String(std::u16string_view name, std::u16string_view text) {
        return {name, RegType::String, 0, text};
    }
};

class QV_PLATFORM_API RegistryKey {
  public:
    // Opens an existing key, e.g. u"VARN\\QV_BarcodeAPI".
    static RegStatus Open(std::u16string_view path, std::unique_ptr<RegistryKey>& key);
    // Opens the key, creating it (and writing the file) when it does not exist.
    static RegStatus Create(std::u16string_view path, std::unique_ptr<RegistryKey>& key);
    // Opens or creates the key and writes the values, all in one locked
    // rewrite: no reader and no crash sees the key without its values.
    static RegStatus CreateAndSetValues(std::u16string_view path, std::span<const RegWrite> values);

    virtual ~RegistryKey() = default;

    // Copies the value's data into `data` (capacity `*size` bytes) and sets
    // `*size` to the data's byte count; `type` may be null. A string's data is
    // its UTF-16 units and the terminator. `data` may be null to ask the size.
    virtual RegStatus QueryValue(std::u16string_view name, RegType* type, void* data,
                                 uint32_t* size) = 0;
    // Writes the value. A string is stored up to its first zero unit, with its
    // terminator; text with a line break cannot be kept in the file and fails.
    virtual RegStatus SetDword(std::u16string_view name, uint32_t value) = 0;
    virtual RegStatus SetString(std::u16string_view name, std::u16string_view value) = 0;
    // Writes a group of values in one locked rewrite of the file, so that no
    // reader and no crash sees part of the group. When one of them cannot be
    // kept, none is written.
    virtual RegStatus SetValues(std::span<const RegWrite> values) = 0;

    // Typed reads on top of QueryValue: WrongType when the value is not of the
    // asked type; `*value` changes only on Ok. A string comes without terminator.
    RegStatus QueryDword(std::u16string_view name, uint32_t* value);
    RegStatus QueryString(std::u16string_view name, std::u16string* value);
};

// The file that QV_REGISTRY (or its default) names right now; empty when no
// home directory can be found.
QV_PLATFORM_API std::string RegistryFilePath();

}  // namespace qv::platform

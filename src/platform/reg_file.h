// The registry hive's text form, parsed and written without touching files,
// so that it can be tested and fuzzed on its own.
//
// A document keeps every line of the file it was read from. Changes rewrite
// or insert only the lines they concern; comments, blank lines, the header
// and the order of keys and values stay as they were, and names keep the
// spelling the file already had.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_api.h"
#include "platform/registry.h"

namespace qv::platform::regfile {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kHeader4 = "REGEDIT4";
inline constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

struct Value {
    RegType type = RegType::Dword;
    uint32_t dword = 0;
    std::u16string text;  // strings only; without terminator

    static Value Dword(uint32_t v) { return {RegType::Dword, v, {}}; }
    static Value String(std::u16string_view s) { return {RegType::String, 0, std::u16string(s)}; }
    friend bool operator==(const Value&, const Value&) = default;
};

struct ParseError {
    size_t line = 0;  // 1-based
    std::string reason;
};

// Key and value names compare without regard to case, as on the handheld:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters fold.
QV_PLATFORM_API char16_t FoldCase(char16_t c);
QV_PLATFORM_API bool NamesEqual(std::u16string_view a, std::u16string_view b);

// A key path below HKEY_LOCAL_MACHINE: segments separated by one backslash,
// none empty; the empty path is the root itself.
QV_PLATFORM_API bool IsValidKeyPath(std::u16string_view path);
// Whether a name or a string value can be written to the file: no line
// breaks (the format has no escape for them) and no unpaired surrogates.
QV_PLATFORM_API bool IsStorable(std::u16string_view text);

class QV_PLATFORM_API Document {
  public:
    // An empty hive with the version 5 header: what a missing file reads as.
    Document();

    // Nullopt when the text does not follow the format; `error` says where.
    static std::optional<Document> Parse(std::string_view text, ParseError* error = nullptr);
    std::string Serialize() const;

    bool HasKey(std::u16string_view path) const;
    // The value as the file defines it (the last definition wins), or null.
    const Value* FindValue(std::u16string_view key, std::u16string_view name) const;

    // Both return true when the document changed. The key and the value must
    // pass IsValidKeyPath and IsStorable (checked by the caller).
    bool CreateKey(std::u16string_view key);
    bool SetValue(std::u16string_view key, std::u16string_view name, const Value& value);

  private:
    enum class Kind { Other, Key, Value };
    struct Line {
        Kind kind = Kind::Other;
        std::string raw;  // as read or as last formatted, without line end
        std::u16string key;
        std::u16string name;
        regfile::Value value;
    };

    // Index of the last line of the section of `key`, or npos.
    size_t LastSectionOf(std::u16string_view key) const;
    size_t AppendSection(std::u16string_view key);

    std::vector<Line> m_lines;
    std::string m_eol = "\n";
    bool m_bom = false;
};

// The text of one value line, e.g. "PREFIX1"=dword:00000011.
QV_PLATFORM_API std::string FormatValueLine(std::u16string_view name, const Value& value);

}  // namespace qv::platform::regfile

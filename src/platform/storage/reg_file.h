// The registry hive's text form, parsed and written without touching files,
// so that it can be tested and fuzzed on its own.
//
// A document keeps every line of the file it was read from, byte for byte
// and in the file's own encoding (UTF-8, UTF-16LE with a byte-order mark as
// regedit exports, or the ANSI code page for a REGEDIT4 file without a
// byte-order mark) with its own line ends. Lines it does not understand (other value
// types, continuation lines, deletions, other roots) are kept as opaque
// lines of their key. Changes rewrite or insert only the lines they
// concern; names keep the spelling the file already had.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_api.h"
#include "platform/storage/registry.h"

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

    // Nullopt only when the text cannot be kept (no registry header, an
    // encoding it cannot write back); `error` says where.
    static std::optional<Document> Parse(std::string_view text, ParseError* error = nullptr);
    std::string Serialize() const;

    // Whether the file's encoding has a form for the text (an ANSI code
    // page lacks most characters); callers check before changing.
    bool CanEncode(std::u16string_view text) const;

    bool HasKey(std::u16string_view path) const;
    // The value as the file defines it (the last definition wins), or null.
    const Value* FindValue(std::u16string_view key, std::u16string_view name) const;

    // Both return true when the document changed. The key and the value must
    // pass IsValidKeyPath and IsStorable (checked by the caller).
    bool CreateKey(std::u16string_view key);
    bool SetValue(std::u16string_view key, std::u16string_view name, const Value& value);

    enum class Encoding { Utf8, Utf16Le, Ansi };
    Encoding FileEncoding() const { return m_encoding; }

  private:
    // Other: comments, blank lines, the header and whatever is not ours.
    // Opaque: a value of one of our keys that this format does not read
    // (a hex: value with its continuation lines, a deletion, ...).
    enum class Kind { Other, Key, Value, Opaque };
    struct Line {
        Kind kind = Kind::Other;
        std::string raw;  // the file's bytes, line end(s) included
        std::string eol;  // its last line end; empty, or a lone CR, at the end of a file
        bool blank = false;
        bool named = false;  // Opaque: whether its name could be read
        // A value line that ends the file with a continuation backslash: a
        // line put after it would be read as its continuation.
        bool dangling = false;
        std::u16string key;
        std::u16string name;
        regfile::Value value;
    };

    // Index of the last line of the section of `key`, or npos.
    size_t LastSectionOf(std::u16string_view key) const;
    size_t AppendSection(std::u16string_view key);
    // Inserts before index `pos`, giving the line before it a line end if
    // it had none.
    void InsertAt(size_t pos, Line line);
    std::string Encode(std::string_view utf8) const;
    Line MakeLine(Kind kind, std::string_view utf8) const;

    std::vector<Line> m_lines;
    std::string m_eol = "\n";  // for new lines, in UTF-8
    std::string m_bom;
    Encoding m_encoding = Encoding::Utf8;
};

// The text of one value line, e.g. "PREFIX1"=dword:00000011.
QV_PLATFORM_API std::string FormatValueLine(std::u16string_view name, const Value& value);

}  // namespace qv::platform::regfile

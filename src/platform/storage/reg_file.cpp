#include "platform/storage/reg_file.h"

#include <cstdio>

#include "platform/text/text_conversion.h"
#include "platform/text/utf.h"

namespace qv::platform::regfile {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool IsBlank(std::string_view s) {
    return Trim(s).empty();
}

bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(static_cast<unsigned char>(a[i])) !=
            FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Reads a quoted text starting at s[pos] == '"'; on success pos is past the
// closing quote. Only \\ and \" are escapes.
bool ParseQuoted(std::string_view s, size_t& pos, std::u16string& out, std::string& reason) {
    std::string bytes;
    ++pos;
    while (pos < s.size()) {
        const char c = s[pos++];
        if (c == '"') {
            out = Utf8ToUtf16(bytes);
            return true;
        }
        if (c == '\\') {
            if (pos >= s.size()) break;
            const char e = s[pos++];
            if (e != '\\' && e != '"') {
                reason = std::string("unknown escape \\") + e + " (write \\\\ for a backslash)";
                return false;
            }
            bytes += e;
        } else {
            bytes += c;
        }
    }
    reason = "quoted text without its closing quotation mark";
    return false;
}

std::string Quote(std::u16string_view text) {
    std::string out = "\"";
    for (const char c : Utf16ToUtf8(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Key `key` equals `path` or lies below it.
bool KeyWithin(std::u16string_view key, std::u16string_view path) {
    if (path.empty()) return true;
    if (key.size() < path.size()) return false;
    if (!NamesEqual(key.substr(0, path.size()), path)) return false;
    return key.size() == path.size() || key[path.size()] == u'\\';
}

}  // namespace

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs capital and small letters next to each other;
        // the parity of the capital changes at U+0139 and U+0179.
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        const bool capitalEven = c < 0x139 || (c >= 0x14A && c < 0x179);
        const bool isEven = (c % 2) == 0;
        return (isEven == capitalEven) ? c : static_cast<char16_t>(c - 1);
    }
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3C9) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool IsStorable(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n' || c == 0) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool IsValidKeyPath(std::u16string_view path) {
    if (path.empty()) return true;
    if (!IsStorable(path)) return false;
    if (path.front() == u'\\' || path.back() == u'\\') return false;
    return path.find(u"\\\\") == std::u16string_view::npos;
}

std::string FormatValueLine(std::u16string_view name, const Value& value) {
    std::string line = name.empty() ? std::string("@") : Quote(name);
    line += '=';
    if (value.type == RegType::Dword) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(value.dword));
        line += hex;
    } else {
        line += Quote(value.text);
    }
    return line;
}

Document::Document() {
    m_lines.push_back(MakeLine(Kind::Other, kHeader));
}

std::string Document::Encode(std::string_view utf8) const {
    switch (m_encoding) {
        case Encoding::Utf8:
            return std::string(utf8);
        case Encoding::Utf16Le: {
            std::string out;
            for (const char16_t unit : Utf8ToUtf16(utf8)) {
                out += static_cast<char>(unit & 0xFF);
                out += static_cast<char>(unit >> 8);
            }
            return out;
        }
        case Encoding::Ansi:
            return Utf16ToAnsi(Utf8ToUtf16(utf8));
    }
    return std::string(utf8);
}

bool Document::CanEncode(std::u16string_view text) const {
    if (m_encoding != Encoding::Ansi) return true;
    bool lossless = true;
    Utf16ToAnsi(text, &lossless);
    return lossless;
}

Document::Line Document::MakeLine(Kind kind, std::string_view utf8) const {
    Line line;
    line.kind = kind;
    line.eol = Encode(m_eol);
    line.raw = Encode(utf8) + line.eol;
    line.blank = IsBlank(utf8);
    return line;
}

namespace {

// One line of the file as it stands: its bytes with the line end, the
// bytes of that line end, and its text in UTF-8 for reading.
struct Physical {
    std::string_view raw;
    std::string_view eol;
    std::string text;
};

// `body` has an even number of bytes: UTF-16LE units after the byte-order mark.
std::vector<Physical> SplitUtf16(std::string_view body) {
    std::vector<Physical> lines;
    size_t start = 0;
    while (start < body.size()) {
        size_t nl = std::string_view::npos;
        for (size_t k = start; k + 1 < body.size(); k += 2) {
            if (body[k] == '\n' && body[k + 1] == '\0') {
                nl = k;
                break;
            }
        }
        const size_t stop = nl == std::string_view::npos ? body.size() : nl + 2;
        size_t textEnd = nl == std::string_view::npos ? body.size() : nl;
        // A CR ends a line with the LF behind it, or alone at the end of a
        // file cut after the CR of its last CRLF.
        const size_t crEnd = nl == std::string_view::npos ? body.size() : nl;
        if (crEnd >= start + 2 && body[crEnd - 2] == '\r' && body[crEnd - 1] == '\0') {
            textEnd = crEnd - 2;
        }
        Physical p;
        p.raw = body.substr(start, stop - start);
        p.eol = body.substr(textEnd, stop - textEnd);
        std::u16string units;
        for (size_t k = start; k < textEnd; k += 2) {
            units += static_cast<char16_t>(static_cast<unsigned char>(body[k]) |
                                           static_cast<unsigned char>(body[k + 1]) << 8);
        }
        p.text = Utf16ToUtf8(units);
        lines.push_back(std::move(p));
        start = stop;
    }
    return lines;
}

std::vector<Physical> SplitBytes(std::string_view body, bool ansi) {
    std::vector<Physical> lines;
    while (!body.empty()) {
        const size_t nl = body.find('\n');
        const size_t stop = nl == std::string_view::npos ? body.size() : nl + 1;
        Physical p;
        p.raw = body.substr(0, stop);
        std::string_view text = p.raw;
        if (nl != std::string_view::npos) text.remove_suffix(1);
        // A CR ends a line with the LF behind it, or alone at the end of a
        // file cut after the CR of its last CRLF.
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        p.eol = p.raw.substr(text.size());
        p.text = ansi ? Utf16ToUtf8(AnsiToUtf16(text)) : std::string(text);
        lines.push_back(std::move(p));
        body.remove_prefix(stop);
    }
    return lines;
}

// Reads `"name"=data` or `@=data`; false when the line is not of that shape.
bool ParseNameAndData(std::string_view t, std::u16string& name, std::string_view& data) {
    std::string reason;
    size_t pos = 0;
    if (t.front() == '@') {
        pos = 1;
        name.clear();
    } else if (!ParseQuoted(t, pos, name, reason)) {
        return false;
    }
    while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t'))
        ++pos;
    if (pos >= t.size() || t[pos] != '=') return false;
    ++pos;
    while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t'))
        ++pos;
    data = t.substr(pos);
    return true;
}

// A string or a dword, the two types kept here; nullopt for anything else.
std::optional<Value> ParseData(std::string_view data) {
    std::string reason;
    if (data.starts_with('"')) {
        size_t at = 0;
        Value value;
        value.type = RegType::String;
        if (!ParseQuoted(data, at, value.text, reason)) return std::nullopt;
        if (!Trim(data.substr(at)).empty()) return std::nullopt;
        return value;
    }
    if (data.size() >= 6 && AsciiEqualNoCase(data.substr(0, 6), "dword:")) {
        const std::string_view digits = Trim(data.substr(6));
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        uint32_t v = 0;
        for (const char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            v = (v << 4) | static_cast<uint32_t>(d);
        }
        return Value::Dword(v);
    }
    return std::nullopt;
}

}  // namespace

std::optional<Document> Document::Parse(std::string_view text, ParseError* error) {
    Document doc;
    doc.m_lines.clear();
    auto fail = [error](size_t line, std::string reason) -> std::optional<Document> {
        if (error != nullptr) *error = ParseError{line, std::move(reason)};
        return std::nullopt;
    };
    std::vector<Physical> physical;
    if (text.starts_with("\xFE\xFF")) {
        return fail(1, "the file is UTF-16 big-endian; only UTF-16LE (as regedit writes) is read");
    }
    if (text.starts_with("\xFF\xFE")) {
        doc.m_bom = "\xFF\xFE";
        doc.m_encoding = Encoding::Utf16Le;
        text.remove_prefix(2);
        if (text.size() % 2 != 0) return fail(1, "a UTF-16 file with an odd number of bytes");
        physical = SplitUtf16(text);
    } else {
        if (text.starts_with("\xEF\xBB\xBF")) {
            doc.m_bom = "\xEF\xBB\xBF";
            text.remove_prefix(3);
        }
        // regedit writes REGEDIT4 files in the ANSI code page, whatever their
        // bytes happen to look like; only a byte-order mark says UTF-8.
        bool ansi = false;
        if (doc.m_bom.empty()) {
            const size_t first = text.find_first_not_of(" \t\r\n");
            ansi = first != std::string_view::npos && text.substr(first).starts_with(kHeader4);
        }
        if (ansi) doc.m_encoding = Encoding::Ansi;
        physical = SplitBytes(text, ansi);
    }
    doc.m_eol = doc.m_encoding == Encoding::Utf8 ? "\n" : "\r\n";
    for (const Physical& p : physical) {
        if (!p.eol.empty()) {
            doc.m_eol = p.eol.front() == '\r' ? "\r\n" : "\n";
            break;
        }
    }

    bool sawHeader = false;
    bool inKey = false;  // in a section of one of our keys
    std::u16string currentKey;
    for (size_t number = 1; number <= physical.size(); ++number) {
        const Physical& p = physical[number - 1];
        Line line;
        line.raw = std::string(p.raw);
        line.eol = std::string(p.eol);
        const std::string_view t = Trim(p.text);
        line.blank = t.empty();
        if (t.empty()) {
            // blank
        } else if (!sawHeader) {
            if (t != kHeader && t != kHeader4) {
                return fail(number, "the first line must be \"" + std::string(kHeader) +
                                        "\" or \"" + std::string(kHeader4) + "\"");
            }
            sawHeader = true;
        } else if (t.front() == ';') {
            // comment
        } else if (t.front() == '[') {
            // Deletions, other roots and malformed key lines are kept as
            // they are; values below them are not ours.
            inKey = false;
            const std::string_view inner =
                t.size() >= 2 && t.back() == ']' ? t.substr(1, t.size() - 2) : std::string_view();
            const size_t slash = inner.find('\\');
            if (!inner.empty() && AsciiEqualNoCase(inner.substr(0, slash), kRoot)) {
                const std::u16string key = slash == std::string_view::npos
                                               ? std::u16string()
                                               : Utf8ToUtf16(inner.substr(slash + 1));
                if (slash == std::string_view::npos || (!key.empty() && IsValidKeyPath(key))) {
                    line.kind = Kind::Key;
                    line.key = key;
                    inKey = true;
                    currentKey = key;
                }
            }
        } else if (t.front() == '"' || t.front() == '@') {
            std::u16string name;
            std::string_view data;
            const bool shaped = ParseNameAndData(t, name, data);
            const std::optional<Value> value = shaped ? ParseData(data) : std::optional<Value>();
            // A value continues on the next line after a trailing backslash
            // (regedit folds long hex: values so); it stays one opaque line.
            bool continues = !value && t.back() == '\\';
            while (continues && number < physical.size()) {
                const Physical& next = physical[number];
                line.raw += next.raw;
                line.eol = std::string(next.eol);
                ++number;
                const std::string_view nt = Trim(next.text);
                continues = !nt.empty() && nt.back() == '\\';
            }
            line.dangling = continues;
            if (inKey) {
                line.key = currentKey;
                if (value) {
                    line.kind = Kind::Value;
                    line.name = std::move(name);
                    line.value = *value;
                } else {
                    line.kind = Kind::Opaque;
                    line.named = shaped;
                    line.name = std::move(name);
                }
            }
        }
        // Anything else is kept as it stands.
        doc.m_lines.push_back(std::move(line));
    }
    if (!sawHeader) {
        // Empty or blank: the same as no file at all, in the file's encoding.
        Document fresh;
        fresh.m_bom = doc.m_bom;
        fresh.m_encoding = doc.m_encoding;
        fresh.m_eol = doc.m_eol;
        fresh.m_lines.clear();
        fresh.m_lines.push_back(fresh.MakeLine(Kind::Other, kHeader));
        return fresh;
    }
    return doc;
}

std::string Document::Serialize() const {
    std::string out = m_bom;
    for (const Line& line : m_lines)
        out += line.raw;
    return out;
}

bool Document::HasKey(std::u16string_view path) const {
    if (path.empty()) return true;
    for (const Line& line : m_lines) {
        if (line.kind == Kind::Key && KeyWithin(line.key, path)) return true;
    }
    return false;
}

const Value* Document::FindValue(std::u16string_view key, std::u16string_view name) const {
    const Value* found = nullptr;
    for (const Line& line : m_lines) {
        const bool definition =
            line.kind == Kind::Value || (line.kind == Kind::Opaque && line.named);
        if (definition && NamesEqual(line.key, key) && NamesEqual(line.name, name)) {
            // A later definition we cannot read (a hex: value, a deletion)
            // hides the earlier ones.
            found = line.kind == Kind::Value ? &line.value : nullptr;
        }
    }
    return found;
}

size_t Document::LastSectionOf(std::u16string_view key) const {
    size_t last = std::string::npos;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind != Kind::Other && NamesEqual(line.key, key)) last = i;
    }
    return last;
}

void Document::InsertAt(size_t pos, Line line) {
    if (pos > 0 && m_lines[pos - 1].eol.empty()) {
        m_lines[pos - 1].eol = Encode(m_eol);
        m_lines[pos - 1].raw += m_lines[pos - 1].eol;
    } else if (pos > 0 && m_lines[pos - 1].eol == Encode("\r")) {
        // Anything written behind a lone CR would join it as a CRLF: the
        // cut line end is completed, so the line reads as it did.
        m_lines[pos - 1].eol = Encode("\r\n");
        m_lines[pos - 1].raw += Encode("\n");
    }
    if (pos > 0 && m_lines[pos - 1].dangling) {
        // The blank line ends the continuation, as it will when read again.
        m_lines[pos - 1].dangling = false;
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(pos),
                       MakeLine(Kind::Other, ""));
        ++pos;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(pos), std::move(line));
}

size_t Document::AppendSection(std::u16string_view key) {
    if (!m_lines.empty() && !m_lines.back().blank) {
        InsertAt(m_lines.size(), MakeLine(Kind::Other, ""));
    }
    Line line = MakeLine(
        Kind::Key, "[" + std::string(kRoot) + (key.empty() ? "" : "\\" + Utf16ToUtf8(key)) + "]");
    line.key = std::u16string(key);
    InsertAt(m_lines.size(), std::move(line));
    return m_lines.size() - 1;
}

bool Document::CreateKey(std::u16string_view key) {
    if (HasKey(key)) return false;
    AppendSection(key);
    return true;
}

bool Document::SetValue(std::u16string_view key, std::u16string_view name, const Value& value) {
    size_t existing = std::string::npos;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        const bool definition =
            line.kind == Kind::Value || (line.kind == Kind::Opaque && line.named);
        if (definition && NamesEqual(line.key, key) && NamesEqual(line.name, name)) existing = i;
    }
    if (existing != std::string::npos && m_lines[existing].kind == Kind::Value) {
        Line& line = m_lines[existing];
        if (line.value == value) return false;
        line.value = value;
        // The file's spelling of the name, unless its encoding cannot give
        // it back (a byte the code page leaves undefined).
        if (!CanEncode(line.name)) line.name = std::u16string(name);
        line.raw = Encode(FormatValueLine(line.name, value)) + line.eol;
        return true;
    }
    // After a definition we cannot read, which stays as it is but is
    // overridden by ours; else at the end of the key's last section.
    size_t at = existing;
    if (at == std::string::npos) at = LastSectionOf(key);
    if (at == std::string::npos) at = AppendSection(key);
    Line line = MakeLine(Kind::Value, FormatValueLine(name, value));
    line.key = m_lines[at].key;
    line.name = std::u16string(name);
    line.value = value;
    InsertAt(at + 1, std::move(line));
    return true;
}

}  // namespace qv::platform::regfile

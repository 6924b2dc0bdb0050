#include "platform/reg_file.h"

#include <cstdio>

#include "platform/utf.h"

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
    m_lines.push_back(Line{Kind::Other, std::string(kHeader), {}, {}, {}});
}

std::optional<Document> Document::Parse(std::string_view text, ParseError* error) {
    Document doc;
    doc.m_lines.clear();
    auto fail = [error](size_t line, std::string reason) -> std::optional<Document> {
        if (error != nullptr) *error = ParseError{line, std::move(reason)};
        return std::nullopt;
    };
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        return fail(1, "the file is UTF-16; it must be UTF-8");
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        doc.m_bom = true;
        text.remove_prefix(3);
    }

    bool sawHeader = false;
    bool inKey = false;
    std::u16string currentKey;
    size_t number = 0;
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
            if (number == 1) doc.m_eol = "\r\n";
        }

        Line line;
        line.raw = std::string(raw);
        const std::string_view t = Trim(raw);
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
            if (t.back() != ']') return fail(number, "key line without its closing ]");
            const std::string_view inner = t.substr(1, t.size() - 2);
            if (inner.starts_with('-')) return fail(number, "deleting keys is not supported");
            const size_t slash = inner.find('\\');
            if (!AsciiEqualNoCase(inner.substr(0, slash), kRoot)) {
                return fail(number, "only keys under " + std::string(kRoot) + " belong here");
            }
            line.kind = Kind::Key;
            line.key = slash == std::string_view::npos ? std::u16string()
                                                       : Utf8ToUtf16(inner.substr(slash + 1));
            if (slash != std::string_view::npos &&
                (line.key.empty() || !IsValidKeyPath(line.key))) {
                return fail(number, "empty key name in the key path");
            }
            inKey = true;
            currentKey = line.key;
        } else if (t.front() == '"' || t.front() == '@') {
            if (!inKey) return fail(number, "value before the first key");
            std::string reason;
            size_t pos = 0;
            if (t.front() == '@') {
                pos = 1;
            } else if (!ParseQuoted(t, pos, line.name, reason)) {
                return fail(number, reason);
            }
            while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t'))
                ++pos;
            if (pos >= t.size() || t[pos] != '=') return fail(number, "expected = after the name");
            ++pos;
            while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t'))
                ++pos;
            const std::string_view data = t.substr(pos);
            if (data.starts_with('"')) {
                size_t at = 0;
                if (!ParseQuoted(data, at, line.value.text, reason)) return fail(number, reason);
                if (!Trim(data.substr(at)).empty()) {
                    return fail(number, "text after the closing quotation mark");
                }
                line.value.type = RegType::String;
            } else if (data.size() >= 6 && AsciiEqualNoCase(data.substr(0, 6), "dword:")) {
                const std::string_view digits = Trim(data.substr(6));
                if (digits.empty() || digits.size() > 8) {
                    return fail(number, "a dword needs one to eight hex digits");
                }
                uint32_t v = 0;
                for (const char c : digits) {
                    const int d = HexDigit(c);
                    if (d < 0) return fail(number, "a dword needs one to eight hex digits");
                    v = (v << 4) | static_cast<uint32_t>(d);
                }
                line.value = Value::Dword(v);
            } else if (data.starts_with('-')) {
                return fail(number, "deleting values is not supported");
            } else {
                return fail(number, "unsupported value type (only strings and dword: are kept)");
            }
            line.kind = Kind::Value;
            line.key = currentKey;
        } else {
            return fail(number, "unrecognised line");
        }
        doc.m_lines.push_back(std::move(line));
    }
    if (!sawHeader) {
        // Empty or blank: the same as no file at all.
        Document fresh;
        fresh.m_bom = doc.m_bom;
        return fresh;
    }
    return doc;
}

std::string Document::Serialize() const {
    std::string out;
    if (m_bom) out = "\xEF\xBB\xBF";
    for (const Line& line : m_lines) {
        out += line.raw;
        out += m_eol;
    }
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
        if (line.kind == Kind::Value && NamesEqual(line.key, key) && NamesEqual(line.name, name)) {
            found = &line.value;
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

size_t Document::AppendSection(std::u16string_view key) {
    if (!m_lines.empty() && !IsBlank(m_lines.back().raw)) m_lines.push_back(Line{});
    Line line;
    line.kind = Kind::Key;
    line.key = std::u16string(key);
    line.raw = "[" + std::string(kRoot) + (key.empty() ? "" : "\\" + Utf16ToUtf8(key)) + "]";
    m_lines.push_back(std::move(line));
    return m_lines.size() - 1;
}

bool Document::CreateKey(std::u16string_view key) {
    if (HasKey(key)) return false;
    AppendSection(key);
    return true;
}

bool Document::SetValue(std::u16string_view key, std::u16string_view name, const Value& value) {
    Line* existing = nullptr;
    for (Line& line : m_lines) {
        if (line.kind == Kind::Value && NamesEqual(line.key, key) && NamesEqual(line.name, name)) {
            existing = &line;
        }
    }
    if (existing != nullptr) {
        if (existing->value == value) return false;
        existing->value = value;
        existing->raw = FormatValueLine(existing->name, value);
        return true;
    }
    size_t at = LastSectionOf(key);
    if (at == std::string::npos) at = AppendSection(key);
    Line line;
    line.kind = Kind::Value;
    line.key = m_lines[at].key;
    line.name = std::u16string(name);
    line.value = value;
    line.raw = FormatValueLine(name, value);
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at) + 1, std::move(line));
    return true;
}

}  // namespace qv::platform::regfile

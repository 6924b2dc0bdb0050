#include "log/write_log.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "platform/log/debug_output.h"
#include "platform/text/utf.h"

namespace qv {
namespace {

constexpr size_t kMaxUnits = kLogBufferUnits - 1;

// The zero-filled work buffer a line is formatted into; keeps at most
// kMaxUnits units. Fixed size, so logging allocates nothing.
class LogBuffer {
  public:
    explicit LogBuffer(char16_t* units) : m_units(units) {}
    size_t size() const { return m_size; }
    void operator+=(char16_t c) {
        if (m_size < kMaxUnits) m_units[m_size++] = c;
    }
    std::u16string_view View() const { return {m_units, m_size}; }

  private:
    char16_t* m_units;
    size_t m_size = 0;
};

void Append(LogBuffer& out, std::u16string_view piece) {
    for (char16_t c : piece) {
        if (out.size() >= kMaxUnits) break;
        out += c;
    }
}

// Characters of outside text (a barcode, a path, a system's message) that
// could end the line, colour or move a terminal's cursor, or reorder what a
// reader sees: C0 and C1 controls with ESC, CR and LF among them, DEL, the
// Unicode line and paragraph separators and the bidirectional controls.
bool NeedsEscape(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Appends outside text with each such character as \xHH or \uHHHH, so it
// can neither forge a line of its own nor act on a terminal. An escape that
// would not fit whole is left off with the rest.
void AppendEscaped(LogBuffer& out, std::u16string_view piece) {
    for (char16_t c : piece) {
        if (!NeedsEscape(c)) {
            if (out.size() >= kMaxUnits) break;
            out += c;
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, c <= 0xFF ? "\\x%02X" : "\\u%04X",
                      static_cast<unsigned>(c));
        if (out.size() + std::char_traits<char>::length(escape) > kMaxUnits) break;
        for (const char* e = escape; *e != '\0'; ++e)
            out += static_cast<char16_t>(*e);
    }
}

void AppendAscii(LogBuffer& out, const char* text) {
    for (; *text != '\0' && out.size() < kMaxUnits; ++text) {
        out += static_cast<char16_t>(static_cast<unsigned char>(*text));
    }
}

// Expands into `units` (kLogBufferUnits of them, zero-filled first); returns the length.
size_t FormatInto(char16_t* units, std::u16string_view format, std::initializer_list<LogArg> args);

size_t FormatInto(char16_t* units, std::u16string_view format, std::initializer_list<LogArg> args) {
    std::fill(units, units + kLogBufferUnits, u'\0');
    LogBuffer out(units);
    auto next = args.begin();
    size_t i = 0;
    while (i < format.size() && out.size() < kMaxUnits) {
        const char16_t c = format[i];
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        // Collect "%[flags][width][.precision][length]conv" as a narrow spec.
        std::string spec = "%";
        size_t j = i + 1;
        while (j < format.size() &&
               std::u16string_view(u"-+ #0").find(format[j]) != std::u16string_view::npos) {
            spec += static_cast<char>(format[j++]);
        }
        while (j < format.size() &&
               ((format[j] >= u'0' && format[j] <= u'9') || format[j] == u'.')) {
            spec += static_cast<char>(format[j++]);
        }
        while (j < format.size() && (format[j] == u'l' || format[j] == u'h'))
            ++j;  // widths are ours
        if (j >= format.size()) {
            Append(out, format.substr(i));
            break;
        }
        const char16_t conv = format[j];
        i = j + 1;
        if (conv == u'%') {
            out += u'%';
            continue;
        }
        if (next == args.end()) {
            AppendAscii(out, "(missing)");
            continue;
        }
        const LogArg& arg = *next++;
        std::array<char, 64> narrow{};
        switch (conv) {
            case u's':
                if (arg.kind == LogArg::Kind::Text) {
                    AppendEscaped(out, arg.text);
                } else {
                    std::snprintf(narrow.data(), narrow.size(), "%lld",
                                  static_cast<long long>(arg.integer));
                    AppendAscii(out, narrow.data());
                }
                break;
            case u'c':
                if (arg.kind == LogArg::Kind::Integer) {
                    const char16_t c = static_cast<char16_t>(arg.integer);
                    AppendEscaped(out, std::u16string_view(&c, 1));
                }
                break;
            case u'd':
            case u'i':
                spec += 'd';
                std::snprintf(
                    narrow.data(), narrow.size(), spec.c_str(),
                    static_cast<int32_t>(arg.kind == LogArg::Kind::Integer ? arg.integer : 0));
                AppendAscii(out, narrow.data());
                break;
            case u'u':
            case u'x':
            case u'X':
                spec += static_cast<char>(conv);
                std::snprintf(
                    narrow.data(), narrow.size(), spec.c_str(),
                    static_cast<uint32_t>(arg.kind == LogArg::Kind::Integer ? arg.integer : 0));
                AppendAscii(out, narrow.data());
                break;
            default:
                // Unknown conversion: keep the text as written so the line stays readable.
                Append(out, u"%");
                out += conv;
                break;
        }
    }
    return out.size();
}

}  // namespace

std::u16string FormatLog(std::u16string_view format, std::initializer_list<LogArg> args) {
    char16_t units[kLogBufferUnits];
    return std::u16string(units, FormatInto(units, format, args));
}

void WriteLogLine(std::u16string_view format, std::initializer_list<LogArg> args) {
    try {
        // Prefix and text in one UTF-16 line, converted once: one write, no allocation.
        static constexpr std::u16string_view kPrefix = u"[RO25]";
        char16_t line[kPrefix.size() + kLogBufferUnits];
        kPrefix.copy(line, kPrefix.size());
        const size_t n = FormatInto(line + kPrefix.size(), format, args);
        char utf8[(kPrefix.size() + kLogBufferUnits) * 3];
        const size_t bytes =
            platform::Utf16ToUtf8(std::u16string_view(line, kPrefix.size() + n), utf8, sizeof utf8);
        platform::DebugOutputUtf8(std::string_view(utf8, bytes));
    } catch (...) {
        // The log never fails as far as its callers can see.
    }
}

}  // namespace qv

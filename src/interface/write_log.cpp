#include "interface/write_log.h"

#include <array>
#include <cstdio>

#include "platform/debug_output.h"

namespace qv {
namespace {

constexpr size_t kMaxUnits = kLogBufferUnits - 1;

void Append(std::u16string& out, std::u16string_view piece) {
    const size_t room = kMaxUnits - out.size();
    out.append(piece.substr(0, room));
}

void AppendAscii(std::u16string& out, const char* text) {
    for (; *text != '\0' && out.size() < kMaxUnits; ++text) {
        out += static_cast<char16_t>(static_cast<unsigned char>(*text));
    }
}

}  // namespace

std::u16string FormatLog(std::u16string_view format, std::initializer_list<LogArg> args) {
    std::u16string out;
    out.reserve(128);
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
                    Append(out, arg.text);
                } else {
                    std::snprintf(narrow.data(), narrow.size(), "%lld",
                                  static_cast<long long>(arg.integer));
                    AppendAscii(out, narrow.data());
                }
                break;
            case u'c':
                if (arg.kind == LogArg::Kind::Integer) out += static_cast<char16_t>(arg.integer);
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
    if (out.size() > kMaxUnits) out.resize(kMaxUnits);
    return out;
}

void WriteLogLine(std::u16string_view format, std::initializer_list<LogArg> args) {
    try {
        std::u16string line = u"[RO25]";
        line += FormatLog(format, args);
        platform::DebugOutput(line);
    } catch (...) {
        // The log never fails as far as its callers can see.
    }
}

}  // namespace qv

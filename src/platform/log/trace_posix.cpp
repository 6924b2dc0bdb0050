

#include "platform/log/output_sink.h"
#include "platform/log/trace.h"
#include "platform/text/utf.h"

namespace qv::platform {

std::string QuoteTraceString(std::u16string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    const std::string utf8 = Utf16ToUtf8(text);
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        switch (b) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    out += "\\x";
                    out += kHex[b >> 4];
                    out += kHex[b & 0x0F];
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

void TraceLine(std::string_view line) {
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line);
    text += '\n';
    if (const auto sink = TraceSink()) sink->Write(text);
}

}  // namespace qv::platform

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/trace.h"
#include "platform/utf.h"

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
    const char* path = std::getenv("QV_PLATFORM_TRACE");
    if (path == nullptr || *path == '\0') return;
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line);
    text += '\n';
    // O_APPEND makes each write land whole at the end; a short write only
    // happens on a full disk, where the rest is retried.
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

}  // namespace qv::platform

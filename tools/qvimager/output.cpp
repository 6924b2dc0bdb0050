#include "output.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace qv::cli {
namespace {

std::mutex& OutputMutex() {
    static std::mutex mutex;
    return mutex;
}

std::atomic<int32_t> g_json{0};
// The errno of the first failed write to standard output, 0 while none failed.
std::atomic<int32_t> g_outputError{0};

void Write(std::FILE* stream, std::string_view line) {
    std::lock_guard lock(OutputMutex());
    // After a failure nothing more goes out: a closed pipe stays closed.
    if (stream == stdout && g_outputError.load() != 0) return;
    errno = 0;
    const bool written = std::fwrite(line.data(), 1, line.size(), stream) == line.size() &&
                         std::fputc('\n', stream) != EOF;
    const bool flushed = std::fflush(stream) == 0;
    if (stream == stdout && !(written && flushed)) {
        int expected = 0;
        g_outputError.compare_exchange_strong(expected, errno != 0 ? errno : EIO);
        std::clearerr(stream);
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

void PrintLine(std::string_view line) {
    Write(JsonOutput() ? stderr : stdout, line);
}

void SetJsonOutput(bool on) {
    g_json.store(on ? 1 : 0);
}

bool JsonOutput() {
    return g_json.load() != 0;
}

void PrintJson(const JsonObject& object) {
    Write(stdout, object.Text());
}

bool OutputFailed() {
    return g_outputError.load() != 0;
}

std::string OutputError() {
    return std::strerror(g_outputError.load());
}

bool OutputPipeClosed() {
    return g_outputError.load() == EPIPE;
}

void JsonObject::Key(std::string_view key) {
    if (m_text.size() > 1) m_text += ',';
    m_text += JsonString(key);
    m_text += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view utf8) {
    Key(key);
    m_text += JsonString(utf8);
    return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key) {
    Key(key);
    m_text += "null";
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t value) {
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<int32_t>& values) {
    Key(key);
    m_text += '[';
    for (size_t i = 0; i < values.size(); ++i)
        m_text += (i == 0 ? "" : ",") + std::to_string(values[i]);
    m_text += ']';
    return *this;
}

std::string JsonString(std::string_view utf8) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (b < 0x20 || b == 0x7F) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

void PrintError(std::string_view line) {
    Write(stderr, line);
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string_view TextOf(const char16_t* buffer, size_t units) {
    size_t length = 0;
    while (length < units && buffer[length] != 0)
        ++length;
    return {buffer, length};
}

std::string Quoted(std::string_view utf8) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        switch (ch) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    out += "\\x";
                    out += kHex[b >> 4];
                    out += kHex[b & 0xF];
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

}  // namespace qv::cli

#include "platform/text/utf.h"

#include <algorithm>

namespace qv::platform {
namespace {

// Encodes one code point into `out` (room for 4 bytes); returns its length.
size_t EncodeUtf8(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Calls `emit(c)` for each code point of `text`, unpaired surrogates as
// U+FFFD; stops when it returns false.
template <class Emit>
void ForEachCodePoint(std::u16string_view text, Emit emit) {
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (!emit(c)) return;
    }
}

// Calls `emit(bytes, n)` for each character of `text`; stops when it returns false.
template <class Emit>
void ForEachUtf8(std::u16string_view text, Emit emit) {
    ForEachCodePoint(text, [&](char32_t c) {
        char bytes[4];
        return emit(bytes, EncodeUtf8(c, bytes));
    });
}

}  // namespace

std::u32string Utf16ToUtf32(std::u16string_view text) {
    std::u32string out;
    ForEachCodePoint(text, [&](char32_t c) {
        out += c;
        return true;
    });
    return out;
}

std::string CodePointToUtf8(char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    char bytes[4];
    return std::string(bytes, EncodeUtf8(c, bytes));
}

size_t CutUnits(std::u16string_view text, size_t limit) {
    if (text.size() <= limit) return text.size();
    if (limit > 0 && text[limit - 1] >= 0xD800 && text[limit - 1] <= 0xDBFF &&
        text[limit] >= 0xDC00 && text[limit] <= 0xDFFF) {
        return limit - 1;
    }
    return limit;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachUtf8(text, [&out](const char* bytes, size_t n) {
        out.append(bytes, n);
        return true;
    });
    return out;
}

size_t Utf16ToUtf8(std::u16string_view text, char* out, size_t capacity) {
    size_t used = 0;
    ForEachUtf8(text, [&](const char* bytes, size_t n) {
        if (used + n > capacity) return false;
        std::copy(bytes, bytes + n, out + used);
        used += n;
        return true;
    });
    return used;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        char32_t c = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > text.size()) {
                len = 1;
            } else {
                char32_t v = b & (0x7F >> len);
                bool ok = true;
                for (size_t k = 1; k < len; ++k) {
                    const auto cb = static_cast<unsigned char>(text[i + k]);
                    if ((cb & 0xC0) != 0x80) ok = false;
                    v = (v << 6) | (cb & 0x3F);
                }
                static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
                if (ok && v >= kMin[len] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
                    c = v;
                } else {
                    len = 1;
                }
            }
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

}  // namespace qv::platform

// Conversions between UTF-16 (the library's text) and UTF-8 (Linux's).
#pragma once

#include <string>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

// Unpaired surrogates become U+FFFD.
QV_PLATFORM_API std::string Utf16ToUtf8(std::u16string_view text);
// Into a caller's buffer: at most `capacity` bytes, never a partial
// character; returns the bytes written. Allocates nothing.
QV_PLATFORM_API size_t Utf16ToUtf8(std::u16string_view text, char* out, size_t capacity);
// One code point a character; unpaired surrogates become U+FFFD.
QV_PLATFORM_API std::u32string Utf16ToUtf32(std::u16string_view text);
// Surrogates and values past U+10FFFF become U+FFFD.
QV_PLATFORM_API std::string CodePointToUtf8(char32_t c);
// Invalid sequences become U+FFFD.
QV_PLATFORM_API std::u16string Utf8ToUtf16(std::string_view text);

// How many units of `text` to keep when it must fit in `limit` units: all
// of it when it fits, else `limit`, or one less where the cut would fall
// between the two halves of a surrogate pair. Every cut of text goes
// through here, so no cut leaves half a character that a later step
// (the registry, a conversion) would refuse or garble.
QV_PLATFORM_API size_t CutUnits(std::u16string_view text, size_t limit);

}  // namespace qv::platform

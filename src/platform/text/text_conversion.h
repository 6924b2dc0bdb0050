// Text in the device's ANSI code page (the engine's data and version texts)
// converted to UTF-16, the library's text.
//
// The code page is QV_ANSI_CODEPAGE as read at the last LoadConfiguration
// (configuration.h): an iconv name, CP1252 when unset or empty. A name that iconv does not know
// falls back to CP1252, and the debug output says so once per name. A byte (or sequence) that the
// code page does not define, such as 0x81 in CP1252, becomes U+FFFD and the conversion goes on with
// the next byte, so nothing after it is lost. Safe to call from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

QV_PLATFORM_API std::u16string AnsiToUtf16(std::span<const uint8_t> bytes);
QV_PLATFORM_API std::u16string AnsiToUtf16(std::string_view bytes);

// Into a caller's buffer of `capacity` units: at most capacity - 1 units and
// a terminator, never more; a longer text is cut, but never between the two
// halves of a surrogate pair. Returns the units written before the
// terminator; writes nothing when the capacity is 0.
QV_PLATFORM_API size_t AnsiToUtf16(std::span<const uint8_t> bytes, char16_t* out, size_t capacity);

// The other way, for text that must be written in the code page. A
// character the code page has no form for becomes '?' and clears
// `*lossless` (when given).
QV_PLATFORM_API std::string Utf16ToAnsi(std::u16string_view text, bool* lossless = nullptr);

// The iconv name that conversions use right now.
QV_PLATFORM_API std::string AnsiCodePage();

// CP1252 without iconv, for systems whose iconv lacks even that code page:
// undefined bytes give U+FFFD, as through iconv.
QV_PLATFORM_API char16_t Cp1252ToUtf16(uint8_t byte);

}  // namespace qv::platform

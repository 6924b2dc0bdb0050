// Conversions between UTF-16 (the library's text) and UTF-8 (Linux's).
#pragma once

#include <string>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

// Unpaired surrogates become U+FFFD.
QV_PLATFORM_API std::string Utf16ToUtf8(std::u16string_view text);
// Invalid sequences become U+FFFD.
QV_PLATFORM_API std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace qv::platform

// The trace of stand-in effects: one line per effect, appended to the file
// named by QV_PLATFORM_TRACE as read at the last LoadConfiguration
// (configuration.h); no file, no trace. It is written for people and
// outside test harnesses; the library never reads it.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

// `text` in double quotes, UTF-8, with \\ \" \n \r \t escaped and any other
// control character as \xNN (two hex digits). Unpaired surrogates become U+FFFD.
QV_PLATFORM_API std::string QuoteTraceString(std::u16string_view text);

// Appends `line` and a newline with one write, so lines of different threads
// and processes never mix. `line` carries no newline of its own.
QV_PLATFORM_API void TraceLine(std::string_view line);

}  // namespace qv::platform

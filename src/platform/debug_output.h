// The platform's debug output: standard error, or the file named by
// QV_DEBUG_OUTPUT (appended to). Each call is one write(2), so lines of
// different threads never mix.
#pragma once

#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

QV_PLATFORM_API void DebugOutput(std::u16string_view text);
QV_PLATFORM_API void DebugOutputUtf8(std::string_view text);

}  // namespace qv::platform

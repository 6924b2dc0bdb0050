// The platform's debug output, chosen by QV_DEBUG_OUTPUT as read at the
// last LoadConfiguration (configuration.h): a file (appended to), "stderr",
// "journal" (the system journal, debug priority), "syslog" (/dev/log, debug
// priority), or nowhere when unset or "none". Each call is one write(2) or
// one datagram, so lines of different threads never mix.
#pragma once

#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

QV_PLATFORM_API void DebugOutput(std::u16string_view text);
QV_PLATFORM_API void DebugOutputUtf8(std::string_view text);

}  // namespace qv::platform

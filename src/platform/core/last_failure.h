// The calling thread's last failure: an errno-style code and one line that
// names the device, path or command and the system's reason. Set where a
// failure is found (an open, a line, a driver, a command), read by the
// application through QVPlatformGetLastFailure(). Never holds barcode
// contents: callers pass only names, paths and the system's texts.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

// Replaces the calling thread's last failure.
QV_PLATFORM_API void SetLastFailure(int code, std::string_view text);
// Forgets it: the code reads 0 and the text empty.
QV_PLATFORM_API void ClearLastFailure();
QV_PLATFORM_API int LastFailureCode();
QV_PLATFORM_API std::string LastFailureText();

// The longest prefix of `text` that fits in `bytes` bytes without cutting a
// UTF-8 character.
std::string_view CutUtf8(std::string_view text, size_t bytes);

}  // namespace qv::platform

// The message box. There is no one at this machine to press a button, so
// the box is written to the debug output and the trace
// (msgbox "<text>" "<caption>" <type>) and returns at once.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

// Button sets of the box's type.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;

// Answers a box can return.
inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdCancel = 2;

// Shows the box without an owner window; the answer is always kIdOk.
QV_PLATFORM_API int32_t ShowMessageBox(std::u16string_view text, std::u16string_view caption,
                                       uint32_t type);

}  // namespace qv::platform

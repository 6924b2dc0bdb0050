// Windows of the in-process stand-in: a class name, a procedure and the
// thread that created it. Messages to a window are handled on that thread
// (see message.h). Handles are small numbers, never addresses, so a stale
// handle is simply no window.
#pragma once

#include <cstdint>
#include <string_view>

#include "QVPlatform.h"
#include "platform/platform_api.h"

namespace qv::platform {

using WindowProc = QVWNDPROC;

// The handle that addresses every window at once (send and post).
inline QVHWND BroadcastWindow() {
    return QV_HWND_BROADCAST;
}

// Creates a window owned by the calling thread; null for a null procedure.
// It becomes the foreground window when none is in front.
QV_PLATFORM_API QVHWND CreateWindow(std::u16string_view className, WindowProc proc,
                                    void* userData = nullptr);
// Only the owning thread may destroy a window; its procedure gets WM_DESTROY
// first, its queued messages are dropped and senders waiting on it get 0.
QV_PLATFORM_API bool DestroyWindow(QVHWND window);
QV_PLATFORM_API bool IsWindow(QVHWND window);
QV_PLATFORM_API void* GetWindowUserData(QVHWND window);
// First created window whose class matches, compared case-insensitively.
QV_PLATFORM_API QVHWND FindWindow(std::u16string_view className);
QV_PLATFORM_API QVHWND GetForegroundWindow();
QV_PLATFORM_API bool SetForegroundWindow(QVHWND window);
QV_PLATFORM_API intptr_t DefWindowProc(QVHWND window, uint32_t message, uintptr_t wParam,
                                       intptr_t lParam);

}  // namespace qv::platform

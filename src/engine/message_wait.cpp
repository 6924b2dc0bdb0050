#include "engine/message_wait.h"

#include "platform/core/clock.h"
#include "platform/windows/message.h"

namespace qv {

void PumpMessagesKeepingQuit(uint32_t milliseconds) {
    const uint32_t start = platform::GetTickCount();
    bool quit = false;
    int32_t exitCode = 0;
    for (;;) {
        platform::Message msg{};
        while (platform::PeekMessage(&msg, nullptr, true)) {
            if (msg.message == QV_WM_QUIT) {
                quit = true;
                exitCode = static_cast<int32_t>(msg.wParam);
                continue;
            }
            platform::TranslateMessage(msg);
            platform::DispatchMessage(msg);
        }
        const uint32_t elapsed = platform::GetTickCount() - start;
        if (elapsed >= milliseconds) break;
        platform::WaitForMessages(milliseconds - elapsed);
    }
    if (quit) platform::PostQuitMessage(exitCode);
}

}  // namespace qv

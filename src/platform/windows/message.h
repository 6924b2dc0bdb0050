// Message queues of the in-process stand-in, one per thread, created on the
// thread's first use. A posted message waits in the queue of the window's
// thread; a sent message is handled by the window's procedure on that
// thread before the sender goes on (directly when the sender is that
// thread; otherwise the sender blocks until the owner's message loop takes
// it, and meanwhile handles messages sent to itself).
//
// Every post and send through these calls is recorded and traced
// (message_record.h); the key messages that key injection queues are not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "QVPlatform.h"
#include "platform/platform_api.h"

namespace qv::platform {

using Message = QVMSG;

// Null window: a message for the calling thread itself. The broadcast handle
// posts to every window. False when the window does not exist.
QV_PLATFORM_API bool PostMessage(QVHWND window, uint32_t message, uintptr_t wParam,
                                 intptr_t lParam);
// Posts a message whose lParam is the address of the queue's own
// zero-terminated copy of `text`. The copy stays as it is until the
// receiving thread takes its next message after this one (or the window or
// the thread goes), however many more are posted meanwhile, so a loop that
// takes its messages late still reads each one's own text. False for no
// such window (null and the broadcast handle included) and when
// kMaxWaitingTexts such messages already wait in that thread's queue.
inline constexpr size_t kMaxWaitingTexts = 10000;
QV_PLATFORM_API bool PostMessageWithText(QVHWND window, uint32_t message, uintptr_t wParam,
                                         std::u16string_view text);
// The procedure's result; 0 for no window. The broadcast handle sends to
// every window in turn and returns 0 when all have handled it.
QV_PLATFORM_API intptr_t SendMessage(QVHWND window, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam);
// As SendMessage, but waits at most `milliseconds` of library time for each
// window of another thread; a message not yet taken by then is withdrawn.
// True when every addressed window handled it in time.
QV_PLATFORM_API bool SendMessageTimeout(QVHWND window, uint32_t message, uintptr_t wParam,
                                        intptr_t lParam, uint32_t milliseconds,
                                        intptr_t* result = nullptr);
QV_PLATFORM_API void PostQuitMessage(int32_t exitCode);

// Messages sent to the calling thread's windows are handled inside these
// calls, as they wait. `filter` null takes all of the thread's messages.
// PeekMessage: true when a message was there (removed if `remove`).
QV_PLATFORM_API bool PeekMessage(Message* msg, QVHWND filter, bool remove);
// Blocks for a message: 1 a message, 0 WM_QUIT, -1 a filter that is no window.
QV_PLATFORM_API int32_t GetMessage(Message* msg, QVHWND filter);
// A key-down that types a character queues WM_CHAR behind it; true if so.
QV_PLATFORM_API bool TranslateMessage(const Message& msg);
QV_PLATFORM_API intptr_t DispatchMessage(const Message& msg);

// A descriptor readable while the calling thread's queue holds a posted or
// sent message, for a main loop to watch; PeekMessage drains the queue. It
// belongs to the thread's queue and is closed when the thread ends; -1 when
// the system gives none.
QV_PLATFORM_API int MessageDescriptor();

// Blocks until a message (posted or sent) is there for the calling thread or
// `milliseconds` of library time pass (kInfinite: no limit). True for a message.
QV_PLATFORM_API bool WaitForMessages(uint32_t milliseconds);

// Takes, translates and dispatches the calling thread's messages until
// `milliseconds` of library time have passed, blocking in between instead of
// spinning. A WM_QUIT ends it early and is posted again for the caller's
// own loop; the result is then false.
QV_PLATFORM_API bool PumpMessagesFor(uint32_t milliseconds);

// Blocks until `ready` holds or `milliseconds` of library time pass,
// handling the messages other threads send to the calling thread meanwhile
// (so a thread that sends to it synchronously cannot deadlock the wait).
// Posted messages stay queued for the thread's own loop. `ready` is tested
// at the start and again after each WakeMessageWaiters(); it runs under the
// stand-in's lock, so it only reads flags: no waits, no window calls.
// True when it held.
QV_PLATFORM_API bool WaitHandlingSentMessages(const std::function<bool()>& ready,
                                              uint32_t milliseconds);
// Makes every thread in WaitHandlingSentMessages test its condition again.
QV_PLATFORM_API void WakeMessageWaiters();

}  // namespace qv::platform

/* C interface of the platform library (libQVPlatform) for applications and
 * outside test programs: the in-process window and message stand-in, the
 * clipboard, the record of what the stand-ins did (key strokes, sounds, LED
 * requests, posted and sent messages), and playing the device (power
 * notifications, an in-process power-line driver).
 *
 * Windows belong to the thread that creates them: their messages are
 * dispatched only by that thread's message loop, and a message sent to them
 * from another thread waits until that loop takes it. Plain C: compiles as
 * C11 and as C++. */
#ifndef QV_PLATFORM_H
#define QV_PLATFORM_H

#include <stdint.h>
#ifdef __cplusplus
#include <cstddef>
#else
#include <stddef.h>
#include <uchar.h>
#endif

#include "QV_Rizoviv2I_RO25.h"

#if defined(QV_BUILDING_PLATFORM)
#define QV_PLATFORM_C_API __attribute__((visibility("default")))
#else
#define QV_PLATFORM_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Messages the stand-ins and the imager library use. */
#define QV_WM_DESTROY 0x0002
#define QV_WM_ACTIVATE 0x0006
#define QV_WM_QUIT 0x0012
#define QV_WM_KEYDOWN 0x0100
#define QV_WM_KEYUP 0x0101
#define QV_WM_CHAR 0x0102
#define QV_WM_DRAWCLIPBOARD 0x0308
#define QV_WM_USER 0x0400

/* Sent or posted to this handle, a message goes to every window. */
#define QV_HWND_BROADCAST ((QVHWND)(uintptr_t)0xFFFF)

/* Clipboard format of UTF-16 text. */
#define QV_CF_UNICODETEXT 13

/* Key event flags. */
#define QV_KEYEVENTF_KEYUP 0x0002
#define QV_KEYEVENTF_SILENT 0x0004

/* Window procedure: called on the window's own thread. */
typedef intptr_t (*QVWNDPROC)(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

typedef struct QVMSG {
    QVHWND hwnd; /* null for a message posted to the thread */
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t time; /* tick count when it was posted */
} QVMSG;

/* Windows. A window created while no window is in front becomes the
 * foreground window. Returns null for a null procedure. */
QV_PLATFORM_C_API QVHWND QVPlatformCreateWindow(const char16_t* className, QVWNDPROC proc,
                                                void* userData);
/* Only the creating thread may destroy a window; the procedure gets
 * QV_WM_DESTROY first. 1 done, 0 not. A thread's windows are also destroyed
 * when the thread ends. */
QV_PLATFORM_C_API int32_t QVPlatformDestroyWindow(QVHWND window);
QV_PLATFORM_C_API int32_t QVPlatformIsWindow(QVHWND window);
QV_PLATFORM_C_API void* QVPlatformGetWindowUserData(QVHWND window);
/* First window whose class matches (compared case-insensitively), or null. */
QV_PLATFORM_C_API QVHWND QVPlatformFindWindow(const char16_t* className);
QV_PLATFORM_C_API QVHWND QVPlatformGetForegroundWindow(void);
QV_PLATFORM_C_API int32_t QVPlatformSetForegroundWindow(QVHWND window);
QV_PLATFORM_C_API intptr_t QVPlatformDefWindowProc(QVHWND window, uint32_t message,
                                                   uintptr_t wParam, intptr_t lParam);

/* Messages of the calling thread. `filter` null takes every message of the
 * thread, otherwise only that window's. */
/* Waits for a message: 1 a message, 0 QV_WM_QUIT, -1 an invalid filter window. */
QV_PLATFORM_C_API int32_t QVPlatformGetMessage(QVMSG* msg, QVHWND filter);
/* 1 when a message was there (removed when `remove` is nonzero), 0 otherwise. */
QV_PLATFORM_C_API int32_t QVPlatformPeekMessage(QVMSG* msg, QVHWND filter, int32_t remove);
/* Posts QV_WM_CHAR for a key-down message that types a character; 1 if it did. */
QV_PLATFORM_C_API int32_t QVPlatformTranslateMessage(const QVMSG* msg);
QV_PLATFORM_C_API intptr_t QVPlatformDispatchMessage(const QVMSG* msg);
/* Blocks until a message is queued for the calling thread or `milliseconds`
 * pass (0xFFFFFFFF: no limit). 1 a message is there, 0 time-out. */
QV_PLATFORM_C_API int32_t QVPlatformWaitForMessages(uint32_t milliseconds);
/* Dispatches the calling thread's messages for `milliseconds`, blocking
 * between them. 1 normally, 0 when QV_WM_QUIT was taken (it is posted again). */
QV_PLATFORM_C_API int32_t QVPlatformPumpMessagesFor(uint32_t milliseconds);
QV_PLATFORM_C_API int32_t QVPlatformPostMessage(QVHWND window, uint32_t message, uintptr_t wParam,
                                                intptr_t lParam);
QV_PLATFORM_C_API intptr_t QVPlatformSendMessage(QVHWND window, uint32_t message, uintptr_t wParam,
                                                 intptr_t lParam);
/* Waits at most `milliseconds` for each window of another thread; a message
 * not taken by then is withdrawn. 1 when every addressed window handled it
 * in time, else 0. `result` (may be null) gets the procedure's result. */
QV_PLATFORM_C_API int32_t QVPlatformSendMessageTimeout(QVHWND window, uint32_t message,
                                                       uintptr_t wParam, intptr_t lParam,
                                                       uint32_t milliseconds, intptr_t* result);
QV_PLATFORM_C_API void QVPlatformPostQuitMessage(int32_t exitCode);

/* Clipboard: copies the UTF-16 text (format 13) into `buffer` of `units`
 * units, always terminated (cut if need be). Returns the text's full length
 * in units, or -1 when the clipboard holds no text. */
QV_PLATFORM_C_API int32_t QVPlatformGetClipboardText(char16_t* buffer, uint32_t units);

/* The record of stand-in effects, oldest first, as the lines of the trace
 * (see docs/platform.md), without the newline. The record keeps the most
 * recent 100000 lines. */
QV_PLATFORM_C_API uint32_t QVPlatformRecordedEffectCount(void);
/* Copies line `index` into `buffer` (always terminated, cut if need be);
 * returns its full length in bytes, or -1 for an index past the end. */
QV_PLATFORM_C_API int32_t QVPlatformGetRecordedEffect(uint32_t index, char* buffer, uint32_t size);
QV_PLATFORM_C_API void QVPlatformClearRecordedEffects(void);

/* Playing the device. */

/* Power broadcast kinds and state flags of a power notification. */
#define QV_PBT_TRANSITION 1
#define QV_POWER_STATE_SUSPEND 0x00200000
#define QV_POWER_STATE_ON_BACKLIGHT_PASSWORD 0x12010000

/* Delivers one power notification to every subscription of this process. */
QV_PLATFORM_C_API void QVPlatformInjectPowerNotification(uint32_t kind, uint32_t flags,
                                                         const char16_t* stateName);

/* A stream driver: handles one I/O-control request whole. `out` holds the
 * caller's buffer with its current bytes; set `*returned` to the number of
 * bytes written at its start. Nonzero means success. */
typedef int32_t (*QVDRIVERPROC)(void* context, uint32_t code, const uint8_t* in, uint32_t inSize,
                                uint8_t* out, uint32_t outSize, uint32_t* returned);

/* Registers `proc` as the in-process driver of `device` (e.g. "BAR1:"),
 * replacing any before it; used when QV_DRIVER_<NAME> is unset. 1 done,
 * 0 for a null name or procedure. */
QV_PLATFORM_C_API int32_t QVPlatformRegisterDriver(const char* device, QVDRIVERPROC proc,
                                                   void* context);
QV_PLATFORM_C_API void QVPlatformUnregisterDriver(const char* device);

/* The application's directory, where the imager library keeps its settings
 * files: by default that of the executable; a program installed where its
 * user cannot write names another (UTF-8 path; null or empty restores the
 * default). Takes effect at the next load or save. */
QV_PLATFORM_C_API void QVPlatformSetApplicationDirectory(const char* directory);

#ifdef __cplusplus
}
#endif

#endif /* QV_PLATFORM_H */

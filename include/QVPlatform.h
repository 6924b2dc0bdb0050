/**
 * @file QVPlatform.h
 * @brief C interface of the platform library (libQVPlatform) for applications
 * and outside test programs.
 *
 * The in-process window and message stand-in, the clipboard, the record of
 * what the stand-ins did (key strokes, sounds, LED requests, posted and sent
 * messages), the application's directory, and playing the device (power
 * notifications, an in-process power-line driver). The environment variables
 * that bind the platform to devices are described in the platform
 * documentation (docs/platform.md).
 *
 * Windows belong to the thread that creates them: their messages are
 * dispatched only by that thread's message loop, and a message sent to them
 * from another thread waits until that loop takes it. Every function may be
 * called from any thread unless it says otherwise. Plain C: needs C99 or
 * later, or C++11 or later (char16_t comes from <uchar.h>, which glibc has in
 * every mode); nothing it expands to trips -Wold-style-cast.
 *
 * @par An application with a main loop of its own
 * (GLib, Qt, asyncio, a plain poll(2)) watches the descriptor of
 * QVPlatformGetMessageDescriptor(), taken on the loop's thread, for input,
 * and when it is readable drains the queue without blocking:
 * @code
 *   int fd = QVPlatformGetMessageDescriptor();   // on the loop's thread
 *   // ... the loop reports fd readable:
 *   QVMSG msg;
 *   while (QVPlatformPeekMessage(&msg, NULL, 1)) {
 *       QVPlatformTranslateMessage(&msg);
 *       QVPlatformDispatchMessage(&msg);
 *   }
 * @endcode
 * Barcodes delivered as window messages to a window of that thread then
 * reach the loop without a callback, a timer or a thread of its own; the
 * examples directory shows it with GLib and with poll(2).
 */
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

/** @name Messages the stand-ins and the imager library use
 * @{ */
#define QV_WM_DESTROY 0x0002       /**< sent to a window being destroyed */
#define QV_WM_ACTIVATE 0x0006      /**< a window is activated */
#define QV_WM_QUIT 0x0012          /**< ends a message loop (QVPlatformPostQuitMessage()) */
#define QV_WM_KEYDOWN 0x0100       /**< a key went down */
#define QV_WM_KEYUP 0x0101         /**< a key went up */
#define QV_WM_CHAR 0x0102          /**< a typed character (QVPlatformTranslateMessage()) */
#define QV_WM_DRAWCLIPBOARD 0x0308 /**< the clipboard contents changed */
#define QV_WM_USER 0x0400          /**< first message number free for applications */
/** @} */

/** Sent or posted to this handle, a message goes to every window. */
#ifdef __cplusplus
#define QV_HWND_BROADCAST (reinterpret_cast<QVHWND>(static_cast<uintptr_t>(0xFFFF)))
#else
#define QV_HWND_BROADCAST ((QVHWND)(uintptr_t)0xFFFF)
#endif

/** Clipboard format of UTF-16 text. */
#define QV_CF_UNICODETEXT 13

/** @name Key event flags
 * @{ */
#define QV_KEYEVENTF_KEYUP 0x0002  /**< the key goes up */
#define QV_KEYEVENTF_SILENT 0x0004 /**< no key click */
/** @} */

/** Window procedure: called on the window's own thread; returns the message's result. */
typedef intptr_t (*QVWNDPROC)(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

/** A queued window message. */
typedef struct QVMSG {
    QVHWND hwnd;      /**< the window; null for a message posted to the thread */
    uint32_t message; /**< the message number */
    uintptr_t wParam; /**< first parameter */
    intptr_t lParam;  /**< second parameter */
    uint32_t time;    /**< tick count (ms) when it was posted */
} QVMSG;

/**
 * @brief Creates a window owned by the calling thread. A window created while
 * no window is in front becomes the foreground window.
 * @param className zero-terminated UTF-16 class name (found by QVPlatformFindWindow())
 * @param proc its procedure, e.g. QVPlatformDefWindowProc()
 * @param userData any pointer, returned by QVPlatformGetWindowUserData()
 * @return the window, or null for a null procedure
 */
QV_PLATFORM_C_API QVHWND QVPlatformCreateWindow(const char16_t* className, QVWNDPROC proc,
                                                void* userData);
/**
 * @brief Destroys a window; only its creating thread may. The procedure gets
 * #QV_WM_DESTROY first. A thread's windows are also destroyed when it ends.
 * @param window the window
 * @return 1 done, 0 not (another thread's window, or no window)
 */
QV_PLATFORM_C_API int32_t QVPlatformDestroyWindow(QVHWND window);
/**
 * @brief Tells whether a handle names an existing window.
 * @param window the handle
 * @return 1 a window, 0 not
 */
QV_PLATFORM_C_API int32_t QVPlatformIsWindow(QVHWND window);
/**
 * @brief The pointer given when the window was created.
 * @param window the window
 * @return the pointer, null for no window
 */
QV_PLATFORM_C_API void* QVPlatformGetWindowUserData(QVHWND window);
/**
 * @brief Finds a window by class.
 * @param className zero-terminated UTF-16 class name, compared case-insensitively
 * @return the first window of that class, or null
 */
QV_PLATFORM_C_API QVHWND QVPlatformFindWindow(const char16_t* className);
/**
 * @brief The window in front.
 * @return the foreground window, or null
 */
QV_PLATFORM_C_API QVHWND QVPlatformGetForegroundWindow(void);
/**
 * @brief Brings a window to the front.
 * @param window the window
 * @return 1 done, 0 no such window
 */
QV_PLATFORM_C_API int32_t QVPlatformSetForegroundWindow(QVHWND window);
/**
 * @brief The default window procedure: handles nothing and returns 0.
 * @param window the window
 * @param message the message number
 * @param wParam first parameter
 * @param lParam second parameter
 * @return 0
 */
QV_PLATFORM_C_API intptr_t QVPlatformDefWindowProc(QVHWND window, uint32_t message,
                                                   uintptr_t wParam, intptr_t lParam);

/**
 * @brief Takes the calling thread's next message, waiting for one.
 * @param[out] msg receives the message
 * @param filter null for every message of the thread, else only that window's
 * @return 1 a message, 0 #QV_WM_QUIT, -1 an invalid filter window
 */
QV_PLATFORM_C_API int32_t QVPlatformGetMessage(QVMSG* msg, QVHWND filter);
/**
 * @brief Looks at the calling thread's next message without waiting.
 * @param[out] msg receives the message
 * @param filter null for every message of the thread, else only that window's
 * @param remove nonzero takes the message off the queue
 * @return 1 a message was there, 0 none
 */
QV_PLATFORM_C_API int32_t QVPlatformPeekMessage(QVMSG* msg, QVHWND filter, int32_t remove);
/**
 * @brief Posts #QV_WM_CHAR for a key-down message that types a character.
 * @param msg the message taken
 * @return 1 when it posted one, else 0
 */
QV_PLATFORM_C_API int32_t QVPlatformTranslateMessage(const QVMSG* msg);
/**
 * @brief Calls the procedure of the message's window (on the calling thread).
 * @param msg the message taken
 * @return the procedure's result, 0 for a thread message
 */
QV_PLATFORM_C_API intptr_t QVPlatformDispatchMessage(const QVMSG* msg);
/**
 * @brief Blocks until a message is queued for the calling thread.
 * @param milliseconds the longest wait; 0xFFFFFFFF waits without limit
 * @return 1 a message is there, 0 time-out
 */
QV_PLATFORM_C_API int32_t QVPlatformWaitForMessages(uint32_t milliseconds);
/**
 * @brief A file descriptor that is readable while a message (posted, or sent
 * by another thread) is queued for the calling thread, for a main loop to
 * watch (poll(2) POLLIN, a GLib source, a QSocketNotifier, asyncio's
 * add_reader). QVPlatformPeekMessage() with remove set drains the queue, and
 * the descriptor stops being readable once it is empty.
 *
 * The descriptor belongs to the thread's queue: the same one on every call
 * from that thread, closed when the thread ends. Do not read, write or close
 * it. Watch it level-triggered (edge-triggered epoll could miss a message
 * queued while the queue was being drained).
 * @return the descriptor, or -1 when the system gives none (errno set)
 */
QV_PLATFORM_C_API int QVPlatformGetMessageDescriptor(void);
/**
 * @brief Dispatches the calling thread's messages for a while, blocking between them.
 * @param milliseconds how long
 * @return 1 normally, 0 when #QV_WM_QUIT was taken (it is posted again)
 */
QV_PLATFORM_C_API int32_t QVPlatformPumpMessagesFor(uint32_t milliseconds);
/**
 * @brief Queues a message for a window's thread and returns at once.
 * @param window the window, or #QV_HWND_BROADCAST for every window
 * @param message the message number
 * @param wParam first parameter
 * @param lParam second parameter
 * @return 1 queued, 0 no such window
 */
QV_PLATFORM_C_API int32_t QVPlatformPostMessage(QVHWND window, uint32_t message, uintptr_t wParam,
                                                intptr_t lParam);
/**
 * @brief Calls a window's procedure and waits for its result: directly on the
 * window's own thread, else through that thread's message loop.
 * @param window the window, or #QV_HWND_BROADCAST for every window
 * @param message the message number
 * @param wParam first parameter
 * @param lParam second parameter
 * @return the procedure's result (0 for a broadcast or no window)
 */
QV_PLATFORM_C_API intptr_t QVPlatformSendMessage(QVHWND window, uint32_t message, uintptr_t wParam,
                                                 intptr_t lParam);
/**
 * @brief Like QVPlatformSendMessage(), waiting at most a given time for each
 * window of another thread; a message not taken by then is withdrawn.
 * @param window the window, or #QV_HWND_BROADCAST for every window
 * @param message the message number
 * @param wParam first parameter
 * @param lParam second parameter
 * @param milliseconds the longest wait per window
 * @param[out] result receives the procedure's result; may be null
 * @return 1 when every addressed window handled it in time, else 0
 */
QV_PLATFORM_C_API int32_t QVPlatformSendMessageTimeout(QVHWND window, uint32_t message,
                                                       uintptr_t wParam, intptr_t lParam,
                                                       uint32_t milliseconds, intptr_t* result);
/**
 * @brief Posts #QV_WM_QUIT to the calling thread, ending its message loop.
 * @param exitCode the wParam of the message
 */
QV_PLATFORM_C_API void QVPlatformPostQuitMessage(int32_t exitCode);

/**
 * @brief Copies the clipboard's UTF-16 text (#QV_CF_UNICODETEXT).
 * @param[out] buffer receives the text, always zero-terminated, cut if need be
 * @param units the buffer's size in UTF-16 units
 * @return the text's full length in units, or -1 when the clipboard holds no text
 */
QV_PLATFORM_C_API int32_t QVPlatformGetClipboardText(char16_t* buffer, uint32_t units);

/**
 * @brief The number of recorded stand-in effects.
 *
 * The record holds what the stand-ins did, oldest first, as the lines of the
 * trace described in the platform documentation, and keeps the most recent
 * 100000.
 * @return the number of lines
 */
QV_PLATFORM_C_API uint32_t QVPlatformRecordedEffectCount(void);
/**
 * @brief Copies one recorded effect, without the newline.
 * @param index 0 for the oldest
 * @param[out] buffer receives the UTF-8 line, always terminated, cut if need be
 * @param size the buffer's size in bytes
 * @return the line's full length in bytes, or -1 for an index past the end
 */
QV_PLATFORM_C_API int32_t QVPlatformGetRecordedEffect(uint32_t index, char* buffer, uint32_t size);
/**
 * @brief Forgets every recorded effect.
 */
QV_PLATFORM_C_API void QVPlatformClearRecordedEffects(void);

/** @name Power notifications
 * Kinds and state flags of a power notification.
 * @{ */
#define QV_PBT_TRANSITION 1                             /**< a power-state transition */
#define QV_POWER_STATE_SUSPEND 0x00200000               /**< the device suspends */
#define QV_POWER_STATE_ON_BACKLIGHT_PASSWORD 0x12010000 /**< the device is on again */
/** @} */

/**
 * @brief Delivers one power notification to every subscription of this process,
 * as the device would: the imager library stops work on a suspend and powers
 * the engine again on the resume.
 * @param kind e.g. #QV_PBT_TRANSITION
 * @param flags e.g. #QV_POWER_STATE_SUSPEND
 * @param stateName zero-terminated UTF-16 name of the state; may be null
 */
QV_PLATFORM_C_API void QVPlatformInjectPowerNotification(uint32_t kind, uint32_t flags,
                                                         const char16_t* stateName);

/**
 * A stream driver: handles one I/O-control request whole. `out` holds the
 * caller's buffer with its current bytes; set `*returned` to the number of
 * bytes written at its start. Nonzero means success. Called on the thread
 * that sends the request.
 */
typedef int32_t (*QVDRIVERPROC)(void* context, uint32_t code, const uint8_t* in, uint32_t inSize,
                                uint8_t* out, uint32_t outSize, uint32_t* returned);

/**
 * @brief Registers the in-process driver of a device, replacing any before it;
 * used when QV_DRIVER_<NAME> is unset. A handle already open keeps its driver.
 * @param device the device name, e.g. "BAR1:" (compared case-insensitively)
 * @param proc the driver
 * @param context handed to every call of proc
 * @return 1 done, 0 for a null name or procedure
 */
QV_PLATFORM_C_API int32_t QVPlatformRegisterDriver(const char* device, QVDRIVERPROC proc,
                                                   void* context);
/**
 * @brief Removes the in-process driver of a device.
 * @param device the device name, e.g. "BAR1:"
 */
QV_PLATFORM_C_API void QVPlatformUnregisterDriver(const char* device);

/**
 * @brief Names the application's directory, where the imager library keeps its
 * settings files: by default that of the executable. A program installed
 * where its user cannot write names another. Takes effect at the next load
 * or save.
 * @param directory UTF-8 path; null or empty goes back to the executable's
 */
QV_PLATFORM_C_API void QVPlatformSetApplicationDirectory(const char* directory);

/**
 * @brief Why the calling thread's last failure happened.
 *
 * Every imager function that returns -1 sets it, on the thread that called
 * it; each imager function clears it first, so after a -1 it names that
 * call's cause (or reads 0 when the call was refused for a reason with no
 * system code, which the log then names). A success may leave a cause of a
 * step the library went past (an open whose engine did not answer at
 * first). The line names the device, path or command and the system's
 * reason, for a person; it never holds barcode contents. Codes are those of
 * errno.h:
 * - ENOENT: no such device or path (QV_PORT_COM2 or a driver socket names
 *   nothing there, or no device is configured)
 * - EACCES, EPERM: the device or path may not be opened by this user (the
 *   line names the device's group and mode)
 * - EBUSY: the device is held by another process or opener
 * - ETIMEDOUT: the engine did not answer a command in time (3 s)
 * - ENODEV: the device went away (line hung up, adapter unplugged), the
 *   power-line driver is missing or refused its lines, or no imager is open
 * - EINVAL: a setting names something impossible (a bad binding, a path
 *   too long)
 * - EIO: the engine refused a command, a read, write or line request
 *   failed, or another step failed (a null argument, a file not written;
 *   the library's log names it)
 * - EAGAIN: the device is suspended; try again after the resume
 * - EDEADLK: called from the barcode callback, where commands cannot run
 * - ECHILD: called in a child made with fork(), which may not drive its
 *   parent's engine
 * @param[out] text receives the line as NUL-terminated UTF-8, cut at a whole
 *   character to fit; may be null to ask only the code
 * @param capacity the size of text in bytes; 0 asks only the code
 * @return the code, 0 when the thread has no failure
 */
QV_PLATFORM_C_API int32_t QVPlatformGetLastFailure(char* text, uint32_t capacity);

/**
 * @brief How many characters of barcodes the virtual keyboard could not type
 * since the imager was last opened.
 *
 * Key strokes go out in the session's layouts (QV_KEYBOARD=uinput); a
 * character that none of them has, even through a dead key, is skipped, and
 * the log names it. Barcodes are typed on the library's own thread, so this
 * count, not the calling thread's last failure, is how an application learns
 * that a barcode did not arrive whole.
 * @return the count since the last open; 0 with the in-process keyboard
 */
QV_PLATFORM_C_API uint32_t QVPlatformGetUntypedCharacters(void);

#ifdef __cplusplus
}
#endif

#endif /* QV_PLATFORM_H */

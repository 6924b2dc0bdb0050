/* An application's use of the platform's C interface, as plain C11 against
 * the public headers and the shared platform library. */
#include <stdio.h>
#include <string.h>

#include "QVPlatform.h"

static int failures = 0;

#define CHECK(cond)                                                    \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

static int32_t Driver(void* context, uint32_t code, const uint8_t* in, uint32_t inSize,
                      uint8_t* out, uint32_t outSize, uint32_t* returned) {
    (void)in;
    (void)inSize;
    (void)out;
    (void)outSize;
    *(uint32_t*)context = code;
    *returned = 0;
    return 1;
}

static intptr_t Proc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    (void)lParam;
    int* received = (int*)QVPlatformGetWindowUserData(window);
    if (message == WM_IMAGER_DATA) *received = (int)wParam;
    return QVPlatformDefWindowProc(window, message, wParam, lParam);
}

int main(void) {
    int received = 0;
    QVHWND window = QVPlatformCreateWindow(u"CAPPWND", Proc, &received);
    CHECK(window != NULL);
    CHECK(QVPlatformFindWindow(u"cappwnd") == window);
    CHECK(QVPlatformPostMessage(window, WM_IMAGER_DATA, 132, 0) == 1);

    QVMSG msg;
    CHECK(QVPlatformWaitForMessages(1000) == 1);
    CHECK(QVPlatformPeekMessage(&msg, NULL, 1) == 1);
    QVPlatformTranslateMessage(&msg);
    QVPlatformDispatchMessage(&msg);
    CHECK(received == 132);
    CHECK(QVPlatformWaitForMessages(0) == 0);

    char16_t text[8];
    CHECK(QVPlatformGetClipboardText(text, 8) == -1);

    char line[64];
    CHECK(QVPlatformRecordedEffectCount() == 1);
    CHECK(QVPlatformGetRecordedEffect(0, line, sizeof line) > 0);
    CHECK(strncmp(line, "post 0x", 7) == 0);

    uint32_t code = 0;
    CHECK(QVPlatformRegisterDriver("BAR1:", Driver, &code) == 1);
    QVPlatformUnregisterDriver("BAR1:");
    QVPlatformInjectPowerNotification(QV_PBT_TRANSITION, QV_POWER_STATE_SUSPEND, u"suspend");

    QVPlatformPostQuitMessage(0);
    CHECK(QVPlatformGetMessage(&msg, NULL) == 0);
    CHECK(QVPlatformDestroyWindow(window) == 1);
    return failures == 0 ? 0 : 1;
}

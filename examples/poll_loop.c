/* Receives three barcodes in a plain poll(2) loop: the platform's message
 * descriptor wakes it for each barcode, so the loop sleeps until there is
 * work. A program's other descriptors (sockets, a signalfd, a timerfd) go
 * into the same poll.
 * Build: cc poll_loop.c $(pkg-config --cflags --libs qvimager) */
#include <poll.h>
#include <stdio.h>

#include <QVPlatform.h>
#include <QV_Rizoviv2I_RO25.h>

static int g_received;

static intptr_t WindowProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != WM_IMAGER_DATA) return QVPlatformDefWindowProc(window, message, wParam, lParam);
    const char16_t* text = (const char16_t*)lParam;
    printf("symbology %u: ", (unsigned)wParam);
    for (size_t i = 0; text[i] != 0; ++i)
        putchar(text[i] < 0x80 ? (int)text[i] : '?');
    putchar('\n');
    ++g_received;
    if (g_received < 3) QVImagerScanStart(NULL);
    return 0;
}

int main(void) {
    QVHWND window = QVPlatformCreateWindow(u"PollExample", WindowProc, NULL);
    if (QVImagerOpen() != 1) {
        fprintf(stderr, "cannot open the imager\n");
        return 1;
    }
    if (QVImagerSetWindow(window) != 1 || QVImagerSetReceiveType(0) != 1 ||
        QVImagerScanStart(NULL) != 1) {
        fprintf(stderr, "cannot start the scan\n");
        QVImagerClose();
        return 1;
    }
    struct pollfd watched = {QVPlatformGetMessageDescriptor(), POLLIN, 0};
    while (g_received < 3) {
        /* Up to 10 s for each barcode. */
        if (poll(&watched, 1, 10000) <= 0) {
            fprintf(stderr, "no barcode\n");
            break;
        }
        QVMSG msg;
        while (QVPlatformPeekMessage(&msg, NULL, 1)) {
            QVPlatformTranslateMessage(&msg);
            QVPlatformDispatchMessage(&msg);
        }
    }
    QVImagerClose();
    QVPlatformDestroyWindow(window);
    return g_received == 3 ? 0 : 1;
}

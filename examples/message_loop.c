/* Receives barcodes as window messages in a message loop, as a GUI
 * application would, through the platform's C API.
 *
 * Each barcode arrives as WM_IMAGER_DATA: wParam is the symbology number and
 * lParam the UTF-16 text, valid until the next barcode.
 * Build: cc message_loop.c $(pkg-config --cflags --libs qvimager) */
#include <stdio.h>

#include <QVPlatform.h>
#include <QV_Rizoviv2I_RO25.h>

static int g_received;

static intptr_t WindowProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_IMAGER_DATA) {
        const char16_t* text = (const char16_t*)lParam;
        printf("symbology %u: ", (unsigned)wParam);
        for (size_t i = 0; text[i] != 0; ++i)
            putchar(text[i] < 0x80 ? (int)text[i] : '?');
        putchar('\n');
        ++g_received;
        QVPlatformPostQuitMessage(0);
        return 0;
    }
    return QVPlatformDefWindowProc(window, message, wParam, lParam);
}

int main(void) {
    QVHWND window = QVPlatformCreateWindow(u"MessageLoopExample", WindowProc, NULL);
    if (QVImagerOpen() != 1) {
        fprintf(stderr, "cannot open the imager\n");
        return 1;
    }
    /* Receive type 0 with no callback: a message to this window. */
    if (QVImagerSetWindow(window) != 1 || QVImagerSetReceiveType(0) != 1 ||
        QVImagerScanStart(NULL) != 1) {
        fprintf(stderr, "cannot start the scan\n");
        QVImagerClose();
        return 1;
    }
    /* The loop ends with the quit message the procedure posts, or after 10 s. */
    int running = 1;
    for (int waited = 0; running && waited < 10000; waited += 500) {
        if (!QVPlatformWaitForMessages(500)) continue;
        QVMSG msg;
        while (running && QVPlatformPeekMessage(&msg, NULL, 1)) {
            if (msg.message == QV_WM_QUIT) {
                running = 0;
                break;
            }
            QVPlatformTranslateMessage(&msg);
            QVPlatformDispatchMessage(&msg);
        }
    }
    if (g_received == 0) QVImagerScanStop();
    QVImagerClose();
    QVPlatformDestroyWindow(window);
    if (g_received == 0) {
        fprintf(stderr, "no barcode\n");
        return 1;
    }
    return 0;
}

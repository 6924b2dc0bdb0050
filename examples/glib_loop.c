/* Receives three barcodes in a GLib main loop: the platform's message
 * descriptor is one more source of the loop, so barcodes arrive as window
 * messages on the loop's thread, with no callback, no timer and no thread of
 * the application's own. A GTK program adds the same source to its loop.
 * Build: cc glib_loop.c $(pkg-config --cflags --libs qvimager glib-2.0) */
#include <stdio.h>

#include <QVPlatform.h>
#include <QV_Rizoviv2I_RO25.h>
#include <glib-unix.h>
#include <glib.h>

enum { kWanted = 3 };

static GMainLoop* g_loop;
static int g_received;

static intptr_t WindowProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != WM_IMAGER_DATA) return QVPlatformDefWindowProc(window, message, wParam, lParam);
    /* The text is overwritten by the next barcode: converted right here. */
    const gunichar2* text = (const gunichar2*)lParam;
    gchar* utf8 = g_utf16_to_utf8(text, -1, NULL, NULL, NULL);
    printf("symbology %u: %s\n", (unsigned)wParam, utf8 != NULL ? utf8 : "(not UTF-16)");
    g_free(utf8);
    if (++g_received == kWanted) {
        g_main_loop_quit(g_loop);
    } else if (QVImagerScanStart(NULL) != 1) { /* the next one */
        fprintf(stderr, "cannot start the scan\n");
        g_main_loop_quit(g_loop);
    }
    return 0;
}

/* The descriptor is readable: take what is queued, without blocking. */
static gboolean OnMessages(gint fd, GIOCondition condition, gpointer data) {
    (void)fd;
    (void)condition;
    (void)data;
    QVMSG msg;
    while (QVPlatformPeekMessage(&msg, NULL, 1)) {
        QVPlatformTranslateMessage(&msg);
        QVPlatformDispatchMessage(&msg);
    }
    return G_SOURCE_CONTINUE;
}

int main(void) {
    QVHWND window = QVPlatformCreateWindow(u"GLibExample", WindowProc, NULL);
    const int fd = QVPlatformGetMessageDescriptor();
    if (fd < 0) {
        perror("message descriptor");
        return 1;
    }
    g_loop = g_main_loop_new(NULL, FALSE);
    g_unix_fd_add(fd, G_IO_IN, OnMessages, NULL);

    /* Opening takes about a second; a program with a window to keep drawn
     * opens from a worker thread and posts itself the result. */
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
    g_main_loop_run(g_loop);
    QVImagerClose();
    QVPlatformDestroyWindow(window);
    g_main_loop_unref(g_loop);
    return g_received == kWanted ? 0 : 1;
}

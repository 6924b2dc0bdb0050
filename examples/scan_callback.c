/* Scans one barcode and receives it through a callback.
 *
 * The callback runs on the library's reader thread, so it only copies the
 * barcode; the main thread keeps dispatching its window messages meanwhile.
 * Build: cc scan_callback.c $(pkg-config --cflags --libs qvimager) */
#include <stdatomic.h>
#include <stdio.h>

#include <QVPlatform.h>
#include <QV_Rizoviv2I_RO25.h>

static atomic_int g_symbology = -1;
static char g_text[256];

static void OnBarcode(int32_t symbology, const char16_t* text) {
    /* The text is valid only during the call: keep a copy (ASCII here). */
    size_t i = 0;
    for (; text[i] != 0 && i + 1 < sizeof g_text; ++i)
        g_text[i] = text[i] < 0x80 ? (char)text[i] : '?';
    g_text[i] = 0;
    atomic_store(&g_symbology, symbology);
}

int main(void) {
    const char16_t className[] = u"ScanExample";
    QVHWND window = QVPlatformCreateWindow(className, QVPlatformDefWindowProc, NULL);

    if (QVImagerOpen() != 1) {
        fprintf(stderr, "cannot open the imager\n");
        return 1;
    }
    /* The callback is used only once a window is set. */
    if (QVImagerSetWindow(window) != 1 || QVImagerScanStart(OnBarcode) != 1) {
        fprintf(stderr, "cannot start the scan\n");
        QVImagerClose();
        return 1;
    }
    /* Up to 10 s for a barcode, dispatching this thread's messages. */
    for (int i = 0; i < 100 && atomic_load(&g_symbology) < 0; ++i)
        QVPlatformPumpMessagesFor(100);
    if (atomic_load(&g_symbology) < 0) {
        QVImagerScanStop();
        fprintf(stderr, "no barcode\n");
        QVImagerClose();
        return 1;
    }
    printf("symbology %d: %s\n", atomic_load(&g_symbology), g_text);
    QVImagerClose();
    QVPlatformDestroyWindow(window);
    return 0;
}

/* An application built against the installed tree alone: opens the imager
 * on the engine the environment names, scans one barcode through a callback
 * and closes. */
#include <stdio.h>

#include <QVPlatform.h>
#include <QV_Rizoviv2I_RO25.h>

static volatile int32_t g_symbology = -1;
static char g_text[64];

static void OnBarcode(int32_t symbology, const char16_t* text) {
    size_t i = 0;
    for (; text[i] != 0 && i + 1 < sizeof g_text; ++i)
        g_text[i] = (char)text[i];
    g_text[i] = 0;
    g_symbology = symbology;
}

int main(void) {
    const char16_t className[] = {'S', 'c', 'a', 'n', 0};
    QVHWND window = QVPlatformCreateWindow(className, QVPlatformDefWindowProc, NULL);
    if (QVImagerOpen() != 1) {
        fprintf(stderr, "QVImagerOpen failed\n");
        return 1;
    }
    /* Barcodes reach the callback only while a target window is named. */
    if (QVImagerSetWindow(window) != 1 || QVImagerScanStart(OnBarcode) != 1) {
        fprintf(stderr, "scan start failed\n");
        QVImagerClose();
        return 1;
    }
    for (int i = 0; i < 200 && g_symbology < 0; ++i)
        QVPlatformPumpMessagesFor(50);
    const int32_t closed = QVImagerClose();
    if (g_symbology < 0 || closed != 1) {
        fprintf(stderr, "no barcode (close %d)\n", closed);
        return 1;
    }
    printf("barcode %d \"%s\"\n", g_symbology, g_text);
    return 0;
}

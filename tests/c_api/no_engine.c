/* Every export called with no imager open, from plain C against the public
 * headers and the shared library alone. The build also compiles it as C99
 * and as C++11 with -Wold-style-cast, the headers' minimum levels. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "QVPlatform.h" /* its macros only: nothing of it is linked */
#include "QV_Rizoviv2I_RO25.h"

static int failures = 0;

#define EXPECT(cond)                                                   \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

int main(void) {
    EnableRecord enable;
    DetailRecord detail;
    OtherRecord other;
    memset(&enable, 0, sizeof enable);
    memset(&detail, 0, sizeof detail);
    memset(&other, 0, sizeof other);
    int32_t i = 7;
    char c = 'x';
    uint8_t b = 0x55;
    char16_t text[512] = {0};
    const char16_t path[] = {'a', 0};

    EXPECT(QVImagerClose() == 1);
    EXPECT((QV_IMAGER_VERSION >> 16) == QV_IMAGER_VERSION_MAJOR);
    EXPECT(QVImagerSetWindow(QV_HWND_BROADCAST) == -1);

    EXPECT(QVImagerSetWindow(NULL) == -1);
    EXPECT(QVImagerScanStart(NULL) == -1);
    EXPECT(QVImagerScanStop() == -1);
    EXPECT(QVImagerSetReceiveType(1) == -1);
    EXPECT(QVImagerGetReceiveType(&i) == -1);
    EXPECT(QVImagerSetSoundType(1, 1) == -1);
    EXPECT(QVImagerGetSoundType(1, &i) == -1);
    EXPECT(QVImagerSetSoundPath(1, path) == -1);
    EXPECT(QVImagerGetSoundPath(1, text) == -1);
    EXPECT(QVImagerSetPrefix1(1) == -1);
    EXPECT(QVImagerSetPrefix2(1) == -1);
    EXPECT(QVImagerSetSuffix1(1) == -1);
    EXPECT(QVImagerSetSuffix2(1) == -1);
    EXPECT(QVImagerSetDelay(1, 1) == -1);
    EXPECT(QVImagerSetALLSymboleEnable(1) == -1);
    EXPECT(QVImagerSetSymboleEnable(1, 1) == -1);
    EXPECT(QVImagerGetSymboleEnable(1, &i) == -1);
    EXPECT(QVImagerSetSymboleEnableByStruct(enable) == -1);
    EXPECT(QVImagerGetSymboleEnableByStruct(&enable) == -1);
    EXPECT(QVImagerSetSymboleDetailByStruct(detail) == -1);
    EXPECT(QVImagerGetSymboleDetailByStruct(&detail) == -1);
    EXPECT(QVImagerSetOtherSettingByStruct(other) == -1);
    EXPECT(QVImagerGetOtherSettingByStruct(&other) == -1);
    EXPECT(QVImagerSetAztecSetting(1, 1, 1, 1) == -1);
    EXPECT(QVImagerGetAztecSetting(&i, &i, &i, &i) == -1);
    EXPECT(QVImagerSetBPOSetting(1) == -1);
    EXPECT(QVImagerGetBPOSetting(&i) == -1);
    EXPECT(QVImagerSetCodabarSetting(1, 1, 1, 1, 1, 1) == -1);
    EXPECT(QVImagerGetCodabarSetting(&i, &i, &i, &i, &i, &i) == -1);
    EXPECT(QVImagerSetCode11Setting(1) == -1);
    EXPECT(QVImagerGetCode11Setting(&i) == -1);
    EXPECT(QVImagerSetCode39Setting(1, 1, 1, 1) == -1);
    EXPECT(QVImagerGetCode39Setting(&i, &i, &i, &i) == -1);
    EXPECT(QVImagerSetCode93Setting(1) == -1);
    EXPECT(QVImagerGetCode93Setting(&i) == -1);
    EXPECT(QVImagerSetCode128_GS1_128_ISBTSetting(1, 1, 1, 1, 1, 1, 'A', 1, 1, 1) == -1);
    EXPECT(QVImagerGetCode128_GS1_128_ISBTSetting(&i, &i, &i, &i, &i, &i, &c, &i, &i, &i) == -1);
    EXPECT(QVImagerSetDataMatrixSetting(1, 1, 1) == -1);
    EXPECT(QVImagerGetDataMatrixSetting(&i, &i, &i) == -1);
    EXPECT(QVImagerSetUPCASetting(1, 1, 1) == -1);
    EXPECT(QVImagerGetUPCASetting(&i, &i, &i) == -1);
    EXPECT(QVImagerSetUPCESetting(1, 1, 1) == -1);
    EXPECT(QVImagerGetUPCESetting(&i, &i, &i) == -1);
    EXPECT(QVImagerSetEAN13Setting(1, 1, 1, 1) == -1);
    EXPECT(QVImagerGetEAN13Setting(&i, &i, &i, &i) == -1);
    EXPECT(QVImagerSetEAN8Setting(1, 1) == -1);
    EXPECT(QVImagerGetEAN8Setting(&i, &i) == -1);
    EXPECT(QVImagerSetUPCEANSetting(1, 1, 1, 1, 'A', 1) == -1);
    EXPECT(QVImagerGetUPCEANSetting(&i, &i, &i, &i, &c, &i) == -1);
    EXPECT(QVImagerSetGS1CompositeSetting(1, 1, 1) == -1);
    EXPECT(QVImagerGetGS1CompositeSetting(&i, &i, &i) == -1);
    EXPECT(QVImagerSetInterleaved2of5Setting(1, 1, 1) == -1);
    EXPECT(QVImagerGetInterleaved2of5Setting(&i, &i, &i) == -1);
    EXPECT(QVImagerSetMatrix2of5Setting(1) == -1);
    EXPECT(QVImagerGetMatrix2of5Setting(&i) == -1);
    EXPECT(QVImagerSetMSISetting(1) == -1);
    EXPECT(QVImagerGetMSISetting(&i) == -1);
    EXPECT(QVImagerSetPDF417Setting(1, 1, 1) == -1);
    EXPECT(QVImagerGetPDF417Setting(&i, &i, &i) == -1);
    EXPECT(QVImagerSetMicroPDFSetting(1) == -1);
    EXPECT(QVImagerGetMicroPDFSetting(&i) == -1);
    EXPECT(QVImagerSetPlanetSetting(1) == -1);
    EXPECT(QVImagerGetPlanetSetting(&i) == -1);
    EXPECT(QVImagerSetPlesseySetting(1, 1) == -1);
    EXPECT(QVImagerGetPlesseySetting(&i, &i) == -1);
    EXPECT(QVImagerSetPostnetSetting(1) == -1);
    EXPECT(QVImagerGetPostnetSetting(&i) == -1);
    EXPECT(QVImagerSetQRCodeSetting(1, 1) == -1);
    EXPECT(QVImagerGetQRCodeSetting(&i, &i) == -1);
    EXPECT(QVImagerSetStandard2of5Setting(1, 1, 1) == -1);
    EXPECT(QVImagerGetStandard2of5Setting(&i, &i, &i) == -1);
    EXPECT(QVImagerSetTelepenSetting(1) == -1);
    EXPECT(QVImagerGetTelepenSetting(&i) == -1);
    EXPECT(QVImagerSetTLC39Setting(1, 'A') == -1);
    EXPECT(QVImagerGetTLC39Setting(&i, &c) == -1);
    EXPECT(QVImagerSetSecurtyLevel(1) == -1);
    EXPECT(QVImagerGetSecurtyLevel(&i) == -1);
    EXPECT(QVImagerSetDPMSetting(1, 1, 1) == -1);
    EXPECT(QVImagerGetDPMSetting(&i, &i, &i) == -1);
    EXPECT(QVImagerSetAECArea(1) == -1);
    EXPECT(QVImagerGetAECArea(&i) == -1);
    EXPECT(QVImagerSetExtensiveBarcodeSearch(1) == -1);
    EXPECT(QVImagerGetExtensiveBarcodeSearch(&i) == -1);
    EXPECT(QVImagerTestCommand() == -1);
    EXPECT(QVImagerFactoryReset() == -1);
    EXPECT(QVImagerGetVersion(text, text, text) == -1);

    /* A refused prefix read leaves 0; a refused suffix or delay read leaves the output alone. */
    b = 0x55;
    EXPECT(QVImagerGetPrefix1(&b) == -1 && b == 0);
    b = 0x55;
    EXPECT(QVImagerGetPrefix2(&b) == -1 && b == 0);
    b = 0x55;
    EXPECT(QVImagerGetSuffix1(&b) == -1 && b == 0x55);
    EXPECT(QVImagerGetSuffix2(&b) == -1 && b == 0x55);
    int32_t mode = 42, ms = 43;
    EXPECT(QVImagerGetDelay(&mode, &ms) == -1 && mode == 42 && ms == 43);
    EXPECT(QVImagerClose() == 1);

    /* With no power driver the open fails; the engine object stays, refusing. */
    setenv("QV_REGISTRY", "/tmp/qv_c_api_no_engine.reg", 1);
    unsetenv("QV_DRIVER_BAR1");
    EXPECT(QVImagerOpen() == -1);
    mode = ms = 0;
    EXPECT(QVImagerGetDelay(&mode, &ms) == -1 && mode == 3 && ms == 1);
    EXPECT(QVImagerScanStart(NULL) == -1);
    EXPECT(QVImagerClose() == -1);

    if (failures == 0) printf("all exports refused with no engine\n");
    return failures == 0 ? 0 : 1;
}

/* Public interface of the RO25 2D imager library (libQV_Rizoviv2I_RO25).
 *
 * Every function returns 1 when done and -1 when not done (no imager open,
 * device suspended, or the operation failed); the "[RO25]" diagnostic lines
 * name the cause. Plain C: compiles as C11 and as C++. */
#ifndef QV_RIZOVIV2I_RO25_H
#define QV_RIZOVIV2I_RO25_H

#include <stdint.h>
#ifdef __cplusplus
#include <cstddef>
#else
#include <stddef.h>
#include <uchar.h>
#endif

/* Version of this header and of the library it comes with. The major number
 * is the library's soname (libQV_Rizoviv2I_RO25.so.0). */
#define QV_IMAGER_VERSION_MAJOR 0
#define QV_IMAGER_VERSION_MINOR 1
#define QV_IMAGER_VERSION_PATCH 0
#define QV_IMAGER_VERSION_STRING "0.1.0"
/* One number that compares in release order: 0xMMmmpp. */
#define QV_IMAGER_VERSION \
    ((QV_IMAGER_VERSION_MAJOR << 16) | (QV_IMAGER_VERSION_MINOR << 8) | QV_IMAGER_VERSION_PATCH)

#if defined(QV_BUILDING_LIBRARY)
#define QV_API __attribute__((visibility("default")))
#else
#define QV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque window handle of the platform's window stand-in (pointer-sized). */
typedef struct QVWindow_* QVHWND;

/* Called on the library's reader thread with the symbology number and the
 * zero-terminated UTF-16 text of a decoded barcode. */
typedef void (*BarcodeCallback)(int32_t symbology, const char16_t* text);

/* Window message posted for each barcode under receive type 0:
 * wParam = symbology number, lParam = address of the UTF-16 text. */
#define WM_IMAGER_DATA 0x0464

/* Symbology numbers, as reported with each barcode and as taken by
 * QVImagerSetSymboleEnable / QVImagerGetSymboleEnable. */
#define QV_SYM_AUSTRALIAN_POST 1
#define QV_SYM_AZTEC 2
#define QV_SYM_BPO 3
#define QV_SYM_CODABAR 6
#define QV_SYM_CODABLOCK_A 113
#define QV_SYM_CODABLOCK_F 114
#define QV_SYM_CODE11 8
#define QV_SYM_CODE39 12
#define QV_SYM_MACROPDF 71
#define QV_SYM_CODE93 14
#define QV_SYM_CODE128 9
#define QV_SYM_GS1_128 55
#define QV_SYM_ISBT 23
#define QV_SYM_DATAMATRIX 17
#define QV_SYM_DUTCH_POST 18
#define QV_SYM_UPC_A 43
#define QV_SYM_UPC_E 44
#define QV_SYM_EAN_13 20
#define QV_SYM_EAN_8 19
#define QV_SYM_GS1_COMPOSITE_AB 132
#define QV_SYM_GS1_COMPOSITE_C 133
#define QV_SYM_GS1_DATABAR_OMNI_DIRECTIONAL 121
#define QV_SYM_GS1_DATABAR_LIMITED 130
#define QV_SYM_GS1_DATABAR_EXPAND 129
#define QV_SYM_HAN_XIN 56
#define QV_SYM_INFOMAIL 122
#define QV_SYM_INTERLEAVED_2OF5 22
#define QV_SYM_JAPAN_POST 24
#define QV_SYM_MATRIX_2OF5 52
#define QV_SYM_MAXICODE 26
#define QV_SYM_MSI 29
#define QV_SYM_PDF417 32
#define QV_SYM_MICRO_PDF 28
#define QV_SYM_PLANET_CODE 33
#define QV_SYM_PLESSEY 34
#define QV_SYM_POST_NET 36
#define QV_SYM_QR 37
#define QV_SYM_STANDARD_2OF5 134
#define QV_SYM_TELEPEN 40
#define QV_SYM_TLC39 41
#define QV_SYM_UPC_E1 45

/* Enable record: one on/off field per symbology (164 bytes). */
typedef struct EnableRecord {
    int32_t AUSTRALIAN_POST_ENABLE;
    int32_t AZTEC_ENABLE;
    int32_t BPO_ENABLE;
    int32_t CODABAR_ENABLE;
    int32_t CODABLOCK_A_ENABLE;
    int32_t CODABLOCK_F_ENABLE;
    int32_t CODE11_ENABLE;
    int32_t CODE39_ENABLE;
    int32_t MACROPDF_ENABLE;
    int32_t CODE93_ENABLE;
    int32_t CODE128_ENABLE;
    int32_t GS1_128_ENABLE;
    int32_t ISBT_ENABLE;
    int32_t DATAMATRIX_ENABLE;
    int32_t DUTCH_POST_ENABLE;
    int32_t UPC_A_ENABLE;
    int32_t UPC_E_ENABLE;
    int32_t EAN_13_ENABLE;
    int32_t EAN_8_ENABLE;
    int32_t GS1_COMPOSITE_AB_ENABLE;
    int32_t GS1_COMPOSITE_C_ENABLE;
    int32_t GS1_DATABAR_OMNI_DIRECTIONAL_ENABLE;
    int32_t GS1_DATABAR_LIMITED_ENABLE;
    int32_t GS1_DATABAR_EXPAND_ENABLE;
    int32_t HAN_XIN_ENABLE;
    int32_t INFOMAIL_ENABLE;
    int32_t INTERLEAVED_2OF5_ENABLE;
    int32_t JAPAN_POST_ENABLE;
    int32_t MATRIX_2OF5_ENABLE;
    int32_t MAXICODE_ENABLE;
    int32_t MSI_ENABLE;
    int32_t PDF417_ENABLE;
    int32_t MICRO_PDF_ENABLE;
    int32_t PLANET_CODE_ENABLE;
    int32_t PLESSEY_ENABLE;
    int32_t POST_NET_ENABLE;
    int32_t QR_ENABLE;
    int32_t STANDARD_2OF5_ENABLE;
    int32_t TELEPEN_ENABLE;
    int32_t TLC39_ENABLE;
    int32_t UPC_E1_ENABLE;
} EnableRecord;

/* Detail record: per-symbology options (288 bytes). Fields are named after
 * the Set/Get pair that covers them and their argument position. Character
 * slots carry the character in their first byte; the filler is not used. */
typedef struct DetailRecord {
    int32_t Aztec_1;
    int32_t Aztec_2;
    int32_t Aztec_3;
    int32_t Aztec_4;
    int32_t BPO_1;
    int32_t Codabar_1;
    int32_t Codabar_2;
    int32_t Codabar_3;
    int32_t Codabar_4;
    int32_t Codabar_5;
    int32_t Codabar_6;
    int32_t Code11_1;
    int32_t Code39_1;
    int32_t Code39_2;
    int32_t Code39_3;
    int32_t Code39_4;
    int32_t Code93_1;
    int32_t Code128_GS1_128_ISBT_1;
    int32_t Code128_GS1_128_ISBT_2;
    int32_t Code128_GS1_128_ISBT_3;
    int32_t Code128_GS1_128_ISBT_4;
    int32_t Code128_GS1_128_ISBT_5;
    int32_t Code128_GS1_128_ISBT_6;
    char Code128_GS1_128_ISBT_7;
    char Code128_GS1_128_ISBT_7_filler[3];
    int32_t Code128_GS1_128_ISBT_8;
    int32_t Code128_GS1_128_ISBT_9;
    int32_t Code128_GS1_128_ISBT_10;
    int32_t DataMatrix_1;
    int32_t DataMatrix_2;
    int32_t DataMatrix_3;
    int32_t UPCA_1;
    int32_t UPCA_2;
    int32_t UPCA_3;
    int32_t UPCE_1;
    int32_t UPCE_2;
    int32_t UPCE_3;
    int32_t EAN13_1;
    int32_t EAN13_2;
    int32_t EAN13_3;
    int32_t EAN13_4;
    int32_t EAN8_1;
    int32_t EAN8_2;
    int32_t UPCEAN_1;
    int32_t UPCEAN_2;
    int32_t UPCEAN_3;
    int32_t UPCEAN_4;
    char UPCEAN_5;
    char UPCEAN_5_filler[3];
    int32_t UPCEAN_6;
    int32_t GS1Composite_1;
    int32_t GS1Composite_2;
    int32_t GS1Composite_3;
    int32_t Interleaved2of5_1;
    int32_t Interleaved2of5_2;
    int32_t Interleaved2of5_3;
    int32_t Matrix2of5_1;
    int32_t MSI_1;
    int32_t PDF417_1;
    int32_t PDF417_2;
    int32_t PDF417_3;
    int32_t MicroPDF_1;
    int32_t Planet_1;
    int32_t Plessey_1;
    int32_t Plessey_2;
    int32_t Postnet_1;
    int32_t QRCode_1;
    int32_t QRCode_2;
    int32_t Standard2of5_1;
    int32_t Standard2of5_2;
    int32_t Standard2of5_3;
    int32_t Telepen_1;
    int32_t TLC39_1;
    char TLC39_2;
    char TLC39_2_filler[3];
} DetailRecord;

/* Other record: general engine options (100 bytes). Fields without an
 * export of their own are named after their engine parameter. */
typedef struct OtherRecord {
    int32_t SECURITY_LEVEL;
    int32_t PARAM_7B_44;
    int32_t AEC_AREA;
    int32_t PARAM_7B_57;
    int32_t PARAM_7B_53;
    int32_t PARAM_7B_4D;
    int32_t DPM_1;
    int32_t DPM_2;
    int32_t EXTENSIVE_BARCODE_SEARCH;
    int32_t DPM_3;
    int32_t PARAM_7B_43;
    int32_t PARAM_7B_45;
    int32_t PARAM_7B_46;
    int32_t PARAM_7B_82;
    int32_t PARAM_7B_83;
    int32_t PARAM_7B_48;
    int32_t PARAM_7B_49;
    int32_t PARAM_7B_40;
    int32_t PARAM_7B_47;
    int32_t PARAM_7B_42;
    int32_t PARAM_7B_41;
    int32_t PARAM_7B_55;
    int32_t PARAM_7B_A0;
    int32_t PARAM_7B_A1;
    int32_t PARAM_7B_A2;
} OtherRecord;

#ifdef __cplusplus
static_assert(sizeof(EnableRecord) == 164, "EnableRecord is 164 bytes");
static_assert(sizeof(DetailRecord) == 288, "DetailRecord is 288 bytes");
static_assert(sizeof(OtherRecord) == 100, "OtherRecord is 100 bytes");
#else
_Static_assert(sizeof(EnableRecord) == 164, "EnableRecord is 164 bytes");
_Static_assert(sizeof(DetailRecord) == 288, "DetailRecord is 288 bytes");
_Static_assert(sizeof(OtherRecord) == 100, "OtherRecord is 100 bytes");
#endif

/* Target window */
QV_API int32_t QVImagerSetWindow(QVHWND window);

/* Open, close and scan */
QV_API int32_t QVImagerOpen(void);
QV_API int32_t QVImagerClose(void);
QV_API int32_t QVImagerScanStart(BarcodeCallback callback);
QV_API int32_t QVImagerScanStop(void);

/* Delivery options (which: 1 = good read, any other = failed read) */
QV_API int32_t QVImagerSetReceiveType(int32_t type);
QV_API int32_t QVImagerGetReceiveType(int32_t* type);
QV_API int32_t QVImagerSetSoundType(int32_t which, int32_t type);
QV_API int32_t QVImagerGetSoundType(int32_t which, int32_t* type);
QV_API int32_t QVImagerSetSoundPath(int32_t which, const char16_t* path);
QV_API int32_t QVImagerGetSoundPath(int32_t which, char16_t* path); /* 512 units */
QV_API int32_t QVImagerSetPrefix1(int32_t value);
QV_API int32_t QVImagerSetPrefix2(int32_t value);
QV_API int32_t QVImagerGetPrefix1(uint8_t* value);
QV_API int32_t QVImagerGetPrefix2(uint8_t* value);
QV_API int32_t QVImagerSetSuffix1(int32_t value);
QV_API int32_t QVImagerSetSuffix2(int32_t value);
QV_API int32_t QVImagerGetSuffix1(uint8_t* value);
QV_API int32_t QVImagerGetSuffix2(uint8_t* value);
QV_API int32_t QVImagerSetDelay(int32_t mode, int32_t milliseconds);
QV_API int32_t QVImagerGetDelay(int32_t* mode, int32_t* milliseconds);

/* Enable switches and whole records */
QV_API int32_t QVImagerSetALLSymboleEnable(int32_t value);
QV_API int32_t QVImagerSetSymboleEnable(int32_t symbology, int32_t value);
QV_API int32_t QVImagerGetSymboleEnable(int32_t symbology, int32_t* value);
QV_API int32_t QVImagerSetSymboleEnableByStruct(EnableRecord record);
QV_API int32_t QVImagerGetSymboleEnableByStruct(EnableRecord* record);
QV_API int32_t QVImagerSetSymboleDetailByStruct(DetailRecord record);
QV_API int32_t QVImagerGetSymboleDetailByStruct(DetailRecord* record);
QV_API int32_t QVImagerSetOtherSettingByStruct(OtherRecord record);
QV_API int32_t QVImagerGetOtherSettingByStruct(OtherRecord* record);

/* Per-symbology settings: the values of the Detail record fields named
 * <Stem>_1, <Stem>_2, ... in order. */
QV_API int32_t QVImagerSetAztecSetting(int32_t v1, int32_t v2, int32_t v3, int32_t v4);
QV_API int32_t QVImagerGetAztecSetting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4);
QV_API int32_t QVImagerSetBPOSetting(int32_t v1);
QV_API int32_t QVImagerGetBPOSetting(int32_t* v1);
QV_API int32_t QVImagerSetCodabarSetting(int32_t v1, int32_t v2, int32_t v3, int32_t v4, int32_t v5,
                                         int32_t v6);
QV_API int32_t QVImagerGetCodabarSetting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4,
                                         int32_t* v5, int32_t* v6);
QV_API int32_t QVImagerSetCode11Setting(int32_t v1);
QV_API int32_t QVImagerGetCode11Setting(int32_t* v1);
QV_API int32_t QVImagerSetCode39Setting(int32_t v1, int32_t v2, int32_t v3, int32_t v4);
QV_API int32_t QVImagerGetCode39Setting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4);
QV_API int32_t QVImagerSetCode93Setting(int32_t v1);
QV_API int32_t QVImagerGetCode93Setting(int32_t* v1);
QV_API int32_t QVImagerSetCode128_GS1_128_ISBTSetting(int32_t v1, int32_t v2, int32_t v3,
                                                      int32_t v4, int32_t v5, int32_t v6, char v7,
                                                      int32_t v8, int32_t v9, int32_t v10);
QV_API int32_t QVImagerGetCode128_GS1_128_ISBTSetting(int32_t* v1, int32_t* v2, int32_t* v3,
                                                      int32_t* v4, int32_t* v5, int32_t* v6,
                                                      char* v7, int32_t* v8, int32_t* v9,
                                                      int32_t* v10);
QV_API int32_t QVImagerSetDataMatrixSetting(int32_t v1, int32_t v2, int32_t v3);
QV_API int32_t QVImagerGetDataMatrixSetting(int32_t* v1, int32_t* v2, int32_t* v3);
QV_API int32_t QVImagerSetUPCASetting(int32_t v1, int32_t v2, int32_t v3);
QV_API int32_t QVImagerGetUPCASetting(int32_t* v1, int32_t* v2, int32_t* v3);
QV_API int32_t QVImagerSetUPCESetting(int32_t v1, int32_t v2, int32_t v3);
QV_API int32_t QVImagerGetUPCESetting(int32_t* v1, int32_t* v2, int32_t* v3);
QV_API int32_t QVImagerSetEAN13Setting(int32_t v1, int32_t v2, int32_t v3, int32_t v4);
QV_API int32_t QVImagerGetEAN13Setting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4);
QV_API int32_t QVImagerSetEAN8Setting(int32_t v1, int32_t v2);
QV_API int32_t QVImagerGetEAN8Setting(int32_t* v1, int32_t* v2);
QV_API int32_t QVImagerSetUPCEANSetting(int32_t v1, int32_t v2, int32_t v3, int32_t v4, char v5,
                                        int32_t v6);
QV_API int32_t QVImagerGetUPCEANSetting(int32_t* v1, int32_t* v2, int32_t* v3, int32_t* v4,
                                        char* v5, int32_t* v6);
QV_API int32_t QVImagerSetGS1CompositeSetting(int32_t v1, int32_t v2, int32_t v3);
QV_API int32_t QVImagerGetGS1CompositeSetting(int32_t* v1, int32_t* v2, int32_t* v3);
QV_API int32_t QVImagerSetInterleaved2of5Setting(int32_t v1, int32_t v2, int32_t v3);
QV_API int32_t QVImagerGetInterleaved2of5Setting(int32_t* v1, int32_t* v2, int32_t* v3);
QV_API int32_t QVImagerSetMatrix2of5Setting(int32_t v1);
QV_API int32_t QVImagerGetMatrix2of5Setting(int32_t* v1);
QV_API int32_t QVImagerSetMSISetting(int32_t v1);
QV_API int32_t QVImagerGetMSISetting(int32_t* v1);
QV_API int32_t QVImagerSetPDF417Setting(int32_t v1, int32_t v2, int32_t v3);
QV_API int32_t QVImagerGetPDF417Setting(int32_t* v1, int32_t* v2, int32_t* v3);
QV_API int32_t QVImagerSetMicroPDFSetting(int32_t v1);
QV_API int32_t QVImagerGetMicroPDFSetting(int32_t* v1);
QV_API int32_t QVImagerSetPlanetSetting(int32_t v1);
QV_API int32_t QVImagerGetPlanetSetting(int32_t* v1);
QV_API int32_t QVImagerSetPlesseySetting(int32_t v1, int32_t v2);
QV_API int32_t QVImagerGetPlesseySetting(int32_t* v1, int32_t* v2);
QV_API int32_t QVImagerSetPostnetSetting(int32_t v1);
QV_API int32_t QVImagerGetPostnetSetting(int32_t* v1);
QV_API int32_t QVImagerSetQRCodeSetting(int32_t v1, int32_t v2);
QV_API int32_t QVImagerGetQRCodeSetting(int32_t* v1, int32_t* v2);
QV_API int32_t QVImagerSetStandard2of5Setting(int32_t v1, int32_t v2, int32_t v3);
QV_API int32_t QVImagerGetStandard2of5Setting(int32_t* v1, int32_t* v2, int32_t* v3);
QV_API int32_t QVImagerSetTelepenSetting(int32_t v1);
QV_API int32_t QVImagerGetTelepenSetting(int32_t* v1);
QV_API int32_t QVImagerSetTLC39Setting(int32_t v1, char v2);
QV_API int32_t QVImagerGetTLC39Setting(int32_t* v1, char* v2);

/* General engine options (Other record) */
QV_API int32_t QVImagerSetSecurtyLevel(int32_t level);
QV_API int32_t QVImagerGetSecurtyLevel(int32_t* level);
QV_API int32_t QVImagerSetDPMSetting(int32_t dpm1, int32_t dpm2, int32_t dpm3);
QV_API int32_t QVImagerGetDPMSetting(int32_t* dpm1, int32_t* dpm2, int32_t* dpm3);
QV_API int32_t QVImagerSetAECArea(int32_t area);
QV_API int32_t QVImagerGetAECArea(int32_t* area);
QV_API int32_t QVImagerSetExtensiveBarcodeSearch(int32_t on);
QV_API int32_t QVImagerGetExtensiveBarcodeSearch(int32_t* on);

/* Module maintenance */
QV_API int32_t QVImagerTestCommand(void);
QV_API int32_t QVImagerFactoryReset(void);
/* Firmware, boot and hardware version texts; each buffer holds 256 units. */
QV_API int32_t QVImagerGetVersion(char16_t* firmware, char16_t* boot, char16_t* hardware);

#ifdef __cplusplus
}
#endif

#endif /* QV_RIZOVIV2I_RO25_H */

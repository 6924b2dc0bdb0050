// Per-symbology and general engine options.
#include "interface/export_frame.h"

using namespace qv;

namespace {

constexpr auto kNotYet = [](ImagerEngine&) { return false; };

}  // namespace

QV_EXPORT int32_t QVImagerSetAztecSetting(int32_t, int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetAztecSetting(int32_t*, int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetBPOSetting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetBPOSetting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetCodabarSetting(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetCodabarSetting(int32_t*, int32_t*, int32_t*, int32_t*, int32_t*,
                                            int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetCode11Setting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetCode11Setting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetCode39Setting(int32_t, int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetCode39Setting(int32_t*, int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetCode93Setting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetCode93Setting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetCode128_GS1_128_ISBTSetting(int32_t, int32_t, int32_t, int32_t,
                                                         int32_t, int32_t, char, int32_t, int32_t,
                                                         int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetCode128_GS1_128_ISBTSetting(int32_t*, int32_t*, int32_t*, int32_t*,
                                                         int32_t*, int32_t*, char*, int32_t*,
                                                         int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetDataMatrixSetting(int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetDataMatrixSetting(int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetUPCASetting(int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetUPCASetting(int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetUPCESetting(int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetUPCESetting(int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetEAN13Setting(int32_t, int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetEAN13Setting(int32_t*, int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetEAN8Setting(int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetEAN8Setting(int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetUPCEANSetting(int32_t, int32_t, int32_t, int32_t, char, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetUPCEANSetting(int32_t*, int32_t*, int32_t*, int32_t*, char*,
                                           int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetGS1CompositeSetting(int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetGS1CompositeSetting(int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetInterleaved2of5Setting(int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetInterleaved2of5Setting(int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetMatrix2of5Setting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetMatrix2of5Setting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetMSISetting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetMSISetting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetPDF417Setting(int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetPDF417Setting(int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetMicroPDFSetting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetMicroPDFSetting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetPlanetSetting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetPlanetSetting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetPlesseySetting(int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetPlesseySetting(int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetPostnetSetting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetPostnetSetting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetQRCodeSetting(int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetQRCodeSetting(int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetStandard2of5Setting(int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetStandard2of5Setting(int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetTelepenSetting(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetTelepenSetting(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetTLC39Setting(int32_t, char) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetTLC39Setting(int32_t*, char*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetSecurtyLevel(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetSecurtyLevel(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetDPMSetting(int32_t, int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetDPMSetting(int32_t*, int32_t*, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetAECArea(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetAECArea(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetExtensiveBarcodeSearch(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetExtensiveBarcodeSearch(int32_t*) {
    return InFrame(kNotYet);
}

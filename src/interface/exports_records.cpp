// Enable switches and whole records.
#include "interface/export_frame.h"

using namespace qv;

namespace {

constexpr auto kNotYet = [](ImagerEngine&) { return false; };

}  // namespace

QV_EXPORT int32_t QVImagerSetALLSymboleEnable(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetSymboleEnable(int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetSymboleEnable(int32_t, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetSymboleEnableByStruct(EnableRecord) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetSymboleEnableByStruct(EnableRecord*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetSymboleDetailByStruct(DetailRecord) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetSymboleDetailByStruct(DetailRecord*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetOtherSettingByStruct(OtherRecord) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetOtherSettingByStruct(OtherRecord*) {
    return InFrame(kNotYet);
}

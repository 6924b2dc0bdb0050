// Delivery options: receive type, notification sounds, prefix and suffix
// keys, key-stroke delay.
#include "interface/export_frame.h"

using namespace qv;

namespace {

constexpr auto kNotYet = [](ImagerEngine&) { return false; };

}  // namespace

QV_EXPORT int32_t QVImagerSetReceiveType(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetReceiveType(int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetSoundType(int32_t, int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetSoundType(int32_t, int32_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetSoundPath(int32_t, const char16_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetSoundPath(int32_t, char16_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetPrefix1(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetPrefix2(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetSuffix1(int32_t) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerSetSuffix2(int32_t) {
    return InFrame(kNotYet);
}

// A refused prefix read leaves 0 in the output; a refused suffix read leaves it alone.
QV_EXPORT int32_t QVImagerGetPrefix1(uint8_t* value) {
    if (value != nullptr) *value = 0;
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetPrefix2(uint8_t* value) {
    if (value != nullptr) *value = 0;
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetSuffix1(uint8_t*) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetSuffix2(uint8_t*) {
    return InFrame(kNotYet);
}

QV_EXPORT int32_t QVImagerSetDelay(int32_t, int32_t) {
    return InFrame(kNotYet);
}

// Reports the delay whenever an engine object exists, even one that is not usable.
QV_EXPORT int32_t QVImagerGetDelay(int32_t* mode, int32_t* milliseconds) {
    ImagerEngine* engine = m_RO25.load();
    if (engine == nullptr) return -1;
    if (mode != nullptr) *mode = engine->m_delayMode.load();
    if (milliseconds != nullptr) *milliseconds = engine->m_delayMs.load();
    return InFrame([](ImagerEngine&) { return true; });
}

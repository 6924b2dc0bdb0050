// Module maintenance: test command, factory reset, version.
#include "interface/export_frame.h"

using namespace qv;

namespace {

constexpr auto kNotYet = [](ImagerEngine&) { return false; };

}  // namespace

QV_EXPORT int32_t QVImagerTestCommand(void) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerFactoryReset(void) {
    return InFrame(kNotYet);
}
QV_EXPORT int32_t QVImagerGetVersion(char16_t*, char16_t*, char16_t*) {
    return InFrame(kNotYet);
}

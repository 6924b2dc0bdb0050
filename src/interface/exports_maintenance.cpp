// Module maintenance: test command, factory reset, version. All three
// return 1 once sent, whatever the engine answered.
#include "interface/export_guard.h"
#include "symbology/module_maintenance.h"

using namespace qv;

QV_EXPORT int32_t QVImagerTestCommand(void) {
    return GuardedCommand([](ImagerEngine& engine) {
        SendTestCommand(engine.Commands());
        return true;
    });
}

QV_EXPORT int32_t QVImagerFactoryReset(void) {
    return GuardedCommand([](ImagerEngine& engine) {
        FactoryReset(engine.Commands());
        return true;
    });
}

QV_EXPORT int32_t QVImagerGetVersion(char16_t* firmware, char16_t* boot, char16_t* hardware) {
    return GuardedCommand([&](ImagerEngine& engine) {
        if (firmware == nullptr || boot == nullptr || hardware == nullptr) return false;
        ReadVersion(engine.Commands(), firmware, boot, hardware);
        return true;
    });
}

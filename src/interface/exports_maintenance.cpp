// Module maintenance: test command, factory reset, version. All three
// return 1 once sent, whatever the engine answered.
#include "interface/export_frame.h"
#include "symbology/module_maintenance.h"

using namespace qv;

QV_EXPORT int32_t QVImagerTestCommand(void) {
    return InCommandFrame([](ImagerEngine& engine) {
        EngineCommandPort port(engine);
        SendTestCommand(port);
        return true;
    });
}

QV_EXPORT int32_t QVImagerFactoryReset(void) {
    return InCommandFrame([](ImagerEngine& engine) {
        EngineCommandPort port(engine);
        FactoryReset(port);
        return true;
    });
}

QV_EXPORT int32_t QVImagerGetVersion(char16_t* firmware, char16_t* boot, char16_t* hardware) {
    return InCommandFrame([&](ImagerEngine& engine) {
        if (firmware == nullptr || boot == nullptr || hardware == nullptr) return false;
        EngineCommandPort port(engine);
        ReadVersion(port, firmware, boot, hardware);
        return true;
    });
}

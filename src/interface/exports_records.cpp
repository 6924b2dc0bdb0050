// Enable switches and whole records.
#include "interface/export_guard.h"
#include "symbology/settings_operations.h"

using namespace qv;

namespace {

// Runs `op` on the engine's symbology operations inside the export guard.
template <class Op>
int32_t WithOperations(Op&& op) {
    return GuardedCommand([&](ImagerEngine& engine) {
        SymbologyOperations ops = engine.Symbology();
        return op(ops);
    });
}

}  // namespace

QV_EXPORT int32_t QVImagerSetALLSymboleEnable(int32_t value) {
    return WithOperations([&](SymbologyOperations& ops) {
        EnableRecord record{};
        for (size_t slot = 0; slot < sizeof record / sizeof(int32_t); ++slot) {
            WriteSlot(&record, slot, value);
        }
        return ops.WriteEnableSetting(record);
    });
}

QV_EXPORT int32_t QVImagerSetSymboleEnable(int32_t symbology, int32_t value) {
    return WithOperations(
        [&](SymbologyOperations& ops) { return ops.WriteEnableOne(symbology, value); });
}

QV_EXPORT int32_t QVImagerGetSymboleEnable(int32_t symbology, int32_t* value) {
    return WithOperations([&](SymbologyOperations& ops) {
        return value != nullptr && ops.ReadEnableOne(symbology, *value) != 0;
    });
}

QV_EXPORT int32_t QVImagerSetSymboleEnableByStruct(EnableRecord record) {
    return WithOperations([&](SymbologyOperations& ops) { return ops.WriteEnableSetting(record); });
}

QV_EXPORT int32_t QVImagerGetSymboleEnableByStruct(EnableRecord* record) {
    return WithOperations([&](SymbologyOperations& ops) {
        EnableRecord local{};
        if (record == nullptr || ops.ReadEnableSetting(local) == 0) return false;
        *record = local;
        return true;
    });
}

QV_EXPORT int32_t QVImagerSetSymboleDetailByStruct(DetailRecord record) {
    return WithOperations([&](SymbologyOperations& ops) { return ops.WriteDetailSetting(record); });
}

QV_EXPORT int32_t QVImagerGetSymboleDetailByStruct(DetailRecord* record) {
    return WithOperations([&](SymbologyOperations& ops) {
        DetailRecord local{};
        if (record == nullptr || ops.ReadDetailSetting(local) == 0) return false;
        *record = local;
        return true;
    });
}

QV_EXPORT int32_t QVImagerSetOtherSettingByStruct(OtherRecord record) {
    return WithOperations([&](SymbologyOperations& ops) { return ops.WriteOtherSetting(record); });
}

QV_EXPORT int32_t QVImagerGetOtherSettingByStruct(OtherRecord* record) {
    return WithOperations([&](SymbologyOperations& ops) {
        OtherRecord local{};
        if (record == nullptr || ops.ReadOtherSetting(local) == 0) return false;
        *record = local;
        return true;
    });
}

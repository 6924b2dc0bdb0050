// Delivery options: receive type, notification sounds, prefix and suffix
// keys, key-stroke delay. Each setter changes the engine's values and writes
// the stored copy to the registry; a null output or path pointer is refused.
#include "delivery/process_items.h"
#include "interface/export_guard.h"

using namespace qv;

QV_EXPORT int32_t QVImagerSetReceiveType(int32_t type) {
    return Guarded([type](ImagerEngine& engine) {
        engine.Delivery().SetReceiveType(type);
        return true;
    });
}

// The stored receive type, which may differ from the one in effect.
QV_EXPORT int32_t QVImagerGetReceiveType(int32_t* type) {
    return Guarded([type](ImagerEngine& engine) {
        if (type == nullptr) return false;
        *type = engine.Options().m_storedRecvType;
        return true;
    });
}

QV_EXPORT int32_t QVImagerSetSoundType(int32_t which, int32_t type) {
    return Guarded([which, type](ImagerEngine& engine) {
        engine.Delivery().SetSoundType(which, type);
        return true;
    });
}

QV_EXPORT int32_t QVImagerGetSoundType(int32_t which, int32_t* type) {
    return Guarded([which, type](ImagerEngine& engine) {
        if (type == nullptr) return false;
        *type = which == 1 ? engine.Options().m_sndManual : engine.Options().m_sndManual2;
        return true;
    });
}

QV_EXPORT int32_t QVImagerSetSoundPath(int32_t which, const char16_t* path) {
    return Guarded([which, path](ImagerEngine& engine) {
        if (path == nullptr) return false;
        // Read one unit past what is kept, no further: the cut below it then
        // sees whether it would split a surrogate pair.
        size_t length = 0;
        while (length < kPathUnits && path[length] != u'\0')
            ++length;
        const std::u16string_view text(path, length);
        engine.Options().SetSoundPath(which, text);
        engine.Options().SaveSound();
        SetProcessSoundPath(which, text);
        return true;
    });
}

// The process-wide path, which need not be the stored one.
QV_EXPORT int32_t QVImagerGetSoundPath(int32_t which, char16_t* path) {
    return Guarded([which, path](ImagerEngine&) {
        if (path == nullptr) return false;
        CopyProcessSoundPath(which, path);
        return true;
    });
}

namespace {

int32_t SetKeyByte(std::atomic<uint8_t> DeliveryOptions::*field, bool prefix, int32_t value) {
    return Guarded([=](ImagerEngine& engine) {
        engine.Options().*field = static_cast<uint8_t>(value & 0xFF);
        if (prefix) {
            engine.Options().SavePrefix();
        } else {
            engine.Options().SaveSuffix();
        }
        return true;
    });
}

int32_t GetKeyByte(std::atomic<uint8_t> DeliveryOptions::*field, uint8_t* value) {
    return Guarded([=](ImagerEngine& engine) {
        if (value == nullptr) return false;
        *value = engine.Options().*field;
        return true;
    });
}

}  // namespace

QV_EXPORT int32_t QVImagerSetPrefix1(int32_t value) {
    return SetKeyByte(&DeliveryOptions::m_prefix1, true, value);
}
QV_EXPORT int32_t QVImagerSetPrefix2(int32_t value) {
    return SetKeyByte(&DeliveryOptions::m_prefix2, true, value);
}
QV_EXPORT int32_t QVImagerSetSuffix1(int32_t value) {
    return SetKeyByte(&DeliveryOptions::m_suffix1, false, value);
}
QV_EXPORT int32_t QVImagerSetSuffix2(int32_t value) {
    return SetKeyByte(&DeliveryOptions::m_suffix2, false, value);
}

// A refused prefix read leaves 0 in the output; a refused suffix read leaves it alone.
QV_EXPORT int32_t QVImagerGetPrefix1(uint8_t* value) {
    if (value != nullptr) *value = 0;
    return GetKeyByte(&DeliveryOptions::m_prefix1, value);
}
QV_EXPORT int32_t QVImagerGetPrefix2(uint8_t* value) {
    if (value != nullptr) *value = 0;
    return GetKeyByte(&DeliveryOptions::m_prefix2, value);
}
QV_EXPORT int32_t QVImagerGetSuffix1(uint8_t* value) {
    return GetKeyByte(&DeliveryOptions::m_suffix1, value);
}
QV_EXPORT int32_t QVImagerGetSuffix2(uint8_t* value) {
    return GetKeyByte(&DeliveryOptions::m_suffix2, value);
}

QV_EXPORT int32_t QVImagerSetDelay(int32_t mode, int32_t milliseconds) {
    return Guarded([mode, milliseconds](ImagerEngine& engine) {
        engine.Delivery().SetDelay(mode, milliseconds);
        return true;
    });
}

// Reports the delay whenever an engine object exists, even one that is not usable.
QV_EXPORT int32_t QVImagerGetDelay(int32_t* mode, int32_t* milliseconds) {
    try {
        platform::ClearLastFailure();
        if (InForkedChild()) return RefuseInForkedChild();
        if (RefusedForLeftBehindReader()) return -1;
        ImagerEngine* engine = m_RO25.load();
        if (engine != nullptr) engine->Delivery().GetDelay(mode, milliseconds);
        return Guarded([](ImagerEngine&) { return true; });
    } catch (...) {
        return -1;
    }
}

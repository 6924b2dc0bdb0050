// The common frame around every export but QVImagerOpen and QVImagerClose:
// no engine, or an engine that is not usable, gives -1 and changes nothing;
// otherwise the operation runs and its success gives 1, its failure -1.
// No exception crosses the C boundary.
#pragma once

#include <cstdint>

#include "engine/imager_engine.h"

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

namespace qv {

template <class Op>
int32_t InFrame(Op&& op) noexcept {
    try {
        ImagerEngine* engine = m_RO25.load();
        if (engine == nullptr || !engine->IsUsable()) return -1;
        return op(*engine) ? 1 : -1;
    } catch (...) {
        return -1;
    }
}

}  // namespace qv

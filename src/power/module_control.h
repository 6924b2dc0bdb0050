// Switching of the engine's supply, trigger and wake lines through the
// power driver "BAR1:", and the device model class.
#pragma once

#include <cstdint>

namespace qv {

class ModuleControl {
public:
    ModuleControl() = default;

    int32_t m_modelClass = -1;
    uint8_t m_frameNo = 0;
};

}  // namespace qv

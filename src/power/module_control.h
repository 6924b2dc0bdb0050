// Switching of the engine's supply, trigger and wake lines through the
// power driver "BAR1:", and the device model class.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/device_driver.h"

namespace qv {

// Line identifiers of the line-record driver interface (model classes 3, 4).
inline constexpr uint32_t LINE_POWER = 0x04414108;
inline constexpr uint32_t LINE_TRIGGER = 0x04214104;
inline constexpr uint32_t LINE_WAKE = 0x04114104;

class ModuleControl {
  public:
    ModuleControl();
    ~ModuleControl();
    ModuleControl(const ModuleControl&) = delete;
    ModuleControl& operator=(const ModuleControl&) = delete;

    // Reads "OrigName" of the registry key "Ident": -1, 1, 2, 3 or 4.
    static int32_t DetectModelClass();

    int32_t OpenDriver();
    int32_t CloseDriver();
    int32_t BarcodeModuleGetPower(int32_t* status);
    int32_t BarcodeModuleSetPower(int32_t level);
    int32_t SetModulePower(int32_t on);
    void SetTriggerLine(uint8_t level);
    int32_t SetWakeLine(uint8_t level);
    void WakePulse();
    int32_t SetLine(uint32_t id, uint32_t level);
    int32_t GetLine(uint32_t id, uint8_t* level);

    const int32_t m_modelClass;
    std::unique_ptr<platform::DriverHandle> m_hBAR;
    // Frame number of the next command frame; advanced by the frame builder.
    std::atomic<uint32_t> m_frameNo{0};
};

}  // namespace qv

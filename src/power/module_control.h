// Switching of the engine's supply, trigger and wake lines through the
// power driver "BAR1:", and the device model class.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/driver/device_driver.h"

namespace qv {

// Line identifiers of the line-record driver interface (model classes 3, 4).
inline constexpr uint32_t LINE_POWER = 0x04414108;
inline constexpr uint32_t LINE_TRIGGER = 0x04214104;
inline constexpr uint32_t LINE_WAKE = 0x04114104;

// Requests of "BAR1:".
inline constexpr uint32_t kBarSetLine = 1;  // also the fallback trigger request
inline constexpr uint32_t kBarGetLineOrSetPower = 2;
inline constexpr uint32_t kBarGetPower = 3;
inline constexpr uint32_t kBarSetWake = 6;
inline constexpr uint32_t kBarSetTrigger = 7;

// How long SetModulePower polls for the supply to reach the requested state,
// and its pause between two polls.
inline constexpr uint32_t kPowerPollLimitMs = 2000;
inline constexpr uint32_t kPowerPollPauseMs = 5;

// Model class of a device model name; the first substring found decides.
int32_t ModelClassFromName(std::u16string_view name);

class ModuleControl {
  public:
    // Detects the model class from the registry.
    ModuleControl();
    // For a known model class, as the simulator and tests use it.
    explicit ModuleControl(int32_t modelClass);
    ~ModuleControl();
    ModuleControl(const ModuleControl&) = delete;
    ModuleControl& operator=(const ModuleControl&) = delete;

    // Reads "OrigName" of the registry key "Ident": -1, 1, 2, 3 or 4.
    static int32_t DetectModelClass();

    // Called once, on whichever thread's request found the driver's device
    // gone (a GPIO chip that disappeared). Set before the engine's threads
    // start; not changed afterwards.
    void SetLossHandler(std::function<void()> handler) { m_onLost = std::move(handler); }

    int32_t OpenDriver();
    int32_t CloseDriver();
    int32_t BarcodeModuleGetPower(int32_t* status);
    int32_t BarcodeModuleSetPower(int32_t level);
    // The result of the first power query (0: nothing was done), or 0 when
    // the supply did not follow within kPowerPollLimitMs although the driver
    // kept answering. Switching off runs when the supply reads on, and also
    // when this object drove the supply or the trigger since OpenDriver,
    // whatever the supply reads: a status that never came up or dropped
    // meanwhile must not leave the lines driven once they are released.
    int32_t SetModulePower(int32_t on);
    // What a failed open does instead of SetModulePower(0): the supply goes
    // off only if this open switched it on, so an engine that was on already
    // (another owner's, or one powered all the time) keeps running.
    int32_t PowerOffAfterFailedOpen();
    void SetTriggerLine(uint8_t level);
    int32_t SetWakeLine(uint8_t level);
    void WakePulse();
    int32_t SetLine(uint32_t id, uint32_t level);
    int32_t GetLine(uint32_t id, uint8_t* level);

    const int32_t m_modelClass;
    std::unique_ptr<platform::DriverHandle> m_hBAR;
    // Frame number of the next command frame; advanced by the frame builder.
    std::atomic<uint32_t> m_frameNo{0};
    // 1 once SetModulePower switched the supply on since OpenDriver, until
    // it switches it off; the power watcher's resume may set it while the
    // opener reads it.
    std::atomic<int32_t> m_bSwitchedOn{0};
    // 1 while the trigger line was last driven to 1 (released) by this object.
    std::atomic<int32_t> m_bTriggerHigh{0};

  private:
    // True when the driver's device is gone; reports it the first time.
    bool DeviceGone();
    bool UsesLineInterface() const { return m_modelClass == 3 || m_modelClass == 4; }
    // The power query without its log lines, and those lines.
    int32_t QueryPower(int32_t* status);
    void LogPowerQuery(int32_t status, int32_t result);
    int32_t Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize);
    int32_t RequestValue(uint32_t code, uint32_t value);

    std::function<void()> m_onLost;
    std::atomic<int32_t> m_bLossReported{0};
};

}  // namespace qv

#include "power/module_control.h"

#include <array>
#include <cerrno>
#include <string>

#include "log/write_log.h"
#include "platform/core/clock.h"
#include "platform/core/last_failure.h"
#include "platform/storage/registry.h"
#include "platform/windows/message_box.h"

namespace qv {
namespace {

// Model-name substrings in the order they are tried: "PL21" before "PL2",
// which it contains.
struct ModelName {
    std::u16string_view substring;
    int32_t modelClass;
};
constexpr std::array<ModelName, 6> kModelNames = {{
    {u"PL4", 2},
    {u"QV4100N", 2},
    {u"PL9", 3},
    {u"PL21", 3},
    {u"PL2", 1},
    {u"PL6", 4},
}};

// "OrigName" is read into 60 bytes: 29 units and the terminator.
constexpr uint32_t kModelNameBytes = 60;

constexpr uint32_t kTriggerPauseMs = 5;
constexpr uint32_t kWakePulseMs = 80;

std::array<uint8_t, 8> LineRecord(uint32_t id, uint32_t level) {
    std::array<uint8_t, 8> rec{};
    for (int i = 0; i < 4; ++i) {
        rec[i] = static_cast<uint8_t>(id >> (8 * i));
        rec[4 + i] = static_cast<uint8_t>(level >> (8 * i));
    }
    return rec;
}

std::array<uint8_t, 4> Value(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

}  // namespace

int32_t ModelClassFromName(std::u16string_view name) {
    for (const ModelName& m : kModelNames) {
        if (name.find(m.substring) != std::u16string_view::npos) return m.modelClass;
    }
    return -1;
}

ModuleControl::ModuleControl() : m_modelClass(DetectModelClass()) {}
ModuleControl::ModuleControl(int32_t modelClass) : m_modelClass(modelClass) {}
ModuleControl::~ModuleControl() = default;

int32_t ModuleControl::DetectModelClass() {
    std::unique_ptr<platform::RegistryKey> key;
    if (platform::RegistryKey::Open(u"Ident", key) != platform::RegStatus::Ok || key == nullptr) {
        return -1;
    }
    // Zeroed, so that a value stored without its terminator still ends.
    char16_t name[kModelNameBytes / sizeof(char16_t)] = {};
    uint32_t size = kModelNameBytes;
    const platform::RegStatus status = key->QueryValue(u"OrigName", nullptr, name, &size);
    key.reset();
    if (status != platform::RegStatus::Ok) return -1;
    return ModelClassFromName(std::u16string_view(name, std::char_traits<char16_t>::length(name)));
}

int32_t ModuleControl::OpenDriver() {
    // A handle still held is closed first: the driver has one opener at a time.
    m_hBAR.reset();
    m_hBAR = platform::DriverHandle::Open("BAR1:");
    if (m_hBAR == nullptr) {
        WriteLog(u"INVALID_HANDLE_VALUE Error...\r\n");
        return 0;
    }
    m_frameNo.store(0);
    m_bSwitchedOn.store(0);
    m_bTriggerHigh.store(0);
    m_bLossReported.store(0);
    return 1;
}

int32_t ModuleControl::CloseDriver() {
    m_hBAR.reset();
    return 1;
}

int32_t ModuleControl::Request(uint32_t code, const void* in, uint32_t inSize, void* out,
                               uint32_t outSize) {
    if (m_hBAR == nullptr) return 0;
    const int32_t result = m_hBAR->IoControl(code, in, inSize, out, outSize);
    if (result == 0) (void)DeviceGone();
    return result;
}

bool ModuleControl::DeviceGone() {
    if (m_hBAR == nullptr || !m_hBAR->Lost()) return false;
    if (m_bLossReported.exchange(1) == 0 && m_onLost) m_onLost();
    return true;
}

int32_t ModuleControl::RequestValue(uint32_t code, uint32_t value) {
    const auto bytes = Value(value);
    return Request(code, bytes.data(), bytes.size(), nullptr, 0);
}

int32_t ModuleControl::QueryPower(int32_t* status) {
    if (m_hBAR == nullptr) return 0;
    if (UsesLineInterface()) {
        uint8_t level = 0;
        const int32_t result = GetLine(LINE_POWER, &level);
        *status = level;
        return result;
    }
    std::array<uint8_t, 4> out{};
    const int32_t result = Request(kBarGetPower, nullptr, 0, out.data(), out.size());
    *status = static_cast<int32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                   (static_cast<uint32_t>(out[3]) << 24));
    return result;
}

void ModuleControl::LogPowerQuery(int32_t status, int32_t result) {
    if (!UsesLineInterface()) {
        WriteLog(u"[BarcodeModuleGetPower] ...status : %d, m_hBAR : %x\r\n", status, m_hBAR.get());
    }
    WriteLog(u"[BarcodeModuleGetPower] ...bRes : %d\r\n", result);
}

int32_t ModuleControl::BarcodeModuleGetPower(int32_t* status) {
    if (m_hBAR == nullptr) return 0;
    int32_t power = 0;
    const int32_t result = QueryPower(&power);
    LogPowerQuery(power, result);
    if (status != nullptr) *status = power;
    return result;
}

int32_t ModuleControl::BarcodeModuleSetPower(int32_t level) {
    if (m_hBAR == nullptr) return 0;
    if (UsesLineInterface()) return SetLine(LINE_POWER, static_cast<uint32_t>(level));
    return RequestValue(kBarGetLineOrSetPower, static_cast<uint32_t>(level));
}

int32_t ModuleControl::SetModulePower(int32_t on) {
    int32_t status = 0;
    const int32_t result = BarcodeModuleGetPower(&status);
    if (result == 0) {
        // An open that fails here says why; with no driver open, its own
        // failure has said so already.
        if (m_hBAR != nullptr) {
            WriteLog(u"[SetModulePower] ...the driver did not answer\r\n");
            if (platform::LastFailureCode() == 0) {
                platform::SetLastFailure(EIO,
                                         "BAR1: the power-line driver refused the power query");
            }
        }
        return 0;
    }

    // What this object drove it also takes back, whatever the status input
    // says: a supply monitor that never came up, reads backwards or dropped
    // meanwhile would otherwise leave the engine powered once the lines are
    // released (most GPIO controllers keep a released output's level).
    const bool drove = m_bSwitchedOn.load() != 0 || m_bTriggerHigh.load() != 0;
    const bool switchOff = on == 0 && (status != 0 || drove);
    const bool switchOn = status == 0 && on != 0;
    if (!switchOff && !switchOn) return result;

    if (switchOff) {
        BarcodeModuleSetPower(0);
        SetTriggerLine(0);
        m_bSwitchedOn.store(0);
    } else {
        SetTriggerLine(1);
        BarcodeModuleSetPower(1);
        m_bSwitchedOn.store(1);
    }
    // An engine powered all the time stays as it is: waiting for it to
    // follow would only cost the poll limit and a false complaint.
    if (!m_hBAR->SwitchesLines()) return result;
    // The supply follows after a while. The polls pause between looks and
    // are bounded, so a driver that keeps answering with the old state can
    // neither hold the caller nor flood the driver and the log: a poll's
    // lines are written when its answer differs from the one before.
    const uint32_t started = platform::GetTickCount();
    int32_t lastStatus = status;
    int32_t lastResult = result;
    bool first = true;
    for (;;) {
        int32_t polled = 0;
        const int32_t answered = QueryPower(&polled);
        const bool changed = first || polled != lastStatus || answered != lastResult;
        first = false;
        lastStatus = polled;
        lastResult = answered;
        status = polled;
        if (changed) LogPowerQuery(polled, answered);
        if (answered == 0) return result;
        if (switchOff) {
            if (polled == 0) return result;
        } else if (polled == 1) {
            WriteLog(u"PW ON!!!\r\n");
            return result;
        } else if (changed) {
            WriteLog(u"PW Off!!!\r\n");
        }
        if (platform::GetTickCount() - started >= kPowerPollLimitMs) break;
        platform::Sleep(kPowerPollPauseMs);
    }
    WriteLog(u"[SetModulePower] ...power still %d, not %d, after %d ms\r\n", status,
             switchOn ? 1 : 0, kPowerPollLimitMs);
    platform::SetLastFailure(EIO, "BAR1: the engine's power is still " + std::to_string(status) +
                                      ", not " + std::to_string(switchOn ? 1 : 0) + ", after " +
                                      std::to_string(kPowerPollLimitMs) + " ms");
    return 0;
}

int32_t ModuleControl::PowerOffAfterFailedOpen() {
    if (m_bSwitchedOn.load() == 0) return 0;
    return SetModulePower(0);
}

void ModuleControl::SetTriggerLine(uint8_t level) {
    int32_t result;
    if (UsesLineInterface()) {
        result = SetLine(LINE_TRIGGER, level);
    } else {
        result = RequestValue(kBarSetTrigger, level != 0 ? 7 : 6);
    }
    if (result == 0) result = RequestValue(kBarSetLine, level != 0 ? 0 : 2);
    // A device that went away is reported as lost, not asked about.
    if (result == 0 && !DeviceGone()) {
        if (platform::LastFailureCode() == 0) {
            platform::SetLastFailure(EIO, "BAR1: the driver refused to set the trigger line");
        }
        // Nobody may be there to answer; the operation goes on as if it had worked.
        platform::ShowMessageBox(u"Barcode module pins controlled error!", u"ERROR",
                                 platform::kMbOkCancel);
    }
    m_bTriggerHigh.store(level != 0 ? 1 : 0);
    if (level != 0) platform::Sleep(kTriggerPauseMs);
}

int32_t ModuleControl::SetWakeLine(uint8_t level) {
    if (UsesLineInterface()) return SetLine(LINE_WAKE, level);
    return RequestValue(kBarSetWake, level != 0 ? 5 : 4);
}

void ModuleControl::WakePulse() {
    SetWakeLine(1);
    SetWakeLine(0);
    platform::Sleep(kWakePulseMs);
}

int32_t ModuleControl::SetLine(uint32_t id, uint32_t level) {
    const auto rec = LineRecord(id, level != 0 ? 1 : 0);
    return Request(kBarSetLine, rec.data(), rec.size(), nullptr, 0);
}

int32_t ModuleControl::GetLine(uint32_t id, uint8_t* level) {
    auto rec = LineRecord(id, 1);
    const int32_t result = Request(kBarGetLineOrSetPower, nullptr, 0, rec.data(), rec.size());
    if (level != nullptr) *level = rec[4];
    return result;
}

}  // namespace qv

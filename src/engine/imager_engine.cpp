#include "engine/imager_engine.h"

#include "engine/message_wait.h"
#include "log/write_log.h"
#include "platform/core/clock.h"
#include "platform/core/configuration.h"
#include "symbology/module_maintenance.h"
#include "symbology/settings_files.h"

namespace qv {

std::atomic<ImagerEngine*> m_RO25{nullptr};

namespace {

constexpr uint8_t kComPort = 2;
constexpr uint32_t kBaudRate = 57600;
constexpr uint8_t kByteSize = 8;
constexpr uint8_t kParityNone = 0;
constexpr uint8_t kOneStopBit = 0;
constexpr int kInitAttempts = 3;
constexpr uint32_t kOpenSettleMs = 300;
constexpr uint32_t kOpenEndMs = 200;

}  // namespace

ImagerEngine::ImagerEngine() {
    // Set before any of the engine's threads exists.
    m_module.SetLossHandler([this] { m_loss.DriverLost(); });
}

void ImagerEngine::SetReceiveWnd(QVHWND window) {
    m_delivery.SetReceiveWnd(window);
}

// Brings the engine object to its starting state: delivery options loaded,
// the engine marked active, the power watcher started.
void ImagerEngine::ResetEngineState() {
    m_bEngineOpen = 0;
    m_delivery.Reset();
    m_bActive = 1;
    // Started once the engine is marked active, so a suspend it sees at once
    // is not overwritten by that mark; it still runs before the driver opens.
    m_powerWatcher.Start();
}

// Opens the port and starts the reader; false when the port cannot be opened.
bool ImagerEngine::OpenLink(std::shared_ptr<const void> keepAlive) {
    m_serial.Configure(kComPort, kBaudRate, kByteSize, kOneStopBit, kParityNone);
    if (!m_serial.Open()) return false;
    m_serial.Purge();
    // The response event exists before the reader can post a reply.
    m_exchange.OpenResponses();
    if (!m_reader.Start(std::move(keepAlive))) {
        m_serial.PrepareClose();
        m_serial.Close();
        m_exchange.CloseResponses();
        return false;
    }
    return true;
}

// Powers the module and opens the serial link; its result becomes m_bEngineOpen.
int32_t ImagerEngine::OpenEngine(std::shared_ptr<const void> keepAlive) {
    // The platform reads its settings from the environment here, on the
    // opening thread, and never from the engine's own threads.
    platform::LoadConfiguration();
    ResetEngineState();
    int32_t result = 0;
    {
        // A resume seen by the watcher meanwhile waits until the supply is on.
        std::lock_guard lock(m_powerLock);
        result = m_module.OpenDriver();
        if (result != 0) result = m_module.SetModulePower(1);
    }
    if (result != 0) {
        m_module.SetWakeLine(0);
        // An imager without its serial link could do nothing but fail every
        // command, so the open fails instead of reporting success.
        if (!OpenLink(std::move(keepAlive))) result = 0;
    }
    if (result == 0) {
        std::lock_guard lock(m_powerLock);
        m_module.PowerOffAfterFailedOpen();
        m_module.CloseDriver();
    }
    m_bEngineOpen = result;
    return result;
}

// Records stored by earlier sessions are applied; their results do not
// change the outcome of the open.
void ImagerEngine::ApplyStoredSettings() {
    SymbologyOperations operations = Symbology();
    EnableRecord enable{};
    if (LoadEnableSetting(enable)) operations.WriteEnableSetting(enable);
    DetailRecord detail{};
    if (LoadDetailSetting(detail)) operations.WriteDetailSetting(detail);
    OtherRecord other{};
    if (LoadOtherSetting(other)) operations.WriteOtherSetting(other);
}

int32_t ImagerEngine::Open(std::shared_ptr<const void> keepAlive) {
    if (OpenEngine(std::move(keepAlive)) == 0) return -1;
    PumpMessagesKeepingQuit(kOpenSettleMs);
    WriteLog(u"Check init\r\n");
    bool initialised = false;
    for (int attempt = 0; attempt < kInitAttempts && !initialised; ++attempt) {
        initialised = IsInit(m_exchange) != 0;
    }
    WriteLog(u"Check module\r\n");
    if (!initialised) InitModule(m_exchange);
    ApplyStoredSettings();
    m_module.SetTriggerLine(1);
    platform::Sleep(kOpenEndMs);
    return 1;
}

void ImagerEngine::Close() {
    const bool portOpen = m_serial.IsOpen() != 0;
    if (portOpen) m_serial.PrepareClose();
    const bool readerEnded = m_reader.Stop();
    if (portOpen) m_serial.Close();
    // A reader left behind may still post a reply when it comes back; the
    // event goes with the engine object it keeps alive.
    if (readerEnded) m_exchange.CloseResponses();
    m_options.SavePrefixAndSuffix();
    m_powerWatcher.Stop();
    std::lock_guard lock(m_powerLock);
    m_module.SetModulePower(0);
    m_module.CloseDriver();
}

void ImagerEngine::StartScan(BarcodeCallback callback) {
    // Recorded before the trigger is asserted, so the barcode finds it.
    m_delivery.UseCallback(callback);
    if (callback == nullptr) WriteLog(u"START SCAN\r\n");
    // Trigger released then asserted: a fresh edge starts the engine's decode.
    // The line is not purged: a barcode already on its way (one the engine
    // decoded while the callback that starts this scan ran) is the
    // application's, and the reader frames whatever else lies there.
    m_module.SetTriggerLine(1);
    m_module.SetTriggerLine(0);
}

void ImagerEngine::StopScan() {
    WriteLog(u"STOP SCAN\r\n");
    m_module.SetTriggerLine(1);
}

}  // namespace qv

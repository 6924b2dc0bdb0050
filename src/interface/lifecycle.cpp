#include "interface/lifecycle.h"

#include <algorithm>

#include "engine/write_log.h"
#include "link/reader_thread.h"
#include "platform/clock.h"
#include "platform/configuration.h"
#include "platform/message.h"
#include "power/power_watcher.h"
#include "symbology/module_maintenance.h"
#include "symbology/settings_files.h"
#include "symbology/settings_operations.h"

namespace qv {
namespace {

constexpr uint8_t kComPort = 2;
constexpr uint32_t kBaudRate = 57600;
constexpr uint8_t kByteSize = 8;
constexpr uint8_t kParityNone = 0;
constexpr uint8_t kOneStopBit = 0;
constexpr int kHighestPriority = 0;
constexpr uint32_t kReaderStopMs = 1000;
constexpr int kInitAttempts = 3;

// Opens the port and starts the reader; false when the port cannot be opened.
bool OpenLink(ImagerEngine& engine) {
    engine.m_serial.Configure(kComPort, kBaudRate, kByteSize, kOneStopBit, kParityNone);
    if (!engine.m_serial.Open()) return false;
    engine.m_serial.Purge();
    engine.m_hStopEvent = std::make_unique<platform::Event>();
    // The response event exists before the reader can store a reply.
    engine.m_hRespEvent = std::make_unique<platform::Event>();
    ImagerEngine* target = &engine;
    if (!engine.m_hComThread.Start([target] { ThreadComProc(target); })) {
        engine.m_serial.PrepareClose();
        engine.m_serial.Close();
        engine.m_hStopEvent.reset();
        engine.m_hRespEvent.reset();
        return false;
    }
    engine.m_hComThread.SetPriority(kHighestPriority);
    return true;
}

void StopReader(ImagerEngine& engine) {
    if (!engine.m_hComThread.IsStarted()) return;
    // The reader uses the engine object and the port until it returns, so
    // it is waited for however long it takes; it is never abandoned.
    if (!engine.m_hComThread.WaitFor(kReaderStopMs)) {
        WriteLog(u"ThreadComProc has not ended after %d ms; still waiting\r\n", kReaderStopMs);
    }
    engine.m_hComThread.Join();
}

}  // namespace

void PumpMessagesFor(uint32_t milliseconds) {
    const uint32_t start = platform::GetTickCount();
    for (;;) {
        platform::Message msg{};
        while (platform::PeekMessage(&msg, nullptr, true)) {
            platform::TranslateMessage(msg);
            platform::DispatchMessage(msg);
        }
        const uint32_t elapsed = platform::GetTickCount() - start;
        if (elapsed >= milliseconds) break;
        platform::WaitForMessages(milliseconds - elapsed);
    }
}

void ResetEngineState(ImagerEngine& engine) {
    StartPowerWatcher(engine);
    engine.m_bEngineOpen = 0;
    engine.m_hWnd = nullptr;
    engine.m_hRespEvent.reset();
    engine.m_delayMs = 1;
    engine.m_delayMode = 3;
    engine.m_options.LoadPrefix();
    engine.m_options.LoadSuffix();
    engine.m_options.LoadReceiveType();
    engine.m_options.LoadSound();
    engine.m_bLedBusy = 0;
    engine.m_bModelLedBusy = 0;
    engine.m_recvType = 0;
    engine.m_bActive = 1;
    std::fill(std::begin(engine.m_recvData), std::end(engine.m_recvData), uint8_t{0});
    engine.m_recvLen = 0;
    engine.m_bPasteClipboard = DeliveryOptions::LoadPasteClipboard();
}

int32_t OpenEngine(ImagerEngine& engine) {
    // The platform reads its settings from the environment here, on the
    // opening thread, and never from the engine's own threads.
    platform::LoadConfiguration();
    ResetEngineState(engine);
    int32_t result = engine.m_module.OpenDriver();
    if (result != 0) result = engine.m_module.SetModulePower(1);
    if (result != 0) {
        engine.m_module.SetWakeLine(0);
        // An imager without its serial link could do nothing but fail every
        // command, so the open fails instead of reporting success.
        if (!OpenLink(engine)) result = 0;
    }
    if (result == 0) {
        engine.m_module.SetModulePower(0);
        engine.m_module.CloseDriver();
    }
    engine.m_bEngineOpen = result;
    return result;
}

int32_t OpenImager(ImagerEngine& engine) {
    if (OpenEngine(engine) == 0) return -1;
    PumpMessagesFor(300);
    WriteLog(u"Check init\r\n");
    bool initialised = false;
    for (int attempt = 0; attempt < kInitAttempts && !initialised; ++attempt) {
        initialised = IsInit(engine) != 0;
    }
    WriteLog(u"Check module\r\n");
    if (!initialised) InitModule(engine);

    // Records stored by earlier sessions are applied; their results do not
    // change the outcome of the open.
    EnableRecord enable{};
    if (LoadEnableSetting(enable)) WriteEnableSetting(engine, enable);
    DetailRecord detail{};
    if (LoadDetailSetting(detail)) WriteDetailSetting(engine, detail);
    OtherRecord other{};
    if (LoadOtherSetting(other)) WriteOtherSetting(engine, other);

    engine.m_module.SetTriggerLine(1);
    platform::Sleep(200);
    return 1;
}

void CloseEngine(ImagerEngine& engine) {
    const bool portOpen = engine.m_serial.IsOpen() != 0;
    if (portOpen) engine.m_serial.PrepareClose();
    engine.m_bIdle = 1;
    if (engine.m_hStopEvent) engine.m_hStopEvent->Set();
    StopReader(engine);
    engine.m_hStopEvent.reset();
    if (portOpen) engine.m_serial.Close();
    engine.m_hRespEvent.reset();
    engine.m_options.SavePrefix();
    engine.m_options.SaveSuffix();
    StopPowerWatcher(engine);
    engine.m_module.SetModulePower(0);
    engine.m_module.CloseDriver();
}

}  // namespace qv

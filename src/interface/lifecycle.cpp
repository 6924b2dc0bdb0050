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
    // The reader keeps a shared engine alive until it returns, so a reader
    // that a close had to leave in the application's callback still finds
    // its engine object when the callback comes back.
    ImagerEngine* target = &engine;
    if (!engine.m_hComThread.Start(
            [keep = engine.m_self.lock(), target] { ThreadComProc(target); })) {
        engine.m_serial.PrepareClose();
        engine.m_serial.Close();
        engine.m_hStopEvent.reset();
        engine.m_hRespEvent.reset();
        return false;
    }
    engine.m_hComThread.SetPriority(kHighestPriority);
    return true;
}

// Waits for the reader to end, at most kReaderStopMs while it can be
// reached, handling what other threads send to this one (a callback that
// sends to the closing thread would otherwise never return). True when the
// reader has ended and is joined; false when it is still inside the
// application's code and is left to finish on its own.
bool StopReader(ImagerEngine& engine) {
    if (!engine.m_hComThread.IsStarted()) return true;
    ReaderGate& gate = engine.m_readerGate;
    const auto ended = [&gate] { return gate.HasEnded(); };
    if (!platform::WaitHandlingSentMessages(ended, kReaderStopMs)) {
        // Only a reader that keeps its engine alive can be left behind; one
        // that does not is waited for, however long it takes.
        const bool canLeave = !engine.m_self.expired();
        WriteLog(u"ThreadComProc has not ended after %d ms\r\n", kReaderStopMs);
        for (;;) {
            // Outside the application's code the reader is bounded (its
            // pauses end on the stop), so it is waited for until it ends or
            // enters the application's code.
            (void)platform::WaitHandlingSentMessages(
                [&gate, canLeave] {
                    return gate.HasEnded() || (canLeave && gate.IsInApplication());
                },
                platform::kInfinite);
            if (gate.HasEnded()) break;
            if (gate.LeaveBehind()) {
                WriteLog(
                    u"ThreadComProc is still in the application's code; closing without "
                    u"it, it ends when that code returns\r\n");
                return false;
            }
        }
    }
    engine.m_hComThread.Join();
    return true;
}

}  // namespace

void PumpMessagesFor(uint32_t milliseconds) {
    const uint32_t start = platform::GetTickCount();
    // A quit message is the application's: it is taken out of the way of
    // this wait and posted again at its end for the application's own loop.
    bool quit = false;
    int32_t exitCode = 0;
    for (;;) {
        platform::Message msg{};
        while (platform::PeekMessage(&msg, nullptr, true)) {
            if (msg.message == QV_WM_QUIT) {
                quit = true;
                exitCode = static_cast<int32_t>(msg.wParam);
                continue;
            }
            platform::TranslateMessage(msg);
            platform::DispatchMessage(msg);
        }
        const uint32_t elapsed = platform::GetTickCount() - start;
        if (elapsed >= milliseconds) break;
        platform::WaitForMessages(milliseconds - elapsed);
    }
    if (quit) platform::PostQuitMessage(exitCode);
}

void ResetEngineState(ImagerEngine& engine) {
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
    // Started once the engine is marked active, so a suspend it sees at once
    // is not overwritten by that mark; it still runs before the driver opens.
    StartPowerWatcher(engine);
}

int32_t OpenEngine(ImagerEngine& engine) {
    // The platform reads its settings from the environment here, on the
    // opening thread, and never from the engine's own threads.
    platform::LoadConfiguration();
    ResetEngineState(engine);
    int32_t result = 0;
    {
        // A resume seen by the watcher meanwhile waits until the supply is on.
        std::lock_guard lock(engine.m_powerLock);
        result = engine.m_module.OpenDriver();
        if (result != 0) result = engine.m_module.SetModulePower(1);
    }
    if (result != 0) {
        engine.m_module.SetWakeLine(0);
        // An imager without its serial link could do nothing but fail every
        // command, so the open fails instead of reporting success.
        if (!OpenLink(engine)) result = 0;
    }
    if (result == 0) {
        std::lock_guard lock(engine.m_powerLock);
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
    // Ends the reader's pauses too (key-stroke delays, settle wait, LEDs).
    engine.m_readerGate.RequestStop();
    if (engine.m_hStopEvent) engine.m_hStopEvent->Set();
    const bool readerEnded = StopReader(engine);
    // A reader left behind may still look at the events when it comes back;
    // they go with the engine object it keeps alive.
    if (readerEnded) engine.m_hStopEvent.reset();
    if (portOpen) engine.m_serial.Close();
    if (readerEnded) engine.m_hRespEvent.reset();
    engine.m_options.SavePrefixAndSuffix();
    StopPowerWatcher(engine);
    std::lock_guard lock(engine.m_powerLock);
    engine.m_module.SetModulePower(0);
    engine.m_module.CloseDriver();
}

}  // namespace qv

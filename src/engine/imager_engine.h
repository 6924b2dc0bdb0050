// The one engine object behind the exports, and the process-wide items
// that outlive it.
//
// Flags shared between the application's thread, the reader and the power
// watcher are std::atomic<int32_t>: whole-word loads and stores, as the
// design relies on, without data races.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "QV_Rizoviv2I_RO25.h"
#include "delivery/delivery_options.h"
#include "engine/reader_gate.h"
#include "link/serial_port.h"
#include "platform/event.h"
#include "platform/power_notify.h"
#include "platform/thread.h"
#include "power/module_control.h"
#include "symbology/symbology_settings.h"

namespace qv {

inline constexpr size_t kFrameBufferSize = 1024;
inline constexpr size_t kTextUnits = 1024;
inline constexpr size_t kPathUnits = 512;

class ImagerEngine {
  public:
    ImagerEngine();
    ~ImagerEngine();
    ImagerEngine(const ImagerEngine&) = delete;
    ImagerEngine& operator=(const ImagerEngine&) = delete;

    // Exports act only while this holds: open, and the device not suspended.
    bool IsUsable() const { return m_bActive.load() == 1 && m_bEngineOpen.load() != 0; }

    // Stores the window that receives barcode messages; null stops them.
    void SetReceiveWnd(QVHWND window);

    uint8_t m_sendBuf[kFrameBufferSize] = {};
    // Building and writing a frame is one step under this lock, so a command
    // of the application's thread and an acknowledgement of the reader never
    // mix in m_sendBuf or on the line. The wait for the reply is outside it.
    std::mutex m_sendLock;
    std::unique_ptr<platform::Event> m_hStopEvent;
    platform::Thread m_hComThread;
    // Where the reader stands, for a close that cannot wait for it for ever.
    ReaderGate m_readerGate;
    std::atomic<int32_t> m_bIdle{0};
    std::atomic<int32_t> m_bActive{0};
    std::atomic<int32_t> m_bUseCallback{0};
    std::unique_ptr<platform::Event> m_hRespEvent;
    ModuleControl m_module;
    // Held while the module's supply is switched by the open or by the power
    // watcher's resume, so the two never drive the driver at once.
    std::mutex m_powerLock;
    DeliveryOptions m_options;
    SerialPort m_serial;
    platform::Thread m_hPowerThread;
    std::atomic<int32_t> m_bStopPowerThread{0};
    // Guards m_hPowerNotify between the watcher, which owns the subscription,
    // and the closer, which ends it to release the watcher's read.
    std::mutex m_powerNotifyLock;
    platform::PowerNotifications* m_hPowerNotify = nullptr;
    std::atomic<int32_t> m_bEngineOpen{0};
    std::atomic<int32_t> m_recvType{0};
    std::atomic<QVHWND> m_hWnd{nullptr};
    // Guards the reply store: the reader fills it and sets m_hRespEvent in
    // one step; a command clears it before writing and copies it after.
    std::mutex m_recvLock;
    uint8_t m_recvData[kFrameBufferSize] = {};
    std::atomic<int32_t> m_recvLen{0};
    SymbologySettings m_settings;
    std::atomic<int32_t> m_bUseSuccessSound{0};
    std::atomic<int32_t> m_bUseFailSound{0};
    std::atomic<int32_t> m_successSoundType{0};
    std::atomic<int32_t> m_failSoundType{0};
    std::atomic<int32_t> m_bLedBusy{0};
    std::atomic<int32_t> m_bModelLedBusy{0};
    std::atomic<int32_t> m_delayMode{0};
    std::atomic<int32_t> m_delayMs{0};
    std::atomic<int32_t> m_bPasteClipboard{0};

    // Set when the engine is owned shared (as QVImagerOpen creates it): the
    // reader then holds the engine alive, so a close that has to leave a
    // reader behind in the application's code frees nothing it still uses.
    std::weak_ptr<ImagerEngine> m_self;

    // LED flash workers of barcode delivery. Declared last, so destroying the
    // engine joins them before the busy flags they clear go away.
    platform::Thread m_ledWorker;
    platform::Thread m_modelLedWorker;
};

// The current engine object; null when none exists.
extern std::atomic<ImagerEngine*> m_RO25;

// Text of the last decoded barcode, handed to the application by address.
extern char16_t g_barcodeText[kTextUnits];
// Callback named by the last scan start that named one.
extern std::atomic<BarcodeCallback> g_pfnBarcodeCallback;
extern char16_t g_successSoundPath[kPathUnits];
extern char16_t g_failSoundPath[kPathUnits];

}  // namespace qv

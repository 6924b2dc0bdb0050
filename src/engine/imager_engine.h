// The one engine object behind the exports. It owns the subsystems, wires
// each to the narrow peers it needs when it is built, brings them up in
// open and takes them down in close. No subsystem sees the engine.
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
#include "delivery/barcode_delivery.h"
#include "delivery/delivery_options.h"
#include "engine/device_loss.h"
#include "link/command_exchange.h"
#include "link/reader_actions.h"
#include "link/reader_gate.h"
#include "link/reader_thread.h"
#include "link/serial_port.h"
#include "power/module_control.h"
#include "power/power_watcher.h"
#include "symbology/settings_operations.h"
#include "symbology/symbology_settings.h"

namespace qv {

class ImagerEngine {
  public:
    ImagerEngine();
    ImagerEngine(const ImagerEngine&) = delete;
    ImagerEngine& operator=(const ImagerEngine&) = delete;

    // Exports act only while this holds: open, the device not suspended, and
    // the engine's devices still there.
    bool IsUsable() const {
        return m_bActive.load() == 1 && m_bEngineOpen.load() != 0 && m_bDeviceLost.load() == 0;
    }

    // Everything QVImagerOpen does once the engine object exists: power,
    // link, the engine's initialisation and the stored settings; 1 or -1.
    // With `keepAlive` (the engine's own shared owner) the reader holds the
    // engine, so a close can leave it behind in the application's code.
    int32_t Open(std::shared_ptr<const void> keepAlive);
    // Takes down in order what Open brought up.
    void Close();

    // Stores the window that receives barcode messages; null stops them.
    void SetReceiveWnd(QVHWND window);
    // A fresh trigger edge that starts the engine's decode; the callback
    // (or, when null, window messages) receives the barcode.
    void StartScan(BarcodeCallback callback);
    void StopScan();

    BarcodeDelivery& Delivery() { return m_delivery; }
    DeliveryOptions& Options() { return m_options; }
    CommandPort& Commands() { return m_exchange; }
    SymbologyOperations Symbology() { return SymbologyOperations(m_settings, m_exchange); }

    std::atomic<int32_t> m_bActive{0};
    std::atomic<int32_t> m_bEngineOpen{0};
    // 1 once the serial line or the power driver's device went away.
    std::atomic<int32_t> m_bDeviceLost{0};

  private:
    // Delivery releases the trigger through the module.
    class ModuleTrigger final : public TriggerLine {
      public:
        explicit ModuleTrigger(ModuleControl& module) : m_module(module) {}
        void SetTriggerLine(uint8_t level) override { m_module.SetTriggerLine(level); }

      private:
        ModuleControl& m_module;
    };

    void ResetEngineState();
    int32_t OpenEngine(std::shared_ptr<const void> keepAlive);
    bool OpenLink(std::shared_ptr<const void> keepAlive);
    void ApplyStoredSettings();

    ModuleControl m_module;
    // Held while the module's supply is switched by the open or by the power
    // watcher's resume, so the two never drive the driver at once.
    std::mutex m_powerLock;
    DeliveryOptions m_options;
    SerialPort m_serial;
    SymbologySettings m_settings;
    // Where the reader stands, for a close that cannot wait for it for ever.
    ReaderGate m_readerGate;
    ModuleTrigger m_trigger{m_module};
    CommandExchange m_exchange{m_serial, m_module};
    BarcodeDelivery m_delivery{m_options, m_trigger, m_readerGate, m_module.m_modelClass};
    DeviceLoss m_loss{m_bDeviceLost, m_exchange, m_delivery};
    ReaderActions m_linkActions{m_exchange, m_readerGate, m_delivery, m_loss};
    // The reader and the watcher come last: destroying the engine joins them
    // before anything they use goes. Delivery's LED workers use only the
    // gate and delivery's own flags, and are joined with the delivery.
    PowerWatcher m_powerWatcher{m_module, m_powerLock, m_bActive};
    ReaderThread m_reader{m_serial, m_readerGate, m_linkActions, m_bActive};
};

// The current engine object; null when none exists.
extern std::atomic<ImagerEngine*> m_RO25;

}  // namespace qv

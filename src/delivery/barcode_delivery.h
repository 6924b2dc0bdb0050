// Hands a decoded barcode to the application: trigger release, good-read
// notification, code-ID to symbology number, and the active receive type
// (window message or callback, key strokes, clipboard).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "QV_Rizoviv2I_RO25.h"
#include "delivery/process_items.h"
#include "link/reader_actions.h"
#include "platform/core/thread.h"

namespace qv {

class DeliveryOptions;
class ReaderGate;

inline constexpr uint32_t kWmActivate = 0x0006;
inline constexpr uint32_t kWmDrawClipboard = 0x0308;
inline constexpr std::u16string_view kShellWindowClass = u"TSSHELLWND";
inline constexpr uint32_t kSuccessSoundFlags = 0x00020001;  // file name, asynchronous
inline constexpr uint32_t kLedFlashMs = 300;
inline constexpr uint32_t kModelLedFlashMs = 400;
// The longest pause between two typed characters, for every mode that takes
// a value (4 and above): one second. A longer one would hold the reader,
// and with it the next barcode and a close, for no use a person would want.
inline constexpr int32_t kMaxDelayMs = 1000;
// How long the clipboard-change broadcast waits for a window whose thread
// does not take it, so a busy or blocked application cannot hold the reader
// (and a close that waits for the reader) for ever.
inline constexpr uint32_t kBroadcastWaitMs = 5000;

// The engine's trigger line, which a delivered barcode releases.
class TriggerLine {
  public:
    virtual ~TriggerLine() = default;
    virtual void SetTriggerLine(uint8_t level) = 0;
};

// The symbology number of an engine code-ID character, 0 for none.
int32_t CodeIdToSymbology(uint8_t codeId);

struct KeyStroke {
    uint8_t virtualKey;
    bool shift;
    bool operator==(const KeyStroke&) const = default;
};

// The key (and whether Shift is held) that types a payload byte; nothing for
// bytes 0x80 to 0xFF, which cannot be typed.
std::optional<KeyStroke> CharToVirtualKey(uint8_t c);

// The delay that mode and value give: 0, 100, 10 or 1 ms for modes 0 to 3,
// the value limited to 0..kMaxDelayMs for mode 4 and any other mode.
int32_t DelayForMode(int32_t mode, int32_t value);
// What the delay getter reports: 0, 100, 10 or 1 for modes 0 to 3, else the delay.
int32_t EffectiveDelay(int32_t mode, int32_t delayMs);

void SetLed(uint32_t number, int32_t state);

class BarcodeDelivery final : public BarcodeSink {
  public:
    // Frames text with the prefix and suffix of `options`, releases
    // `trigger` for each barcode, and pauses (and tells a closer that it
    // runs the application's code) through `gate`. Model class 4 flashes
    // LED 3 on every barcode.
    BarcodeDelivery(DeliveryOptions& options, TriggerLine& trigger, ReaderGate& gate,
                    int32_t modelClass);
    BarcodeDelivery(const BarcodeDelivery&) = delete;
    BarcodeDelivery& operator=(const BarcodeDelivery&) = delete;

    // The state an open starts from: no window, delay mode 3 (1 ms), window
    // messages, options and paste flag loaded from the registry.
    void Reset();

    // Stores the window that receives barcode messages; null stops them.
    void SetReceiveWnd(QVHWND window);
    // Recorded by a scan start before the trigger is asserted, so the
    // barcode finds it; null delivers by window message.
    void UseCallback(BarcodeCallback callback);
    // The type in effect and the stored one, which is written to the registry.
    void SetReceiveType(int32_t type);
    // which 1: good read, any other: failed read; the stored type is written.
    void SetSoundType(int32_t which, int32_t type);
    // Also writes the delay to the registry.
    void SetDelay(int32_t mode, int32_t value);
    void GetDelay(int32_t* mode, int32_t* value) const;

    // Called on the reader thread with the BARCODE_DATA payload (code-ID
    // character first, then the text in the device's ANSI code page), 1..1024 bytes.
    void DeliverBarcode(const uint8_t* payload, int32_t n) override;
    // Posts WM_IMAGER_DEVICE_LOST to the receive window, if one is set.
    void DeviceLost() override;

    // The steps of a delivery, each usable on its own.
    // By virtual key through the stand-in; on a keyboard of the system, the
    // character the byte is in the ANSI code page, with its layout's keys.
    void TypeCharacter(uint8_t c);
    void TypeText(std::span<const uint8_t> text);
    void SendAffix(uint8_t first, uint8_t second);
    void PauseIfShellInFront();
    // Start the LED 0 (300 ms) or LED 3 (400 ms) flash on a worker, unless one
    // runs on that LED already. The workers are joined when this goes.
    void FlashLed();
    void FlashModelLed();

    std::atomic<int32_t> m_bUseCallback{0};
    std::atomic<int32_t> m_recvType{0};
    std::atomic<QVHWND> m_hWnd{nullptr};
    std::atomic<int32_t> m_bUseSuccessSound{0};
    std::atomic<int32_t> m_bUseFailSound{0};
    std::atomic<int32_t> m_successSoundType{0};
    std::atomic<int32_t> m_failSoundType{0};
    std::atomic<int32_t> m_bLedBusy{0};
    std::atomic<int32_t> m_bModelLedBusy{0};
    std::atomic<int32_t> m_delayMode{0};
    std::atomic<int32_t> m_delayMs{0};
    std::atomic<int32_t> m_bPasteClipboard{0};
    // LED flash workers. Declared after the busy flags, so destroying the
    // delivery joins them before the flags they clear go away.
    platform::Thread m_ledWorker;
    platform::Thread m_modelLedWorker;

  private:
    void Pause();
    void TypeAffixCharacter(uint8_t c);
    void StartFlash(platform::Thread& worker, std::atomic<int32_t>& busy, uint32_t led,
                    uint32_t ms);

    // The text the callback is handed.
    char16_t m_callbackText[kTextUnits] = {};
    DeliveryOptions& m_options;
    TriggerLine& m_trigger;
    ReaderGate& m_gate;
    const int32_t m_modelClass;
};

}  // namespace qv

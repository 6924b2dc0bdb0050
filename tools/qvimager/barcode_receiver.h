// The application side of a scan: a window of this program created through
// the platform's C interface, its message loop, and the four ways the
// library hands a barcode over. Everything waits on the window's message
// queue with a deadline; Ctrl-C posts to it, so a wait ends at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform.h"
#include "command_line.h"
#include "key_strokes.h"
#include "os/interrupt_watch.h"

namespace qv::cli {

struct ReceivedBarcode {
    int32_t symbology = 0;        // message and callback
    std::u16string text;          // keyboard: the characters the keys typed
    std::vector<KeyStroke> keys;  // keyboard and clipboard: the recorded key strokes
};

class BarcodeReceiver {
  public:
    enum class Outcome { Barcode, Interrupted, TimedOut, DeviceLost };

    BarcodeReceiver(ReceiveMode mode, os::InterruptWatch& watch);
    ~BarcodeReceiver();
    BarcodeReceiver(const BarcodeReceiver&) = delete;
    BarcodeReceiver& operator=(const BarcodeReceiver&) = delete;

    QVHWND Window() const { return m_window; }
    // What QVImagerScanStart takes: the callback in callback mode, else null.
    BarcodeCallback Callback() const;

    // Call before each scan start: forgets what earlier deliveries left.
    void Arm();
    // Waits for the next barcode; 0 ms waits for ever.
    Outcome Wait(uint32_t timeoutMs, ReceivedBarcode& barcode);
    // Whether the library said the engine's device went away (after it, every
    // export but open and close fails).
    bool DeviceLost();

  private:
    using Clock = std::chrono::steady_clock;

    static intptr_t WindowProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    static void OnCallback(int32_t symbology, const char16_t* text);
    void Pump();
    // Reads new lines of the platform's record of key strokes and clipboard use.
    void ReadRecord(Clock::time_point now);
    bool TakeReady(Clock::time_point now, ReceivedBarcode& barcode);

    ReceiveMode m_mode;
    os::InterruptWatch& m_watch;
    QVHWND m_window = nullptr;

    std::mutex m_mutex;  // the callback runs on the library's reader thread
    std::deque<ReceivedBarcode> m_ready;

    // Keyboard and clipboard: a delivery is a burst of effects, taken as
    // complete once they stop for a moment.
    uint32_t m_recordCursor = 0;
    std::vector<KeyStroke> m_keys;
    std::u16string m_typed;
    bool m_sawClipboard = false;
    // Set by the library's WM_IMAGER_DEVICE_LOST: the engine is gone.
    bool m_deviceLost = false;
    std::optional<Clock::time_point> m_lastEffect;
};

// Text handed over by the library: zero-terminated, at most 1024 units.
std::u16string CopyBarcodeText(const char16_t* text);

}  // namespace qv::cli

// Hands a decoded barcode to the application: trigger release, good-read
// notification, code-ID to symbology number, and the active receive type
// (window message or callback, key strokes, clipboard).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

class ImagerEngine;

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

// Called on the reader thread with the BARCODE_DATA payload (code-ID
// character first, then the text in the device's ANSI code page), 1..1024 bytes.
void DeliverBarcode(ImagerEngine& engine, const uint8_t* payload, int32_t n);

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

// The delay behind QVImagerSetDelay (which also writes it to the registry)
// and QVImagerGetDelay.
void SetDelay(ImagerEngine& engine, int32_t mode, int32_t value);
void GetDelay(const ImagerEngine& engine, int32_t* mode, int32_t* value);

// The process-wide sound paths, which the reader reads while the
// application may change them. which 1: good read, any other: failed read.
void SetProcessSoundPath(int32_t which, std::u16string_view path);
// Copies the path with its terminator into `out`, which holds 512 units.
void CopyProcessSoundPath(int32_t which, char16_t* out);

// The steps of a delivery, each usable on its own.
void TypeCharacter(ImagerEngine& engine, uint8_t c);
void SendAffix(ImagerEngine& engine, uint8_t first, uint8_t second);
void ActivateShellWindow();
void PauseIfShellInFront(ImagerEngine& engine);
void BroadcastClipboardChange();
void PlaySuccessSound();
// Start the LED 0 (300 ms) or LED 3 (400 ms) flash on a worker, unless one
// runs on that LED already. The engine owns the workers and joins them when
// it is destroyed.
void FlashLed(ImagerEngine& engine);
void FlashModelLed(ImagerEngine& engine);
void SetLed(uint32_t number, int32_t state);

}  // namespace qv

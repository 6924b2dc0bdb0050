#include "delivery/barcode_delivery.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <span>

#include "delivery/delivery_options.h"
#include "delivery/process_items.h"
#include "link/reader_gate.h"
#include "log/write_log.h"
#include "platform/core/clock.h"
#include "platform/keyboard/keyboard.h"
#include "platform/led/led.h"
#include "platform/sound/sound.h"
#include "platform/text/text_conversion.h"
#include "platform/text/utf.h"
#include "platform/windows/clipboard.h"
#include "platform/windows/message.h"
#include "platform/windows/window.h"
#include "symbology/symbology_table.h"

namespace qv {
namespace {

constexpr size_t kPayloadBytes = 1024;
constexpr int32_t kLedCycleUs = 10000000;

void KeyDown(uint8_t vk, uint8_t scan = 0) {
    platform::KeybdEvent(vk, scan, platform::kKeyEventSilent);
}
void KeyUp(uint8_t vk) {
    platform::KeybdEvent(vk, 0, platform::kKeyEventKeyUp);
}

QVHWND ShellInFront() {
    QVHWND shell = platform::FindWindow(kShellWindowClass);
    return shell != nullptr && shell == platform::GetForegroundWindow() ? shell : nullptr;
}

void SendCtrlV() {
    const auto scan = [](uint8_t vk) {
        return static_cast<uint8_t>(platform::MapVirtualKey(vk, platform::kMapVkToScan));
    };
    constexpr uint32_t kSilentUp = platform::kKeyEventSilent | platform::kKeyEventKeyUp;
    platform::KeybdEvent(platform::kVkControl, scan(platform::kVkControl),
                         platform::kKeyEventSilent);
    platform::KeybdEvent(0x56, scan(0x56), platform::kKeyEventSilent);
    platform::KeybdEvent(0x56, scan(0x56), kSilentUp);
    platform::KeybdEvent(platform::kVkControl, scan(platform::kVkControl), kSilentUp);
}

// Puts the text on the clipboard in a block of 2 x n + 1 bytes (the n - 1
// text bytes and the terminator as UTF-16). The clipboard keeps the block
// once it accepts it; a refused block is freed here.
void FillClipboard(std::span<const uint8_t> text, int32_t n) {
    const bool opened = platform::OpenClipboard();
    if (opened) platform::EmptyClipboard();
    auto block = platform::MemoryBlock::Allocate(2 * static_cast<size_t>(n) + 1);
    if (block) {
        platform::AnsiToUtf16(text, block->Units(), block->Size() / 2);
        platform::SetClipboardData(platform::kClipboardUnicodeText, block);
    }
    if (opened) platform::CloseClipboard();
}

void ActivateShellWindow() {
    QVHWND shell = ShellInFront();
    if (shell == nullptr) return;
    if (platform::PostMessage(shell, kWmActivate, 1, 0)) {
        WriteLog(u"WM_ACTIVATE POSTMESSAE SUCCESS\r\n");
    } else {
        WriteLog(u"WM_ACTIVATE POSTMESSAE FAIL\r\n");
    }
}

void BroadcastClipboardChange() {
    if (platform::FindWindow(kShellWindowClass) == nullptr) return;
    if (!platform::SendMessageTimeout(platform::BroadcastWindow(), kWmDrawClipboard, 0, 0,
                                      kBroadcastWaitMs)) {
        WriteLog(u"WM_DRAWCLIPBOARD not handled by every window within %d ms\r\n",
                 kBroadcastWaitMs);
    }
}

void PlaySuccessSound() {
    char16_t path[kPathUnits];
    CopyProcessSoundPath(1, path);
    platform::PlaySound(path, kSuccessSoundFlags);
}

}  // namespace

int32_t CodeIdToSymbology(uint8_t codeId) {
    return SymbologyOfCodeId(codeId);
}

std::optional<KeyStroke> CharToVirtualKey(uint8_t c) {
    if (c >= 0x80) return std::nullopt;
    if (c >= 0x30 && c <= 0x39) return KeyStroke{c, false};
    if (c >= 0x41 && c <= 0x5A) return KeyStroke{c, true};
    if (c >= 0x61 && c <= 0x7A) return KeyStroke{static_cast<uint8_t>(c - 0x20), false};
    if (c <= 0x1F || c == 0x7F) return KeyStroke{c, false};
    struct Punctuation {
        uint8_t c;
        uint8_t vk;
        bool shift;
    };
    static constexpr std::array<Punctuation, 33> kPunctuation{{
        {0x20, 0x20, false}, {0x21, 0x31, true},  {0x40, 0x32, true}, {0x23, 0x33, true},
        {0x24, 0x34, true},  {0x25, 0x35, true},  {0x5E, 0x36, true}, {0x26, 0x37, true},
        {0x2A, 0x38, true},  {0x28, 0x39, true},  {0x29, 0x30, true}, {0x3B, 0xBA, false},
        {0x3A, 0xBA, true},  {0x3D, 0xBB, false}, {0x2B, 0xBB, true}, {0x2C, 0xBC, false},
        {0x3C, 0xBC, true},  {0x2D, 0xBD, false}, {0x5F, 0xBD, true}, {0x2E, 0xBE, false},
        {0x3E, 0xBE, true},  {0x2F, 0xBF, false}, {0x3F, 0xBF, true}, {0x60, 0xC0, false},
        {0x7E, 0xC0, true},  {0x5B, 0xDB, false}, {0x7B, 0xDB, true}, {0x5C, 0xDC, false},
        {0x7C, 0xDC, true},  {0x5D, 0xDD, false}, {0x7D, 0xDD, true}, {0x27, 0xDE, false},
        {0x22, 0xDE, true},
    }};
    for (const Punctuation& p : kPunctuation) {
        if (p.c == c) return KeyStroke{p.vk, p.shift};
    }
    return std::nullopt;
}

int32_t DelayForMode(int32_t mode, int32_t value) {
    switch (mode) {
        case 0:
            return 0;
        case 1:
            return 100;
        case 2:
            return 10;
        case 3:
            return 1;
        default:
            return std::clamp(value, 0, kMaxDelayMs);
    }
}

int32_t EffectiveDelay(int32_t mode, int32_t delayMs) {
    return mode >= 0 && mode <= 3 ? DelayForMode(mode, 0) : delayMs;
}

BarcodeDelivery::BarcodeDelivery(DeliveryOptions& options, TriggerLine& trigger, ReaderGate& gate,
                                 int32_t modelClass)
    : m_options(options), m_trigger(trigger), m_gate(gate), m_modelClass(modelClass) {}

void BarcodeDelivery::Reset() {
    // QV_KEYBOARD as this open read it, the virtual keyboard made before
    // the first barcode so a session that takes new devices late gets it.
    platform::OpenKeyboard();
    m_hWnd = nullptr;
    m_delayMs = 1;
    m_delayMode = 3;
    m_options.LoadPrefix();
    m_options.LoadSuffix();
    m_options.LoadReceiveType();
    m_options.LoadSound();
    m_bLedBusy = 0;
    m_bModelLedBusy = 0;
    m_recvType = 0;
    m_bPasteClipboard = DeliveryOptions::LoadPasteClipboard();
}

void BarcodeDelivery::SetReceiveWnd(QVHWND window) {
    m_hWnd.store(window);
    WriteLog(u"SetReceiveWnd 0x%X\r\n", window);
}

void BarcodeDelivery::UseCallback(BarcodeCallback callback) {
    if (callback != nullptr) {
        m_bUseCallback = 1;
        g_pfnBarcodeCallback.store(callback);
    } else {
        m_bUseCallback = 0;
    }
}

void BarcodeDelivery::SetReceiveType(int32_t type) {
    m_recvType = type;
    m_options.m_storedRecvType = type;
    m_options.SaveReceiveType();
}

void BarcodeDelivery::SetSoundType(int32_t which, int32_t type) {
    if (which == 1) {
        m_options.m_sndManual = type;
    } else {
        m_options.m_sndManual2 = type;
    }
    m_options.SaveSound();
    if (which == 1) {
        m_bUseSuccessSound = type != 0 ? 1 : 0;
        m_successSoundType = type;
    } else {
        m_bUseFailSound = type != 0 ? 1 : 0;
        m_failSoundType = type;
    }
}

void BarcodeDelivery::SetDelay(int32_t mode, int32_t value) {
    const int32_t delay = DelayForMode(mode, value);
    m_delayMode = mode;
    m_delayMs = delay;
    DeliveryOptions::SaveDelay(mode, delay);
}

void BarcodeDelivery::GetDelay(int32_t* mode, int32_t* value) const {
    const int32_t m = m_delayMode;
    if (mode != nullptr) *mode = m;
    if (value != nullptr) *value = EffectiveDelay(m, m_delayMs);
}

// The pause after a typed key; a negative delay is no pause. A close under
// way ends it at once, so the rest of the text is typed without pauses and
// the close is not held for the whole typing.
void BarcodeDelivery::Pause() {
    const int32_t delay = m_delayMs;
    if (delay > 0) (void)m_gate.Pause(static_cast<uint32_t>(delay));
}

// One flash of `led` for `ms` on the worker `worker`, guarded by
// `busy`. The flag is taken here, on the delivering thread, so a second
// request made before the worker starts is dropped as well. A close ends
// the flash early, so destroying the delivery does not wait for it.
void BarcodeDelivery::StartFlash(platform::Thread& worker, std::atomic<int32_t>& busy, uint32_t led,
                                 uint32_t ms) {
    if (busy.exchange(1) == 1) return;
    // The previous flash cleared the flag as its last step; it is ending.
    worker.Join();
    ReaderGate& gate = m_gate;
    const bool started = worker.Start([&busy, &gate, led, ms] {
        SetLed(led, 1);
        (void)gate.Pause(ms);
        SetLed(led, 0);
        busy = 0;
    });
    if (!started) busy = 0;  // no flash; the delivery goes on
}

void BarcodeDelivery::TypeCharacter(uint8_t c) {
    if (platform::KeyboardTypesCharacters()) {
        const uint8_t byte[] = {c};
        const std::u16string ch = c < 0x80 ? std::u16string(1, c) : platform::AnsiToUtf16(byte);
        if (ch.size() == 1) platform::TypeCharacterInLayout(ch[0]);
        Pause();
        return;
    }
    const std::optional<KeyStroke> key = CharToVirtualKey(c);
    if (!key) return;
    if (key->shift) KeyDown(platform::kVkShift);
    KeyDown(key->virtualKey);
    KeyUp(key->virtualKey);
    Pause();
    if (key->shift) {
        KeyUp(platform::kVkShift);
        Pause();
    }
}

// The whole text converted at once, so a code page with characters of more
// than one byte is read as such; one pause after each character.
void BarcodeDelivery::TypeText(std::span<const uint8_t> text) {
    if (!platform::KeyboardTypesCharacters()) {
        for (const uint8_t c : text)
            TypeCharacter(c);
        return;
    }
    const uint32_t untypedBefore = platform::UntypedCharacters();
    for (const char32_t c : platform::Utf16ToUtf32(platform::AnsiToUtf16(text))) {
        platform::TypeCharacterInLayout(c);
        Pause();
    }
    const uint32_t untyped = platform::UntypedCharacters() - untypedBefore;
    if (untyped == 1) {
        WriteLog(u"key injection: 1 character of the barcode could not be typed\r\n");
    } else if (untyped != 0) {
        WriteLog(u"key injection: %u characters of the barcode could not be typed\r\n", untyped);
    }
}

// On a keyboard of the system, 0x0A (which has no key of its own) types
// Return: the default suffix is meant as the end of a line.
void BarcodeDelivery::TypeAffixCharacter(uint8_t c) {
    if (c == 0x0A && platform::KeyboardTypesCharacters()) c = 0x0D;
    TypeCharacter(c);
}

void BarcodeDelivery::SendAffix(uint8_t first, uint8_t second) {
    if (first == 0x10 || first == 0x11 || first == 0x12) {
        // A chord with Shift, Ctrl or Alt, without pauses.
        KeyDown(first);
        KeyDown(second);
        KeyUp(second);
        KeyUp(first);
    } else if (first == 0xFF && second != 0) {
        // A raw virtual key.
        KeyDown(second);
        KeyUp(second);
    } else {
        if (first != 0) TypeAffixCharacter(first);
        if (second != 0) TypeAffixCharacter(second);
    }
}

void BarcodeDelivery::PauseIfShellInFront() {
    if (ShellInFront() == nullptr) return;
    (void)m_gate.Pause(static_cast<uint32_t>(std::max<int32_t>(m_delayMs, 0)));
}

void BarcodeDelivery::FlashLed() {
    StartFlash(m_ledWorker, m_bLedBusy, 0, kLedFlashMs);
}

void BarcodeDelivery::FlashModelLed() {
    StartFlash(m_modelLedWorker, m_bModelLedBusy, 3, kModelLedFlashMs);
}

void SetLed(uint32_t number, int32_t state) {
    platform::LedSetDevice(platform::kLedSettingsRequest,
                           platform::LedSettings{number, state, kLedCycleUs, 0, 0, 0, 0});
}

void BarcodeDelivery::DeviceLost() {
    QVHWND window = m_hWnd;
    if (window == nullptr) {
        WriteLog(u"DEVICE LOST: no window to tell\r\n");
        return;
    }
    platform::PostMessage(window, WM_IMAGER_DEVICE_LOST, 0, 0);
    WriteLog(u"DEVICE LOST: WM_IMAGER_DEVICE_LOST posted to 0x%X\r\n", window);
}

void BarcodeDelivery::DeliverBarcode(const uint8_t* payload, int32_t n) {
    if (payload == nullptr || n < 1) return;
    n = std::min<int32_t>(n, kPayloadBytes);
    std::array<uint8_t, kPayloadBytes> data{};
    std::copy_n(payload, n, data.begin());
    const uint8_t codeId = data[0];
    const std::span<const uint8_t> text(data.data() + 1, static_cast<size_t>(n - 1));

    // The previous text stays readable until this one replaces it.
    std::fill(std::begin(g_barcodeText), std::end(g_barcodeText), u'\0');
    platform::AnsiToUtf16(text, g_barcodeText, kTextUnits);

    m_trigger.SetTriggerLine(1);

    if (m_modelClass == 4) FlashModelLed();
    if (m_bUseSuccessSound == 1) {
        switch (m_successSoundType) {
            case 1:
                PlaySuccessSound();
                break;
            case 2:
                FlashLed();
                break;
            case 3:
                FlashLed();
                PlaySuccessSound();
                break;
            default:
                break;
        }
    }

    const int32_t symbology = CodeIdToSymbology(codeId);
    const int32_t recvType = m_recvType;
    WriteLog(u"m_recvType : %d\r\n", recvType);

    if (recvType == 0) {
        QVHWND window = m_hWnd;
        if (window == nullptr) {
            WriteLog(u"m_hWnd == NULL\r\n");
            return;
        }
        if (m_bUseCallback == 0) {
            // Each message carries a copy of its own text, so a loop that
            // takes it after later barcodes still reads this one.
            if (!platform::PostMessageWithText(window, WM_IMAGER_DATA,
                                               static_cast<uintptr_t>(symbology),
                                               std::u16string_view(g_barcodeText))) {
                WriteLog(
                    u"WM_IMAGER_DATA not posted to 0x%X: no such window, or %d barcodes "
                    u"wait in its queue already\r\n",
                    window, static_cast<int32_t>(platform::kMaxWaitingTexts));
            }
        } else if (BarcodeCallback callback = g_pfnBarcodeCallback.load()) {
            // A close may leave this thread behind in the callback; nothing
            // more is done for this engine then. The callback gets this
            // delivery's own copy, which a later session's barcode cannot
            // overwrite while the call lasts.
            std::copy(std::begin(g_barcodeText), std::end(g_barcodeText), m_callbackText);
            m_gate.EnterApplication();
            callback(symbology, m_callbackText);
            (void)m_gate.LeaveApplication();
        }
        return;
    }
    if (recvType != 1 && recvType != 2) return;

    SendAffix(m_options.m_prefix1, m_options.m_prefix2);
    if (recvType == 1) {
        TypeText(text);
    } else {
        FillClipboard(text, n);
        ActivateShellWindow();
        if (m_bPasteClipboard == 1) {
            // Ctrl+V on a keyboard of the system pastes the system's
            // clipboard, which the library's own does not reach: whatever
            // was there, not this barcode. The text is typed instead.
            if (platform::KeyboardTypesCharacters() && !platform::ClipboardReachesSystem()) {
                TypeText(text);
            } else {
                SendCtrlV();
            }
        }
        PauseIfShellInFront();
        // Waits on the application's windows, like a callback.
        m_gate.EnterApplication();
        BroadcastClipboardChange();
        if (!m_gate.LeaveApplication()) return;
    }
    SendAffix(m_options.m_suffix1, m_options.m_suffix2);
}

}  // namespace qv

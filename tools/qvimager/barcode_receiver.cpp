#include "barcode_receiver.h"

#include <algorithm>

#include "output.h"

namespace qv::cli {
namespace {

// Posted to the window by Ctrl-C and by the callback, only to end a wait.
constexpr uint32_t kWakeMessage = QV_WM_USER + 1;
// A keyboard or clipboard delivery is complete once its effects pause this long.
constexpr auto kQuietTime = std::chrono::milliseconds(300);
// Record lines are checked at least this often while effects may come.
constexpr auto kRecordPoll = std::chrono::milliseconds(50);

std::mutex g_activeMutex;
BarcodeReceiver* g_active = nullptr;  // the receiver the callback feeds

std::string RecordLine(uint32_t index) {
    std::vector<char> buffer(256);
    for (;;) {
        const int32_t length =
            QVPlatformGetRecordedEffect(index, buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (length < 0) return {};
        if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(static_cast<size_t>(length) + 1);
    }
}

std::u16string ClipboardText() {
    std::vector<char16_t> buffer(1100);
    for (;;) {
        const int32_t length =
            QVPlatformGetClipboardText(buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (length < 0) return {};
        if (static_cast<size_t>(length) < buffer.size())
            return std::u16string(buffer.data(), length);
        buffer.resize(static_cast<size_t>(length) + 1);
    }
}

}  // namespace

std::u16string CopyBarcodeText(const char16_t* text) {
    if (text == nullptr) return {};
    return std::u16string(TextOf(text, 1024));
}

BarcodeReceiver::BarcodeReceiver(ReceiveMode mode, os::InterruptWatch& watch)
    : m_mode(mode), m_watch(watch) {
    m_window = QVPlatformCreateWindow(u"QVImagerTool", &WindowProc, this);
    if (m_window != nullptr) {
        QVHWND window = m_window;
        m_watch.SetHook([window] { QVPlatformPostMessage(window, kWakeMessage, 0, 0); });
    }
    std::lock_guard lock(g_activeMutex);
    g_active = this;
}

BarcodeReceiver::~BarcodeReceiver() {
    {
        std::lock_guard lock(g_activeMutex);
        if (g_active == this) g_active = nullptr;
    }
    m_watch.SetHook(nullptr);
    if (m_window != nullptr) QVPlatformDestroyWindow(m_window);
}

BarcodeCallback BarcodeReceiver::Callback() const {
    return m_mode == ReceiveMode::Callback ? &OnCallback : nullptr;
}

void BarcodeReceiver::OnCallback(int32_t symbology, const char16_t* text) {
    std::lock_guard lock(g_activeMutex);
    if (g_active == nullptr) return;
    {
        std::lock_guard ready(g_active->m_mutex);
        g_active->m_ready.push_back({symbology, CopyBarcodeText(text), {}});
    }
    QVPlatformPostMessage(g_active->m_window, kWakeMessage, 0, 0);
}

intptr_t BarcodeReceiver::WindowProc(QVHWND window, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam) {
    auto* self = static_cast<BarcodeReceiver*>(QVPlatformGetWindowUserData(window));
    if (self == nullptr) return QVPlatformDefWindowProc(window, message, wParam, lParam);
    switch (message) {
        case WM_IMAGER_DATA: {
            // The text stays only until the next barcode: copy it now.
            std::lock_guard lock(self->m_mutex);
            self->m_ready.push_back({static_cast<int32_t>(wParam),
                                     CopyBarcodeText(reinterpret_cast<const char16_t*>(lParam)),
                                     {}});
            return 0;
        }
        case QV_WM_CHAR:
            if (self->m_mode == ReceiveMode::Keyboard) {
                self->m_typed += static_cast<char16_t>(wParam);
            }
            return 0;
        case kWakeMessage:
            return 0;
        case WM_IMAGER_DEVICE_LOST:
            self->m_deviceLost = true;
            return 0;
        default:
            return QVPlatformDefWindowProc(window, message, wParam, lParam);
    }
}

void BarcodeReceiver::Arm() {
    {
        std::lock_guard lock(m_mutex);
        m_ready.clear();
    }
    Pump();
    QVPlatformClearRecordedEffects();
    m_recordCursor = 0;
    m_keys.clear();
    m_typed.clear();
    m_sawClipboard = false;
    m_lastEffect.reset();
}

bool BarcodeReceiver::DeviceLost() {
    Pump();
    return m_deviceLost;
}

void BarcodeReceiver::Pump() {
    QVMSG msg;
    while (QVPlatformPeekMessage(&msg, nullptr, 1) == 1) {
        QVPlatformTranslateMessage(&msg);
        QVPlatformDispatchMessage(&msg);
    }
}

void BarcodeReceiver::ReadRecord(Clock::time_point now) {
    const uint32_t count = QVPlatformRecordedEffectCount();
    if (count < m_recordCursor) m_recordCursor = 0;  // cleared behind our back
    for (; m_recordCursor < count; ++m_recordCursor) {
        const std::string line = RecordLine(m_recordCursor);
        if (auto key = ParseKeyEffect(line)) {
            m_keys.push_back(*key);
            m_lastEffect = now;
        } else if (line.starts_with("clipboard ")) {
            m_sawClipboard = true;
            m_lastEffect = now;
        }
    }
}

bool BarcodeReceiver::TakeReady(Clock::time_point now, ReceivedBarcode& barcode) {
    if (m_mode == ReceiveMode::Message || m_mode == ReceiveMode::Callback) {
        std::lock_guard lock(m_mutex);
        if (m_ready.empty()) return false;
        barcode = std::move(m_ready.front());
        m_ready.pop_front();
        return true;
    }
    ReadRecord(now);
    const bool started = m_mode == ReceiveMode::Keyboard ? !m_keys.empty() : m_sawClipboard;
    if (!started || !m_lastEffect || now - *m_lastEffect < kQuietTime) return false;
    barcode = {};
    barcode.keys = std::move(m_keys);
    barcode.text = m_mode == ReceiveMode::Keyboard ? std::move(m_typed) : ClipboardText();
    m_keys.clear();
    m_typed.clear();
    m_sawClipboard = false;
    m_lastEffect.reset();
    return true;
}

BarcodeReceiver::Outcome BarcodeReceiver::Wait(uint32_t timeoutMs, ReceivedBarcode& barcode) {
    const bool recordMode = m_mode == ReceiveMode::Keyboard || m_mode == ReceiveMode::Clipboard;
    std::optional<Clock::time_point> deadline;
    if (timeoutMs != 0) deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        Pump();
        Clock::time_point now = Clock::now();
        if (TakeReady(now, barcode)) return Outcome::Barcode;
        if (m_deviceLost) return Outcome::DeviceLost;
        if (m_watch.Interrupted()) return Outcome::Interrupted;
        if (deadline && now >= *deadline) return Outcome::TimedOut;
        // Messages wake the wait; the record of key strokes and clipboard use
        // does not, so those modes look at it every little while.
        auto until = now + std::chrono::seconds(1);
        if (recordMode) until = now + kRecordPoll;
        if (deadline) until = std::min(until, *deadline);
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        QVPlatformWaitForMessages(static_cast<uint32_t>(std::max<int64_t>(ms, 1)));
    }
}

}  // namespace qv::cli

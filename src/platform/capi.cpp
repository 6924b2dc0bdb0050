// The C interface of QVPlatform.h over the stand-ins. No exception crosses it.
#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "QVPlatform.h"
#include "platform/core/last_failure.h"
#include "platform/driver/device_driver.h"
#include "platform/keyboard/keyboard.h"
#include "platform/power_notify/power_notify.h"
#include "platform/storage/files.h"
#include "platform/text/utf.h"
#include "platform/windows/clipboard.h"
#include "platform/windows/message.h"
#include "platform/windows/message_record.h"
#include "platform/windows/window.h"

using namespace qv::platform;

namespace {

std::u16string_view View(const char16_t* text) {
    return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

// A driver of the C interface: its procedure and context.
class CDriver : public DeviceDriver {
  public:
    CDriver(QVDRIVERPROC proc, void* context) : m_proc(proc), m_context(context) {}
    int32_t IoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                      uint32_t* returned) override {
        uint32_t written = 0;
        const int32_t result = m_proc(m_context, code, in.data(), static_cast<uint32_t>(in.size()),
                                      out.data(), static_cast<uint32_t>(out.size()), &written);
        if (returned != nullptr) *returned = std::min<uint32_t>(written, out.size());
        return result;
    }

  private:
    QVDRIVERPROC m_proc;
    void* m_context;
};

template <class Result, class Body>
Result Guarded(Result failed, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failed;
    }
}

}  // namespace

extern "C" {

QV_PLATFORM_C_API QVHWND QVPlatformCreateWindow(const char16_t* className, QVWNDPROC proc,
                                                void* userData) {
    return Guarded<QVHWND>(nullptr, [&] { return CreateWindow(View(className), proc, userData); });
}

QV_PLATFORM_C_API int32_t QVPlatformDestroyWindow(QVHWND window) {
    return Guarded<int32_t>(0, [&] { return DestroyWindow(window) ? 1 : 0; });
}

QV_PLATFORM_C_API int32_t QVPlatformIsWindow(QVHWND window) {
    return Guarded<int32_t>(0, [&] { return IsWindow(window) ? 1 : 0; });
}

QV_PLATFORM_C_API void* QVPlatformGetWindowUserData(QVHWND window) {
    return Guarded<void*>(nullptr, [&] { return GetWindowUserData(window); });
}

QV_PLATFORM_C_API QVHWND QVPlatformFindWindow(const char16_t* className) {
    return Guarded<QVHWND>(nullptr, [&] { return FindWindow(View(className)); });
}

QV_PLATFORM_C_API QVHWND QVPlatformGetForegroundWindow(void) {
    return Guarded<QVHWND>(nullptr, [] { return GetForegroundWindow(); });
}

QV_PLATFORM_C_API int32_t QVPlatformSetForegroundWindow(QVHWND window) {
    return Guarded<int32_t>(0, [&] { return SetForegroundWindow(window) ? 1 : 0; });
}

QV_PLATFORM_C_API intptr_t QVPlatformDefWindowProc(QVHWND window, uint32_t message,
                                                   uintptr_t wParam, intptr_t lParam) {
    return DefWindowProc(window, message, wParam, lParam);
}

QV_PLATFORM_C_API int32_t QVPlatformGetMessage(QVMSG* msg, QVHWND filter) {
    return Guarded<int32_t>(-1, [&] { return GetMessage(msg, filter); });
}

QV_PLATFORM_C_API int32_t QVPlatformPeekMessage(QVMSG* msg, QVHWND filter, int32_t remove) {
    return Guarded<int32_t>(0, [&] { return PeekMessage(msg, filter, remove != 0) ? 1 : 0; });
}

QV_PLATFORM_C_API int32_t QVPlatformTranslateMessage(const QVMSG* msg) {
    if (msg == nullptr) return 0;
    return Guarded<int32_t>(0, [&] { return TranslateMessage(*msg) ? 1 : 0; });
}

QV_PLATFORM_C_API intptr_t QVPlatformDispatchMessage(const QVMSG* msg) {
    if (msg == nullptr) return 0;
    return Guarded<intptr_t>(0, [&] { return DispatchMessage(*msg); });
}

QV_PLATFORM_C_API int32_t QVPlatformWaitForMessages(uint32_t milliseconds) {
    return Guarded<int32_t>(0, [&] { return WaitForMessages(milliseconds) ? 1 : 0; });
}

QV_PLATFORM_C_API int QVPlatformGetMessageDescriptor(void) {
    return Guarded<int>(-1, [] { return MessageDescriptor(); });
}

QV_PLATFORM_C_API int32_t QVPlatformPumpMessagesFor(uint32_t milliseconds) {
    return Guarded<int32_t>(0, [&] { return PumpMessagesFor(milliseconds) ? 1 : 0; });
}

QV_PLATFORM_C_API int32_t QVPlatformPostMessage(QVHWND window, uint32_t message, uintptr_t wParam,
                                                intptr_t lParam) {
    return Guarded<int32_t>(0,
                            [&] { return PostMessage(window, message, wParam, lParam) ? 1 : 0; });
}

QV_PLATFORM_C_API intptr_t QVPlatformSendMessage(QVHWND window, uint32_t message, uintptr_t wParam,
                                                 intptr_t lParam) {
    return Guarded<intptr_t>(0, [&] { return SendMessage(window, message, wParam, lParam); });
}

QV_PLATFORM_C_API int32_t QVPlatformSendMessageTimeout(QVHWND window, uint32_t message,
                                                       uintptr_t wParam, intptr_t lParam,
                                                       uint32_t milliseconds, intptr_t* result) {
    return Guarded<int32_t>(0, [&] {
        return SendMessageTimeout(window, message, wParam, lParam, milliseconds, result) ? 1 : 0;
    });
}

QV_PLATFORM_C_API void QVPlatformPostQuitMessage(int32_t exitCode) {
    Guarded<int32_t>(0, [&] {
        PostQuitMessage(exitCode);
        return 0;
    });
}

QV_PLATFORM_C_API int32_t QVPlatformGetClipboardText(char16_t* buffer, uint32_t units) {
    return Guarded<int32_t>(-1, [&]() -> int32_t {
        const std::optional<std::u16string> text = GetClipboardText();
        if (!text) return -1;
        if (buffer != nullptr && units > 0) {
            const size_t n = CutUnits(*text, units - 1);
            std::copy_n(text->data(), n, buffer);
            buffer[n] = 0;
        }
        return static_cast<int32_t>(std::min<size_t>(text->size(), INT32_MAX));
    });
}

QV_PLATFORM_C_API uint32_t QVPlatformRecordedEffectCount(void) {
    return Guarded<uint32_t>(0, [] { return static_cast<uint32_t>(RecordedEffects().size()); });
}

QV_PLATFORM_C_API int32_t QVPlatformGetRecordedEffect(uint32_t index, char* buffer, uint32_t size) {
    return Guarded<int32_t>(-1, [&]() -> int32_t {
        const std::vector<std::string> lines = RecordedEffects();
        if (index >= lines.size()) return -1;
        const std::string& line = lines[index];
        if (buffer != nullptr && size > 0) {
            const size_t n = std::min<size_t>(line.size(), size - 1);
            std::memcpy(buffer, line.data(), n);
            buffer[n] = '\0';
        }
        return static_cast<int32_t>(line.size());
    });
}

QV_PLATFORM_C_API void QVPlatformClearRecordedEffects(void) {
    Guarded<int32_t>(0, [] {
        ClearRecordedEffects();
        return 0;
    });
}

QV_PLATFORM_C_API void QVPlatformInjectPowerNotification(uint32_t kind, uint32_t flags,
                                                         const char16_t* stateName) {
    Guarded<int32_t>(0, [&] {
        InjectPowerNotification(kind, flags, View(stateName));
        return 0;
    });
}

QV_PLATFORM_C_API int32_t QVPlatformRegisterDriver(const char* device, QVDRIVERPROC proc,
                                                   void* context) {
    if (device == nullptr || proc == nullptr) return 0;
    return Guarded<int32_t>(0, [&] {
        RegisterDriver(device, std::make_shared<CDriver>(proc, context));
        return 1;
    });
}

QV_PLATFORM_C_API void QVPlatformSetApplicationDirectory(const char* directory) {
    Guarded<int32_t>(0, [&] {
        SetApplicationDirectory(directory != nullptr ? directory : "");
        return 0;
    });
}

QV_PLATFORM_C_API void QVPlatformUnregisterDriver(const char* device) {
    if (device == nullptr) return;
    Guarded<int32_t>(0, [&] {
        UnregisterDriver(device);
        return 0;
    });
}

QV_PLATFORM_C_API int32_t QVPlatformGetLastFailure(char* text, uint32_t capacity) {
    const int code = LastFailureCode();
    if (text != nullptr && capacity > 0) {
        Guarded<int32_t>(0, [&] {
            const std::string line = LastFailureText();
            const std::string_view fits = CutUtf8(line, capacity - 1);
            std::memcpy(text, fits.data(), fits.size());
            text[fits.size()] = '\0';
            return 0;
        });
    }
    return code;
}

QV_PLATFORM_C_API uint32_t QVPlatformGetUntypedCharacters(void) {
    return Guarded<uint32_t>(0, [] { return UntypedCharacters(); });
}

}  // extern "C"

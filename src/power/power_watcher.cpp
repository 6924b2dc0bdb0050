#include "power/power_watcher.h"

#include <cerrno>
#include <memory>
#include <mutex>

#include "engine/imager_engine.h"
#include "engine/write_log.h"
#include "platform/clock.h"
#include "platform/power_notify.h"

namespace qv {
namespace {

// Message queue options of the watcher: at most 16 messages of 80 bytes.
constexpr uint32_t kQueueMessages = 16;
constexpr uint32_t kQueueMessageBytes = 80;
constexpr size_t kReadBufferBytes = 1280;

uint32_t Read32(std::span<const uint8_t> bytes, size_t offset) {
    return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
           (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

}  // namespace

void HandlePowerMessage(ImagerEngine& engine, std::span<const uint8_t> message) {
    if (message.size() < 16 || Read32(message, 0) != platform::PBT_TRANSITION) return;
    const uint32_t state = Read32(message, 4) & 0xFFFF0000u;
    if (state == platform::POWER_STATE_SUSPEND) {
        if (engine.m_bActive.load() == 1) {
            WriteLog(u"======================[APP] PWM : POWER_STATE_SUSPEND\r\n");
            engine.m_bActive = 0;
        }
    } else if (state == platform::POWER_STATE_ON_BACKLIGHT_PASSWORD) {
        if (engine.m_bActive.load() == 0) {
            {
                // Not while the open is still bringing the supply up itself.
                std::lock_guard lock(engine.m_powerLock);
                engine.m_module.SetModulePower(1);
            }
            platform::Sleep(100);
            WriteLog(u"======================[APP] PWM : POWER_STATE_ON\r\n");
            engine.m_bActive = 1;
        }
    }
}

void CheckPowerStateThread(ImagerEngine& engine) {
    WriteLog(u"~~~~~~~~~~~~~~~~~CheckPowerStateThread START\r\n");
    // The stop flag was cleared before this thread started, so a stop asked
    // for at once is not lost.
    auto queue = platform::PowerMessageQueue::Create(kQueueMessages, kQueueMessageBytes);
    if (!queue) {
        WriteLog(u"[APP] PWM : CreateMsgQueue(READ): error %d\r\n", errno);
        engine.m_bStopPowerThread = 1;
    }
    auto notifications = platform::PowerNotifications::Request(queue.get(), 0xFFFFFFFFu);
    if (!notifications) {
        WriteLog(u"[APP] PWM : RequestPowerNotifications: error %d\r\n", errno);
        engine.m_bStopPowerThread = 1;
    } else {
        std::lock_guard lock(engine.m_powerNotifyLock);
        engine.m_hPowerNotify = notifications.get();
    }

    uint8_t buffer[kReadBufferBytes];
    while (engine.m_bStopPowerThread.load() == 0) {
        std::fill(std::begin(buffer), std::end(buffer), uint8_t{0});
        uint32_t bytesRead = 0;
        // With no time-out a read fails only once the notifications have
        // ended; there is nothing left to wait for then.
        if (!queue->Read(buffer, sizeof buffer, &bytesRead, platform::kInfinite)) break;
        HandlePowerMessage(engine, std::span<const uint8_t>(buffer, bytesRead));
    }

    {
        std::lock_guard lock(engine.m_powerNotifyLock);
        if (engine.m_hPowerNotify != nullptr) {
            engine.m_hPowerNotify->Stop();
            engine.m_hPowerNotify = nullptr;
        }
    }
    notifications.reset();
    queue.reset();
    WriteLog(u"~~~~~~~~~~~~~~~~~CheckPowerStateThread END\r\n");
}

void StartPowerWatcher(ImagerEngine& engine) {
    if (engine.m_hPowerThread.IsStarted()) StopPowerWatcher(engine);
    engine.m_bStopPowerThread = 0;
    ImagerEngine* target = &engine;
    engine.m_hPowerThread.Start([target] { CheckPowerStateThread(*target); });
}

void StopPowerWatcher(ImagerEngine& engine) {
    if (!engine.m_hPowerThread.IsStarted()) return;
    engine.m_bStopPowerThread = 1;
    bool stopped = true;
    {
        std::lock_guard lock(engine.m_powerNotifyLock);
        if (engine.m_hPowerNotify != nullptr) stopped = engine.m_hPowerNotify->Stop();
    }
    // The watcher still uses the engine object while it finishes, so it is
    // always joined; a watcher that does not end is waited for, never killed.
    if (!stopped && !engine.m_hPowerThread.WaitFor(100)) {
        WriteLog(u"CheckPowerStateThread did not end within 100 ms; waiting\r\n");
    }
    engine.m_hPowerThread.Join();
}

}  // namespace qv

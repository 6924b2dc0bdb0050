#include "power/power_watcher.h"

#include <cerrno>
#include <memory>

#include "log/write_log.h"
#include "platform/core/clock.h"
#include "power/module_control.h"

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

PowerWatcher::PowerWatcher(ModuleControl& module, std::mutex& powerLock,
                           std::atomic<int32_t>& active)
    : m_module(module), m_powerLock(powerLock), m_bActive(active) {}

PowerWatcher::~PowerWatcher() {
    Stop();
}

void PowerWatcher::HandlePowerMessage(std::span<const uint8_t> message) {
    if (message.size() < 16 || Read32(message, 0) != platform::PBT_TRANSITION) return;
    const uint32_t state = Read32(message, 4) & 0xFFFF0000u;
    if (state == platform::POWER_STATE_SUSPEND) {
        if (m_bActive.load() == 1) {
            WriteLog(u"======================[APP] PWM : POWER_STATE_SUSPEND\r\n");
            m_bActive = 0;
        }
    } else if (state == platform::POWER_STATE_ON_BACKLIGHT_PASSWORD) {
        if (m_bActive.load() == 0) {
            {
                // Not while the open is still bringing the supply up itself.
                std::lock_guard lock(m_powerLock);
                m_module.SetModulePower(1);
            }
            platform::Sleep(100);
            WriteLog(u"======================[APP] PWM : POWER_STATE_ON\r\n");
            m_bActive = 1;
        }
    }
}

void PowerWatcher::CheckPowerStateThread() {
    WriteLog(u"~~~~~~~~~~~~~~~~~CheckPowerStateThread START\r\n");
    // The stop flag was cleared before this thread started, so a stop asked
    // for at once is not lost.
    auto queue = platform::PowerMessageQueue::Create(kQueueMessages, kQueueMessageBytes);
    if (!queue) {
        WriteLog(u"[APP] PWM : CreateMsgQueue(READ): error %d\r\n", errno);
        m_bStopPowerThread = 1;
    }
    auto notifications = platform::PowerNotifications::Request(queue.get(), 0xFFFFFFFFu);
    if (!notifications) {
        WriteLog(u"[APP] PWM : RequestPowerNotifications: error %d\r\n", errno);
        m_bStopPowerThread = 1;
    } else {
        std::lock_guard lock(m_powerNotifyLock);
        m_hPowerNotify = notifications.get();
    }

    uint8_t buffer[kReadBufferBytes];
    while (m_bStopPowerThread.load() == 0) {
        std::fill(std::begin(buffer), std::end(buffer), uint8_t{0});
        uint32_t bytesRead = 0;
        // With no time-out a read fails only once the notifications have
        // ended; there is nothing left to wait for then.
        if (!queue->Read(buffer, sizeof buffer, &bytesRead, platform::kInfinite)) break;
        HandlePowerMessage(std::span<const uint8_t>(buffer, bytesRead));
    }

    {
        std::lock_guard lock(m_powerNotifyLock);
        if (m_hPowerNotify != nullptr) {
            m_hPowerNotify->Stop();
            m_hPowerNotify = nullptr;
        }
    }
    notifications.reset();
    queue.reset();
    WriteLog(u"~~~~~~~~~~~~~~~~~CheckPowerStateThread END\r\n");
}

void PowerWatcher::Start() {
    if (m_hPowerThread.IsStarted()) Stop();
    m_bStopPowerThread = 0;
    m_hPowerThread.Start([this] { CheckPowerStateThread(); });
}

void PowerWatcher::Stop() {
    if (!m_hPowerThread.IsStarted()) return;
    m_bStopPowerThread = 1;
    bool stopped = true;
    {
        std::lock_guard lock(m_powerNotifyLock);
        if (m_hPowerNotify != nullptr) stopped = m_hPowerNotify->Stop();
    }
    // The watcher still uses its peers while it finishes, so it is always
    // joined; a watcher that does not end is waited for, never killed.
    if (!stopped && !m_hPowerThread.WaitFor(100)) {
        WriteLog(u"CheckPowerStateThread did not end within 100 ms; waiting\r\n");
    }
    m_hPowerThread.Join();
}

bool PowerWatcher::IsSubscribed() {
    std::lock_guard lock(m_powerNotifyLock);
    return m_hPowerNotify != nullptr;
}

}  // namespace qv

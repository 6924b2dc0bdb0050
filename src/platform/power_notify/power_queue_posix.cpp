#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/core/clock.h"
#include "platform/power_notify/power_queue.h"

namespace qv::platform {

PowerQueue::PowerQueue(uint32_t maxMessages, uint32_t maxMessageBytes)
    : m_maxMessages(maxMessages), m_maxMessageBytes(maxMessageBytes) {}

PowerQueue::~PowerQueue() {
    EndWriter();
}

bool PowerQueue::Read(void* buffer, uint32_t size, uint32_t* bytesRead, uint32_t milliseconds) {
    std::unique_lock lock(m_mutex);
    // Coming back for a message means the previous one has been dealt with.
    if (auto handled = std::exchange(m_beingHandled, nullptr)) {
        lock.unlock();
        handled();
        lock.lock();
    }
    const auto deadline = DeadlineAfter(milliseconds);
    while (m_messages.empty() && !m_writerEnded) {
        if (deadline == std::chrono::steady_clock::time_point::max()) {
            m_cv.wait(lock);
        } else if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            break;
        }
    }
    if (m_messages.empty()) return false;
    Entry entry = std::move(m_messages.front());
    m_messages.pop_front();
    m_beingHandled = std::move(entry.handled);
    const uint32_t n = std::min<uint32_t>(size, static_cast<uint32_t>(entry.message.size()));
    if (buffer != nullptr && n > 0) std::memcpy(buffer, entry.message.data(), n);
    if (bytesRead != nullptr) *bytesRead = n;
    return true;
}

// A full queue refuses the message, as a writer to a full queue would see.
void PowerQueue::Write(std::string message, std::function<void()> handled) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_writerEnded && m_messages.size() < m_maxMessages) {
            if (message.size() > m_maxMessageBytes) message.resize(m_maxMessageBytes);
            m_messages.push_back(Entry{std::move(message), std::move(handled)});
            handled = nullptr;
        }
    }
    m_cv.notify_one();
    if (handled) handled();
}

void PowerQueue::EndWriter() {
    std::vector<std::function<void()>> pending;
    {
        std::lock_guard lock(m_mutex);
        m_writerEnded = true;
        if (m_beingHandled) pending.push_back(std::exchange(m_beingHandled, nullptr));
        for (Entry& entry : m_messages) {
            if (entry.handled) pending.push_back(std::exchange(entry.handled, nullptr));
        }
    }
    m_cv.notify_all();
    for (auto& handled : pending)
        handled();
}

}  // namespace qv::platform

#include "platform/core/event.h"

namespace qv::platform {

Event::Event(bool manualReset, bool initiallySet)
    : m_set(initiallySet), m_manualReset(manualReset) {}

void Event::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    if (m_manualReset) {
        m_cv.notify_all();
    } else {
        m_cv.notify_one();
    }
}

void Event::Reset() {
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool Event::Wait(uint32_t milliseconds) {
    std::unique_lock lock(m_mutex);
    const auto deadline = DeadlineAfter(milliseconds);
    while (!m_set) {
        if (deadline == std::chrono::steady_clock::time_point::max()) {
            m_cv.wait(lock);
        } else if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout && !m_set) {
            return false;
        }
    }
    if (!m_manualReset) m_set = false;
    return true;
}

}  // namespace qv::platform

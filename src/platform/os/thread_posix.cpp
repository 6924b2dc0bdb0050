#include <pthread.h>
#include <sched.h>

#include <thread>

#include "platform/event.h"
#include "platform/thread.h"

namespace qv::platform {

struct Thread::State {
    std::thread thread;
    Event finished{true, false};
};

Thread::Thread() = default;

Thread::~Thread() {
    Join();
}

bool Thread::Start(std::function<void()> body) {
    if (m_state) return false;
    auto state = std::make_unique<State>();
    Event* finished = &state->finished;
    try {
        state->thread = std::thread([body = std::move(body), finished] {
            body();
            finished->Set();
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_state = std::move(state);
    return true;
}

bool Thread::IsStarted() const {
    return m_state != nullptr;
}

bool Thread::WaitFor(uint32_t milliseconds) {
    if (!m_state) return true;
    return m_state->finished.Wait(milliseconds);
}

void Thread::Join() {
    if (!m_state) return;
    if (m_state->thread.joinable()) {
        if (m_state->thread.get_id() == std::this_thread::get_id()) {
            m_state->thread.detach();  // a thread cannot join itself; it is ending anyway
        } else {
            m_state->thread.join();
        }
    }
    m_state.reset();
}

void Thread::SetPriority(int level) {
    if (!m_state || !m_state->thread.joinable()) return;
    const int minPriority = sched_get_priority_min(SCHED_RR);
    const int maxPriority = sched_get_priority_max(SCHED_RR);
    if (minPriority < 0 || maxPriority < 0) return;
    const int clamped = level < 0 ? 0 : (level > 7 ? 7 : level);
    sched_param param{};
    param.sched_priority = maxPriority - (maxPriority - minPriority) * clamped / 7;
    // Real-time priority needs privileges; without them the thread keeps its priority.
    (void)pthread_setschedparam(m_state->thread.native_handle(), SCHED_RR, &param);
}

bool Thread::IsCurrent() const {
    return m_state && m_state->thread.get_id() == std::this_thread::get_id();
}

}  // namespace qv::platform

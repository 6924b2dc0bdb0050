#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <thread>

#include "platform/core/event.h"
#include "platform/core/thread.h"

namespace qv::platform {

// Shared by the owner and the running thread, so the thread can signal its
// end even when its owner was destroyed on the thread itself.
struct Thread::State {
    std::thread thread;
    Event finished{true, false};
};

namespace {

// A new thread inherits its creator's scheduling; one created by a raised
// thread is given the ordinary scheduler. Done by the creator before Start
// returns, so a SetPriority that follows is never undone. Lowering needs no
// rights.
void UseNormalScheduling(std::thread& thread) {
    int policy = SCHED_OTHER;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0) return;
    if (policy == SCHED_OTHER) return;
    param = sched_param{};
    (void)pthread_setschedparam(thread.native_handle(), SCHED_OTHER, &param);
}

}  // namespace

int32_t CurrentProcessId() {
    return static_cast<int32_t>(::getpid());
}

int RealTimePriorityOfLevel(int level) {
    constexpr int kNormalLevel = 3;
    if (level >= kNormalLevel) return 0;
    const int clamped = level < 0 ? 0 : level;
    // 10, 6, 2 for levels 0, 1, 2.
    return kHighestRealTimePriority - clamped * 4;
}

Thread::Thread() = default;

Thread::~Thread() {
    Join();
}

bool Thread::Start(std::function<void()> body) {
    if (m_state) return false;
    auto state = std::make_shared<State>();
    try {
        state->thread = std::thread([body = std::move(body), state]() mutable {
            body();
            // What the body captured goes before the end is signalled, so a
            // joiner never sees the thread ended while it still holds them.
            body = nullptr;
            state->finished.Set();
        });
    } catch (const std::system_error&) {
        return false;
    }
    UseNormalScheduling(state->thread);
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
            // A thread cannot join itself; it is ending and holds its own
            // share of the state, so it finishes safely once detached.
            m_state->thread.detach();
        } else {
            m_state->thread.join();
        }
    }
    m_state.reset();
}

void Thread::SetPriority(int level) {
    if (!m_state || !m_state->thread.joinable()) return;
    const int priority = RealTimePriorityOfLevel(level);
    sched_param param{};
    param.sched_priority = priority;
    // Real-time priority needs privileges; without them the thread keeps its priority.
    (void)pthread_setschedparam(m_state->thread.native_handle(),
                                priority > 0 ? SCHED_RR : SCHED_OTHER, &param);
}

bool Thread::IsCurrent() const {
    return m_state && m_state->thread.get_id() == std::this_thread::get_id();
}

}  // namespace qv::platform

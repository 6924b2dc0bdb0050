#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/windows/queue_signal.h"

namespace qv::platform {

QueueSignal::~QueueSignal() {
    if (m_fd >= 0) ::close(m_fd);
}

int QueueSignal::Descriptor(bool pending) {
    if (m_fd < 0) {
        m_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_fd < 0) return -1;
        m_raised = false;
    }
    Follow(pending);
    return m_fd;
}

void QueueSignal::Follow(bool pending) {
    if (m_fd < 0 || pending == m_raised) return;
    uint64_t value = 1;
    ssize_t n;
    // The counter only ever holds 0 or 1, so neither call can block or fail
    // but for a signal.
    do {
        n = pending ? ::write(m_fd, &value, sizeof value) : ::read(m_fd, &value, sizeof value);
    } while (n < 0 && errno == EINTR);
    m_raised = pending;
}

}  // namespace qv::platform

#include "sim/os/poller.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

namespace qv::sim::os {

Poller::Poller() : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Poller::~Poller() {
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

void Poller::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

std::vector<Poller::Ready> Poller::Wait(std::span<const int> fds,
                                        std::chrono::steady_clock::time_point deadline) {
    std::vector<pollfd> set;
    set.reserve(fds.size() + 1);
    set.push_back({m_wakeFd, POLLIN, 0});
    for (int fd : fds)
        set.push_back({fd, POLLIN, 0});

    timespec timeout{};
    timespec* limit = nullptr;
    if (deadline != std::chrono::steady_clock::time_point::max()) {
        const auto left = std::max(deadline - std::chrono::steady_clock::now(),
                                   std::chrono::steady_clock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
        timeout.tv_nsec = static_cast<long>(ns % 1000000000);
        limit = &timeout;
    }
    std::vector<Ready> ready;
    if (::ppoll(set.data(), set.size(), limit, nullptr) <= 0) return ready;
    if (set[0].revents != 0) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &count, sizeof count);
    }
    for (size_t i = 1; i < set.size(); ++i) {
        const short ev = set[i].revents;
        if (ev == 0) continue;
        ready.push_back(
            {set[i].fd, (ev & POLLIN) != 0, (ev & (POLLHUP | POLLERR | POLLNVAL)) != 0});
    }
    return ready;
}

}  // namespace qv::sim::os

// Waiting on several descriptors at once, with a deadline and a wake-up that
// other threads can trigger, so a loop blocks instead of spinning.
#pragma once

#include <chrono>
#include <span>
#include <vector>

namespace qv::sim::os {

class Poller {
  public:
    Poller();
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    bool Ok() const { return m_wakeFd >= 0; }
    // Any thread: makes the current or next Wait return at once.
    void Wake();

    struct Ready {
        int fd;
        bool readable;
        bool hangup;  // closed by the peer, or an error
    };
    // Blocks until a descriptor is ready, Wake is called or the real-time
    // deadline passes (time_point::max() waits without limit).
    std::vector<Ready> Wait(std::span<const int> fds,
                            std::chrono::steady_clock::time_point deadline);

  private:
    int m_wakeFd = -1;
};

}  // namespace qv::sim::os

// Ctrl-C, SIGTERM and SIGHUP as requests to finish cleanly: the first one
// sets a flag (and calls a hook, which wakes the message loop) so that a scan
// is stopped and the imager closed; a second one ends the program at once,
// for when the imager itself does not answer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace qv::cli::os {

class InterruptWatch {
  public:
    // Blocks the signals for the whole process, so create it before any
    // thread starts.
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool Interrupted() const { return m_interrupted.load() != 0; }
    // The first signal's number, 0 while none came.
    int32_t Signal() const { return m_interrupted.load(); }
    // Called on the watcher's thread at the first signal; empty for none.
    void SetHook(std::function<void()> hook);

  private:
    void Run();

    int m_signalFd = -1;
    int m_stopFd = -1;
    std::atomic<int32_t> m_interrupted{0};
    std::mutex m_hookMutex;
    std::function<void()> m_hook;
    std::thread m_thread;
};

}  // namespace qv::cli::os

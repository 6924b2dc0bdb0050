#include "os/interrupt_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace qv::cli::os {
namespace {

sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

void WriteAll(const char* text) {
    size_t left = 0;
    while (text[left] != '\0')
        ++left;
    while (left > 0) {
        const ssize_t n = ::write(2, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace

InterruptWatch::InterruptWatch() {
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signalFd = ::signalfd(-1, &set, SFD_CLOEXEC);
    m_stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (m_signalFd >= 0 && m_stopFd >= 0) m_thread = std::thread([this] { Run(); });
}

InterruptWatch::~InterruptWatch() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        while (::write(m_stopFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    if (m_signalFd >= 0) ::close(m_signalFd);
    if (m_stopFd >= 0) ::close(m_stopFd);
}

void InterruptWatch::SetHook(std::function<void()> hook) {
    std::lock_guard lock(m_hookMutex);
    m_hook = std::move(hook);
}

void InterruptWatch::Run() {
    for (;;) {
        pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if (fds[0].revents == 0) continue;
        signalfd_siginfo info;
        if (::read(m_signalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
        const auto signal = static_cast<int32_t>(info.ssi_signo);
        if (m_interrupted.exchange(signal) != 0) {
            WriteAll("qvimager: interrupted again, ending at once\n");
            ::_exit(130);
        }
        WriteAll("qvimager: interrupted, finishing cleanly (again to end at once)\n");
        std::lock_guard lock(m_hookMutex);
        if (m_hook) m_hook();
    }
}

}  // namespace qv::cli::os

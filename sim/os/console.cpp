#include "sim/os/console.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace qv::sim::os {

Console::Console() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signalFd = ::signalfd(-1, &set, SFD_CLOEXEC);
}

Console::~Console() {
    if (m_signalFd >= 0) ::close(m_signalFd);
}

Console::Event Console::Next(std::string& line) {
    for (;;) {
        if (const size_t end = m_held.find('\n'); end != std::string::npos) {
            line = m_held.substr(0, end);
            m_held.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return Event::Line;
        }
        if (!m_inputOpen && !m_held.empty()) {
            line = std::exchange(m_held, {});
            return Event::Line;
        }
        pollfd set[2] = {{m_signalFd, POLLIN, 0}, {m_inputOpen ? 0 : -1, POLLIN, 0}};
        if (::poll(set, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return Event::Signal;
        }
        if (set[0].revents != 0) return Event::Signal;
        if (set[1].revents != 0) {
            char buffer[4096];
            const ssize_t n = ::read(0, buffer, sizeof buffer);
            if (n > 0) {
                m_held.append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                m_inputOpen = false;
                if (m_held.empty()) return Event::EndOfInput;
            }
        }
    }
}

}  // namespace qv::sim::os

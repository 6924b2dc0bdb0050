// Runs a piece of a test in a forked child process: for what another process
// sees, and for what an unprivileged user may not do (the suite also runs as
// root, which no file permission stops).
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace platform_test {

inline constexpr uid_t kNobody = 65534;

// The child's exit code (body's result), or -1 when it did not exit normally.
inline int RunInChild(const std::function<int()>& body, bool unprivileged = false) {
    std::fflush(nullptr);  // or the child would print the parent's pending output again
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(98);
            }
        }
        int rc = 97;
        try {
            rc = body();
        } catch (...) {
        }
        // _exit: the child must not run the parent's test framework teardown.
        ::_exit(rc);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A second process that takes something (a device, a lock) with `take` and
// holds it until this object goes; Took() says whether `take` succeeded.
class HolderProcess {
  public:
    explicit HolderProcess(const std::function<bool()>& take) {
        if (::pipe(m_ready) != 0 || ::pipe(m_release) != 0) return;
        std::fflush(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            const char took = take() ? 'y' : 'n';
            char done = 0;
            if (::write(m_ready[1], &took, 1) != 1 || ::read(m_release[0], &done, 1) < 0)
                ::_exit(1);
            ::_exit(0);
        }
        char took = 0;
        m_took = m_pid > 0 && ::read(m_ready[0], &took, 1) == 1 && took == 'y';
    }
    ~HolderProcess() {
        if (m_pid > 0 && ::write(m_release[1], "x", 1) == 1) ::waitpid(m_pid, nullptr, 0);
        for (const int fd : {m_ready[0], m_ready[1], m_release[0], m_release[1]})
            ::close(fd);
    }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    bool Took() const { return m_took; }
    pid_t Pid() const { return m_pid; }

  private:
    int m_ready[2] = {-1, -1};
    int m_release[2] = {-1, -1};
    pid_t m_pid = -1;
    bool m_took = false;
};

}  // namespace platform_test

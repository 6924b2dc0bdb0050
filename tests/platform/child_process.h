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

}  // namespace platform_test

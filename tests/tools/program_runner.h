// Runs the built qvimager as a child process from its own copy in a fresh
// directory whose state/ is the program's state directory, so that its
// settings files and registry belong to one test, and collects its output and
// exit status.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"

extern char** environ;

namespace tools_test {

struct Result {
    int status = -1;  // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
    bool timedOut = false;
};

class Program {
  public:
    Program() : m_path(m_dir.Path() + "/qvimager") {
        namespace fs = std::filesystem;
        fs::copy_file(QV_TOOL_PATH, m_path, fs::copy_options::overwrite_existing);
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add);
        // No device: the program starts its embedded engine. Nothing of the
        // caller's configuration leaks in.
        for (const char* name : {"QV_PORT_COM2", "QV_DRIVER_BAR1", "QV_POWER_NOTIFY", "QV_REGISTRY",
                                 "QV_DEBUG_OUTPUT", "QV_PLATFORM_TRACE"}) {
            m_env[name] = std::nullopt;
        }
        // The program's state directory (settings files, registry) belongs to the test.
        m_env["XDG_STATE_HOME"] = m_dir.Path() + "/state";
    }

    const std::string& Dir() const { return m_dir.Path(); }
    void SetEnv(const std::string& name, std::optional<std::string> value) {
        m_env[name] = std::move(value);
    }
    // Standard output to this file instead of the pipe (/dev/full).
    void SetOutputFile(const std::string& path) { m_outputFile = path; }
    // Closes the read end of standard output after this many lines, as
    // `| head -N` does.
    void CloseOutputAfterLines(size_t lines) { m_closeAfterLines = lines; }

    // `watch` sees the standard output so far and may signal the child.
    Result Run(const std::vector<std::string>& args,
               std::function<void(pid_t, const std::string&)> watch = nullptr,
               std::chrono::seconds limit = std::chrono::seconds(120)) {
        Result result;
        int outPipe[2], errPipe[2];
        if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return result;
        std::vector<std::string> envText;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (!m_env.contains(entry.substr(0, entry.find('=')))) envText.push_back(entry);
        }
        for (const auto& [name, value] : m_env) {
            if (value) envText.push_back(name + "=" + *value);
        }
        std::vector<char*> argv{m_path.data()}, envp;
        std::vector<std::string> argText = args;
        for (std::string& a : argText)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        const pid_t pid = ::fork();
        if (pid == 0) {
            const int out =
                m_outputFile.empty() ? outPipe[1] : ::open(m_outputFile.c_str(), O_WRONLY);
            ::dup2(out, 1);
            ::dup2(errPipe[1], 2);
            ::execve(m_path.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        bool outOpen = true, errOpen = true;
        while (outOpen || errOpen) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                result.timedOut = true;
                ::kill(pid, SIGKILL);  // the child this test started, and only it
                break;
            }
            pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0},
                             {errOpen ? errPipe[0] : -1, POLLIN, 0}};
            if (::poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
            char buffer[4096];
            if (fds[0].revents != 0) {
                const ssize_t n = ::read(outPipe[0], buffer, sizeof buffer);
                if (n > 0) {
                    result.out.append(buffer, static_cast<size_t>(n));
                    if (watch) watch(pid, result.out);
                    if (m_closeAfterLines != 0 &&
                        static_cast<size_t>(std::count(result.out.begin(), result.out.end(),
                                                       '\n')) >= m_closeAfterLines) {
                        ::close(outPipe[0]);
                        outPipe[0] = -1;
                        outOpen = false;
                    }
                } else {
                    outOpen = false;
                }
            }
            if (fds[1].revents != 0) {
                const ssize_t n = ::read(errPipe[0], buffer, sizeof buffer);
                if (n > 0) {
                    result.err.append(buffer, static_cast<size_t>(n));
                } else {
                    errOpen = false;
                }
            }
        }
        if (outPipe[0] >= 0) ::close(outPipe[0]);
        ::close(errPipe[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
        return result;
    }

  private:
    test_support::TempDir m_dir;
    std::string m_path;
    std::map<std::string, std::optional<std::string>> m_env;
    std::string m_outputFile;
    size_t m_closeAfterLines = 0;
};

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace tools_test

// What the program watches while the library works: the library's debug
// output, taken over through a pipe so that --log can show it, so that an
// engine that does not answer ends the program at its first command time-out
// instead of after every retry; and, on a terminal, the progress of long
// waits. Why an export failed comes from the library's last failure, not
// from these lines. A QV_DEBUG_OUTPUT of the user's
// still gets every line: the watch passes them on to the file (or standard
// error) it names.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace qv::cli {

// The library's log line for a command that got no reply in time.
bool IsNoAnswerLine(std::string_view line);

class EngineWatch {
  public:
    // `device`: the outside device's name, empty with the embedded engine
    // (whose silence is a fault of its own, reported by the command).
    // QV_DEBUG_OUTPUT=journal or syslog is left to the library, unwatched.
    EngineWatch(bool showLog, std::string device);
    ~EngineWatch();
    EngineWatch(const EngineWatch&) = delete;
    EngineWatch& operator=(const EngineWatch&) = delete;

    // While it lives, a terminal shows "<what>... N s" once the wait is long.
    class Activity {
      public:
        Activity(EngineWatch& watch, std::string what);
        ~Activity();
        Activity(const Activity&) = delete;
        Activity& operator=(const Activity&) = delete;

      private:
        EngineWatch& m_watch;
    };

    bool ShowsLog() const { return m_showLog; }

  private:
    void Run();
    // Reads what is there within `timeoutMs` and takes its whole lines.
    void ReadLines(int timeoutMs);
    void TakeLine(std::string_view line);
    void ShowProgress();
    void EndActivity();

    bool m_showLog;
    const std::string m_device;
    const bool m_terminal;
    int m_readFd = -1;
    int m_copyFd = -1;  // the user's QV_DEBUG_OUTPUT file, -1 for none

    std::mutex m_readMutex;  // the pipe and the partial line
    std::string m_pending;
    std::atomic<int32_t> m_stop{0};
    std::thread m_thread;

    std::mutex m_mutex;  // guards the activity and the progress line
    std::string m_activity;
    std::chrono::steady_clock::time_point m_activityStart;
    bool m_progressShown = false;
    long long m_shownSeconds = 0;
};

}  // namespace qv::cli

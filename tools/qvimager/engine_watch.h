// What the program watches while the library works: the library's debug
// output, taken over through a pipe so that --log can show it and so that an
// engine that does not answer ends the program at its first command time-out
// instead of after every retry; and, on a terminal, the progress of long
// waits.
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
    // (whose silence is a fault of its own, reported by the command). When
    // the user named QV_DEBUG_OUTPUT it is left alone and nothing is watched.
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

  private:
    void Run();
    void TakeLine(std::string_view line);
    void ShowProgress();
    void EndActivity();

    const bool m_showLog;
    const std::string m_device;
    const bool m_terminal;
    int m_readFd = -1;
    std::atomic<int32_t> m_stop{0};
    std::thread m_thread;

    std::mutex m_mutex;  // guards the activity and the progress line
    std::string m_activity;
    std::chrono::steady_clock::time_point m_activityStart;
    bool m_progressShown = false;
    long long m_shownSeconds = 0;
};

}  // namespace qv::cli

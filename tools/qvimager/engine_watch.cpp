#include "engine_watch.h"

#include "os/process.h"

namespace qv::cli {
namespace {

// A wait shorter than this shows nothing.
constexpr auto kProgressAfter = std::chrono::seconds(1);

}  // namespace

bool IsNoAnswerLine(std::string_view line) {
    return line.find("TIME OUT!!!!") != std::string_view::npos;
}

EngineWatch::EngineWatch(bool showLog, std::string device)
    : m_showLog(showLog), m_device(std::move(device)), m_terminal(os::StandardErrorIsTerminal()) {
    const std::string setting = os::GetEnv("QV_DEBUG_OUTPUT").value_or("");
    if (setting == "journal" || setting == "syslog") {
        // Unwatched: the lines must reach the system log as the library
        // sends them.
    } else if (const auto pipe = os::OpenLinePipe()) {
        if (setting == "stderr") m_showLog = true;
        if (!setting.empty() && setting != "stderr" && setting != "none") {
            m_copyFd = os::OpenForAppend(setting);
        }
        // A file that cannot be opened is left to the library, which says so.
        if (m_copyFd >= 0 || setting.empty() || setting == "stderr" || setting == "none") {
            m_readFd = pipe->readFd;
            os::SetEnv("QV_DEBUG_OUTPUT", pipe->writePath);
        }
    }
    if (m_readFd >= 0 || m_terminal) m_thread = std::thread([this] { Run(); });
}

EngineWatch::~EngineWatch() {
    m_stop.store(1);
    if (m_thread.joinable()) m_thread.join();
    // The read end stays open: the library may still write a line, and a pipe
    // without a reader would end the process. The copy is closed.
    if (m_copyFd >= 0) os::CloseFd(m_copyFd);
}

void EngineWatch::Run() {
    while (m_stop.load() == 0) {
        if (m_readFd >= 0) {
            ReadLines(200);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        ShowProgress();
    }
    if (m_readFd >= 0) ReadLines(0);
}

void EngineWatch::ReadLines(int timeoutMs) {
    // The wait is outside the lock, so that another thread's read of what is
    // already there never waits for it.
    if (timeoutMs > 0 && !os::WaitReadable(m_readFd, timeoutMs)) return;
    char buffer[4096];
    std::lock_guard lock(m_readMutex);
    for (long n; (n = os::ReadWithin(m_readFd, buffer, sizeof buffer, 0)) > 0;) {
        m_pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
            TakeLine(std::string_view(m_pending).substr(0, end + 1));
            m_pending.erase(0, end + 1);
        }
    }
}

void EngineWatch::TakeLine(std::string_view line) {
    if (m_copyFd >= 0) os::WriteAll(m_copyFd, line);
    if (m_showLog) {
        std::lock_guard lock(m_mutex);
        if (m_progressShown) os::WriteStandardError("\r\033[K");
        m_progressShown = false;
        os::WriteStandardError(line);
    }
    if (!m_device.empty() && IsNoAnswerLine(line)) {
        // Every later command would wait as long again; the imager cannot be
        // closed cleanly without the engine either.
        std::lock_guard lock(m_mutex);
        if (m_progressShown) os::WriteStandardError("\r\033[K");
        os::WriteStandardError("qvimager: no answer from the engine on " + m_device +
                               " (is it connected and powered? --log shows the library's side)\n");
        os::ExitNow(1);
    }
}

void EngineWatch::ShowProgress() {
    if (!m_terminal) return;
    std::lock_guard lock(m_mutex);
    if (m_activity.empty()) return;
    const auto waited = std::chrono::steady_clock::now() - m_activityStart;
    if (waited < kProgressAfter) return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
    if (m_progressShown && seconds == m_shownSeconds) return;
    m_shownSeconds = seconds;
    os::WriteStandardError("\r\033[K" + m_activity + "... " + std::to_string(seconds) + " s");
    m_progressShown = true;
}

void EngineWatch::EndActivity() {
    std::lock_guard lock(m_mutex);
    if (m_progressShown) os::WriteStandardError("\r\033[K");
    m_progressShown = false;
    m_activity.clear();
}

EngineWatch::Activity::Activity(EngineWatch& watch, std::string what) : m_watch(watch) {
    if (watch.m_readFd >= 0) watch.ReadLines(0);
    std::lock_guard lock(watch.m_mutex);
    watch.m_activity = std::move(what);
    watch.m_activityStart = std::chrono::steady_clock::now();
}

EngineWatch::Activity::~Activity() {
    m_watch.EndActivity();
}

}  // namespace qv::cli

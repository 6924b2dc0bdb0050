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
    if (!os::GetEnv("QV_DEBUG_OUTPUT")) {
        if (const auto pipe = os::OpenLinePipe()) {
            m_readFd = pipe->readFd;
            os::SetEnv("QV_DEBUG_OUTPUT", pipe->writePath);
        } else if (!showLog) {
            os::SetEnv("QV_DEBUG_OUTPUT", "/dev/null");
        }
    }
    if (m_readFd >= 0 || m_terminal) m_thread = std::thread([this] { Run(); });
}

EngineWatch::~EngineWatch() {
    m_stop.store(1);
    if (m_thread.joinable()) m_thread.join();
    // The read end stays open: the library may still write a line, and a pipe
    // without a reader would end the process.
}

void EngineWatch::Run() {
    std::string pending;
    char buffer[4096];
    while (m_stop.load() == 0) {
        long n = 0;
        if (m_readFd >= 0) {
            n = os::ReadWithin(m_readFd, buffer, sizeof buffer, 200);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            TakeLine(std::string_view(pending).substr(0, end + 1));
            pending.erase(0, end + 1);
        }
        ShowProgress();
    }
}

void EngineWatch::TakeLine(std::string_view line) {
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
    std::lock_guard lock(watch.m_mutex);
    watch.m_activity = std::move(what);
    watch.m_activityStart = std::chrono::steady_clock::now();
}

EngineWatch::Activity::~Activity() {
    m_watch.EndActivity();
}

}  // namespace qv::cli

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/core/configuration.h"
#include "platform/log/output_sink.h"
#include "platform/sound/sound_alsa.h"

namespace qv::platform {
namespace {

constexpr char kDefaultCodePage[] = "CP1252";

struct Snapshot {
    std::shared_ptr<const Configuration> config;
    std::shared_ptr<const OutputSink> debug;
    std::shared_ptr<const OutputSink> trace;
};

// Never destroyed: threads may log while the process exits.
std::mutex& g_mutex = *new std::mutex;
Snapshot& g_current = *new Snapshot;
LogSockets& g_logSockets = *new LogSockets{kJournalSocket, kSyslogSocket};
std::atomic<uint64_t> g_reads{0};

// Needs g_mutex.
void LoadLocked() {
    auto config = std::make_shared<Configuration>();
    config->debugOutput = ReadEnvironment("QV_DEBUG_OUTPUT").value_or("");
    config->trace = ReadEnvironment("QV_PLATFORM_TRACE").value_or("");
    config->codePage = ReadEnvironment("QV_ANSI_CODEPAGE").value_or(kDefaultCodePage);
    config->powerNotify = ReadEnvironment("QV_POWER_NOTIFY").value_or("");
    config->keyboard = ReadEnvironment("QV_KEYBOARD").value_or("");
    config->leds = ReadEnvironment("QV_LEDS").value_or("");
    config->sound = ReadEnvironment("QV_SOUND").value_or("");
    if (!config->sound.empty()) config->soundDirectories = SoundSearchDirectories();
    Snapshot next;
    // Opened afresh at each load: a journal started since, or a log file
    // rotated away, is picked up by the next open of the imager.
    next.debug = OpenDebugSink(config->debugOutput, g_logSockets);
    next.trace = OpenTraceSink(config->trace);
    next.config = std::move(config);
    g_current = std::move(next);
}

}  // namespace

std::optional<std::string> ReadEnvironment(const char* name) {
    g_reads.fetch_add(1);
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

uint64_t EnvironmentReads() {
    return g_reads.load();
}

void LoadConfiguration() {
    std::lock_guard lock(g_mutex);
    LoadLocked();
}

std::shared_ptr<const Configuration> CurrentConfiguration() {
    std::lock_guard lock(g_mutex);
    if (g_current.config == nullptr) LoadLocked();
    return g_current.config;
}

void SetJournalSocketPath(const std::string& path) {
    std::lock_guard lock(g_mutex);
    g_logSockets.journal = path;
}

void SetSyslogSocketPath(const std::string& path) {
    std::lock_guard lock(g_mutex);
    g_logSockets.syslog = path;
}

std::shared_ptr<const OutputSink> DebugSink() {
    std::lock_guard lock(g_mutex);
    if (g_current.config == nullptr) LoadLocked();
    return g_current.debug;
}

std::shared_ptr<const OutputSink> TraceSink() {
    std::lock_guard lock(g_mutex);
    if (g_current.config == nullptr) LoadLocked();
    return g_current.trace;
}

}  // namespace qv::platform

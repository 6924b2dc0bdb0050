// Where whole lines go: standard error, a file opened O_APPEND, the system
// journal or syslog. Each line leaves in one write(2) or one datagram, so lines
// of different threads and processes never mix. Internal to the platform.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qv::platform {

class OutputSink {
  public:
    virtual ~OutputSink() = default;
    virtual void Write(std::string_view text) const = 0;
};

// Where the system's log sockets are; tests point them at sockets of
// their own.
struct LogSockets {
    std::string journal;
    std::string syslog;
};

// The debug output for a QV_DEBUG_OUTPUT setting: "stderr", "journal",
// "syslog", a file, or null (nowhere) for "none" and unset. A journal, syslog
// or file that cannot be had falls back to standard error, which says so once.
std::shared_ptr<const OutputSink> OpenDebugSink(const std::string& setting,
                                                const LogSockets& sockets);

// The two datagram protocols of system logs, both at debug priority.
enum class LogProtocol { kJournal, kSyslog };
// A sink connected to the log socket at `path`; null (errno set) when nothing
// listens there. A log that does not keep up loses lines instead of holding
// the thread that writes them, and says how many once it takes lines again.
std::shared_ptr<const OutputSink> ConnectLogSocket(LogProtocol protocol, const std::string& path);

// Every byte of `text` to `fd`, retrying short writes; gives up on an error.
void WriteAll(int fd, std::string_view text);

// The trace file, or null (no trace) for an empty setting or a file that
// cannot be opened.
std::shared_ptr<const OutputSink> OpenTraceSink(const std::string& path);

// The outputs of the current configuration (see configuration.h).
std::shared_ptr<const OutputSink> DebugSink();
std::shared_ptr<const OutputSink> TraceSink();

}  // namespace qv::platform

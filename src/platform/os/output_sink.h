// Where whole lines go: standard error, a file opened O_APPEND, or the
// system journal. Each line leaves in one write(2) or one datagram, so lines
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

// The debug output for a QV_DEBUG_OUTPUT setting: "stderr", "journal", a
// file, or (empty) the journal when one is running, else standard error. A
// journal or file that cannot be had falls back to standard error, which
// says so once.
std::shared_ptr<const OutputSink> OpenDebugSink(const std::string& setting,
                                                const std::string& journalSocket);
// The trace file, or null (no trace) for an empty setting or a file that
// cannot be opened.
std::shared_ptr<const OutputSink> OpenTraceSink(const std::string& path);

// The outputs of the current configuration (see configuration.h).
std::shared_ptr<const OutputSink> DebugSink();
std::shared_ptr<const OutputSink> TraceSink();

}  // namespace qv::platform

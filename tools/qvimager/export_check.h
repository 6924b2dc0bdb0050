// Why a command ends early. An export that answered -1 is reported by name,
// with the cause the library kept for the calling thread, and ends the
// program with exit status 1, after closing what it opened.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "QVPlatform.h"

namespace qv::cli {

// The calling thread's last failure as the library words it; empty for none.
inline std::string LastFailure() {
    char text[512] = "";
    return QVPlatformGetLastFailure(text, sizeof text) != 0 ? std::string(text) : std::string();
}

class ExportFailed : public std::runtime_error {
  public:
    explicit ExportFailed(std::string exportName, const std::string& cause = LastFailure())
        : std::runtime_error(exportName + " returned -1" + (cause.empty() ? "" : ": " + cause)),
          m_name(std::move(exportName)) {}
    const std::string& ExportName() const { return m_name; }

  private:
    std::string m_name;
};

// Anything else that keeps a command from finishing (the embedded engine
// does not start, a barcode does not come): exit status 1 as well.
class CommandFailed : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Bad usage found only once the environment is known (exit status 2).
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline void Check(const char* exportName, int32_t result) {
    if (result != 1) throw ExportFailed(exportName);
}

}  // namespace qv::cli

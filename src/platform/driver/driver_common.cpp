#include "platform/driver/driver_common.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/core/last_failure.h"
#include "platform/log/debug_output.h"

namespace qv::platform {

void NoteDriver(std::string_view device, std::string_view what) {
    std::string line(device);
    line += ' ';
    line += what;
    line += "\r\n";
    DebugOutputUtf8(line);
}

int DriverFailureCode(std::string_view what, int error) {
    // errno is trusted only when the line quotes it: it may be stale.
    if (error != 0 && what.find(std::strerror(error)) != std::string_view::npos) return error;
    // A line that quotes the binding's value finds fault with the value.
    if (what.starts_with("gpio:") || what.starts_with("unix:")) return EINVAL;
    if (what.find("held by") != std::string_view::npos ||
        what.find("one opener at a time") != std::string_view::npos) {
        return EBUSY;
    }
    return ENODEV;
}

void DiagnoseDriver(std::string_view device, std::string_view what, int code) {
    const int error = errno;
    NoteDriver(device, what);
    std::string line(device);
    line += ' ';
    line += what;
    SetLastFailure(code != 0 ? code : DriverFailureCode(what, error), line);
}

}  // namespace qv::platform

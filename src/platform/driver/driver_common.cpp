#include "platform/driver/driver_common.h"

#include <string>

#include "platform/log/debug_output.h"

namespace qv::platform {

void DiagnoseDriver(std::string_view device, std::string_view what) {
    std::string line(device);
    line += ' ';
    line += what;
    line += "\r\n";
    DebugOutputUtf8(line);
}

}  // namespace qv::platform

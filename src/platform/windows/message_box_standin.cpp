#include <string>

#include "platform/log/debug_output.h"
#include "platform/log/trace.h"
#include "platform/windows/message_box.h"

namespace qv::platform {

int32_t ShowMessageBox(std::u16string_view text, std::u16string_view caption, uint32_t type) {
    std::u16string shown;
    shown.reserve(caption.size() + text.size() + 16);
    shown.append(u"MessageBox [").append(caption).append(u"] ").append(text).append(u"\r\n");
    DebugOutput(shown);

    std::string line = "msgbox ";
    line += QuoteTraceString(text);
    line += ' ';
    line += QuoteTraceString(caption);
    line += ' ';
    line += std::to_string(type);
    TraceLine(line);
    return kIdOk;
}

}  // namespace qv::platform

#include <unistd.h>

#include "platform/debug_output.h"
#include "platform/os/append_output.h"
#include "platform/utf.h"

namespace qv::platform {

void DebugOutputUtf8(std::string_view text) {
    AppendToOutput("QV_DEBUG_OUTPUT", STDERR_FILENO, text);
}

void DebugOutput(std::u16string_view text) {
    DebugOutputUtf8(Utf16ToUtf8(text));
}

}  // namespace qv::platform

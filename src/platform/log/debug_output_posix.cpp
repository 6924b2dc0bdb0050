#include "platform/log/debug_output.h"
#include "platform/log/output_sink.h"
#include "platform/text/utf.h"

namespace qv::platform {

void DebugOutputUtf8(std::string_view text) {
    if (const auto sink = DebugSink()) sink->Write(text);
}

void DebugOutput(std::u16string_view text) {
    DebugOutputUtf8(Utf16ToUtf8(text));
}

}  // namespace qv::platform

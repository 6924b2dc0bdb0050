#include <cstdio>

#include "platform/message_record.h"
#include "platform/sound.h"
#include "platform/trace.h"

namespace qv::platform {

bool PlaySound(std::u16string_view path, uint32_t flags) {
    char tail[32];
    std::snprintf(tail, sizeof tail, " 0x%08X", flags);
    RecordEffect("sound " + QuoteTraceString(path) + tail);
    return true;
}

}  // namespace qv::platform

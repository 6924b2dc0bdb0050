#include <atomic>
#include <cstdio>

#include "platform/core/configuration.h"
#include "platform/log/debug_output.h"
#include "platform/log/trace.h"
#include "platform/sound/sound.h"
#include "platform/sound/sound_alsa.h"
#include "platform/text/utf.h"
#include "platform/windows/message_record.h"

namespace qv::platform {

bool PlaySound(std::u16string_view path, uint32_t flags) {
    // As read when the imager was opened, not on the reader thread.
    const auto config = CurrentConfiguration();
    if (!config->sound.empty()) {
        if (const auto device = ParseSoundConfig(config->sound)) {
            PlayAlsaSound(*device,
                          SoundFileCandidates(Utf16ToUtf8(path), config->soundDirectories));
            return true;
        }
        static std::atomic<bool> reported{false};  // once, not at every barcode
        if (!reported.exchange(true)) {
            DebugOutputUtf8("sound: QV_SOUND=" + config->sound +
                            " is not alsa[:<device>]; using the stand-in\n");
        }
    }
    char tail[32];
    std::snprintf(tail, sizeof tail, " 0x%08X", flags);
    RecordEffect("sound " + QuoteTraceString(path) + tail);
    return true;
}

}  // namespace qv::platform

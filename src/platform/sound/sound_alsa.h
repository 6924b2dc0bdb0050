// Sound through ALSA (QV_SOUND=alsa[:<pcm device>]): WAV files decoded with
// libsndfile, played on a worker so the caller never waits for the card.
// Internal to the platform layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_api.h"

namespace qv::platform {

// The PCM device of "alsa" ("default") or "alsa:<device>"; nullopt otherwise.
QV_PLATFORM_API std::optional<std::string> ParseSoundConfig(std::string_view value);

// The directories a sound file's bare name is looked for in: the
// application's own, $XDG_DATA_HOME/qvimager/sounds (else
// ~/.local/share/qvimager/sounds), /usr/local/share/qvimager/sounds,
// /usr/share/qvimager/sounds. Reads the environment, so it is called at open.
std::vector<std::string> SoundSearchDirectories();

// The files a handheld path such as "\Nand\QVApp\QV_Barcode.wav" may be on
// this system, first match wins: the path with '/' for '\' (a relative one
// taken from the first of `dirs`, the application's), then its file name in
// each of `dirs`. Empty for an empty path.
QV_PLATFORM_API std::vector<std::string> SoundFileCandidates(std::string_view path,
                                                             const std::vector<std::string>& dirs);

// Starts playing the first of `candidates` that exists on `device` and
// returns at once; a sound still playing is cut short. A missing file or a
// device that cannot be opened is said once on the debug output and skipped.
QV_PLATFORM_API void PlayAlsaSound(const std::string& device, std::vector<std::string> candidates);

// Waits up to `milliseconds` of library time until nothing plays; false if
// something still does.
QV_PLATFORM_API bool WaitForAlsaSound(uint32_t milliseconds);

}  // namespace qv::platform

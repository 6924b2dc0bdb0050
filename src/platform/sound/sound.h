// Sound playback of the stand-in: nothing is heard; each request is recorded
// and traced as sound "<path>" <flags 0xNNNNNNNN> and returns at once.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

inline constexpr uint32_t kSoundAsync = 0x00000001;
inline constexpr uint32_t kSoundFileName = 0x00020000;

QV_PLATFORM_API bool PlaySound(std::u16string_view path, uint32_t flags);

}  // namespace qv::platform

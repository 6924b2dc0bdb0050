// The session-wide keyboard layout systemd-localed keeps (X11Layout,
// X11Model, X11Variant, X11Options of org.freedesktop.locale1 on the
// system bus). Internal to the platform layer.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/keyboard/keyboard_setting.h"

namespace qv::platform {

// How long an open waits for localed's answer, in library milliseconds.
inline constexpr uint32_t kLocaledWaitMs = 500;

// Nothing when there is no bus, no localed, no answer within the wait, or
// no layout set.
std::optional<LayoutNames> ReadLocaledLayout();

}  // namespace qv::platform

// Finds the layout the session types in, asking the environment,
// systemd-localed and /etc/default/keyboard in turn. Internal to the
// platform layer.
#pragma once

#include "platform/keyboard/keyboard_setting.h"

namespace qv::platform {

LayoutChoice ReadSessionLayout(const KeyboardSetting& setting);

}  // namespace qv::platform

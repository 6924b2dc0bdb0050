// The record of what the stand-ins did: every key event, clipboard change,
// sound, LED request and posted or sent message, as its trace line (see
// docs/platform.md). Each effect is kept in memory for tests and appended to
// the trace file, both in the same order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_api.h"

namespace qv::platform {

// At most this many lines are kept; the oldest go first.
inline constexpr size_t kMaxRecordedEffects = 100000;

// Records `line` (no newline) and appends it to the trace.
QV_PLATFORM_API void RecordEffect(std::string line);

// The recorded lines, oldest first; with `kind` (e.g. "key") only the lines
// of that kind.
QV_PLATFORM_API std::vector<std::string> RecordedEffects(std::string_view kind = {});
QV_PLATFORM_API void ClearRecordedEffects();

}  // namespace qv::platform

// Appending whole lines to the file an environment variable names, as the
// debug output and the trace both do. Internal to the platform layer.
#pragma once

#include <string_view>

namespace qv::platform {

// Writes `text` with one write(2) where the system allows, to the file named
// by the variable `variable` (opened O_APPEND, so lines of different threads
// and processes never mix), or to `fallbackFd` when the variable is unset or
// the file cannot be opened (-1: write nothing). The variable is read on
// every call, so output can be redirected at any time.
void AppendToOutput(const char* variable, int fallbackFd, std::string_view text);

}  // namespace qv::platform

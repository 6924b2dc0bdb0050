// The process's environment and its executable's directory: the library and
// the platform read their configuration from the environment when they open
// a device, so the program sets it up before it opens the imager.
#pragma once

#include <optional>
#include <string>

namespace qv::cli::os {

std::optional<std::string> GetEnv(const char* name);
void SetEnv(const char* name, const std::string& value);
void UnsetEnv(const char* name);

// The directory of the running executable, without a trailing '/'.
std::string ExecutableDirectory();

}  // namespace qv::cli::os

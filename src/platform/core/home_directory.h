// The user's home directory: $HOME, else the password database's entry.
#pragma once

#include <string>

namespace qv::platform {

// Empty when neither names one.
std::string HomeDirectory();

}  // namespace qv::platform

// The texts of --help: the program's and each command's.
#pragma once

#include <optional>
#include <string>

#include "command_line.h"

namespace qv::cli {

// The whole help of a command, or of the program for nullopt.
std::string HelpText(std::optional<Command> command);

// The one-line synopsis shown with a usage error.
std::string UsageLine(std::optional<Command> command);

}  // namespace qv::cli

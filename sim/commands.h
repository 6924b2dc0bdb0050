// The console language of ro25-sim: barcode lines ("12 TEXT", "code39 TEXT")
// and commands (suspend, resume, fault ..., help). Kept apart from the
// program so it can be tested against a simulator in the same process.
#pragma once

#include <string>
#include <string_view>

#include "sim/simulator.h"

namespace qv::sim {

struct CommandOutcome {
    std::string reply;  // what to print; may be several lines
    bool ok = true;
    bool quit = false;
};

CommandOutcome RunCommand(Simulator& sim, std::string_view line);

// A barcode line's text with \\ and \xNN escapes undone; false when malformed.
bool UnescapeText(std::string_view text, std::string& out);

std::string HelpText();

}  // namespace qv::sim

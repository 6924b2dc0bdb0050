#include "commands.h"

#include "help_text.h"
#include "output.h"

namespace qv::cli {

int RunCommand(const Invocation& inv, os::InterruptWatch& watch) {
    switch (inv.command) {
        case Command::Help:
            PrintLine(HelpText(inv.helpFor));
            return 0;
        case Command::Scan:
            return RunScan(inv, watch);
        case Command::Get:
            return RunGet(inv);
        case Command::Set:
            return RunSet(inv);
        case Command::Version:
            return RunVersion(inv);
        case Command::FactoryReset:
            return RunFactoryReset(inv);
        case Command::Test:
            return RunTest(inv);
        case Command::Demo:
            return RunDemo(inv, watch);
    }
    return 0;
}

}  // namespace qv::cli

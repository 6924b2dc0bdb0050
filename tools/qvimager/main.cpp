// qvimager: the command-line program of the RO25 imager library.
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "export_check.h"
#include "help_text.h"
#include "os/interrupt_watch.h"
#include "output.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

}  // namespace

int main(int argc, char** argv) {
    using namespace qv::cli;
    // Before any thread starts, so that the signals stay blocked in all of them.
    os::InterruptWatch watch;

    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParseOutcome parsed = ParseCommandLine(args);
    if (!parsed.invocation) {
        PrintError("qvimager: " + parsed.error);
        PrintError(UsageLine(parsed.errorFor));
        return kExitUsage;
    }
    const Invocation& inv = *parsed.invocation;
    try {
        return RunCommand(inv, watch) == 0 ? kExitDone : kExitFailed;
    } catch (const UsageError& e) {
        PrintError(std::string("qvimager: ") + e.what());
        PrintError(UsageLine(inv.command));
        return kExitUsage;
    } catch (const ExportFailed& e) {
        PrintError(std::string("qvimager: ") + e.what() +
                   (e.ExportName() == "QVImagerOpen"
                        ? " (no imager there? --log shows the library's reasons)"
                        : " (--log shows the library's reasons)"));
        return kExitFailed;
    } catch (const std::exception& e) {
        PrintError(std::string("qvimager: ") + e.what());
        return kExitFailed;
    }
}

// qvimager: the command-line program of the RO25 imager library.
#include <csignal>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "QV_Rizoviv2I_RO25.h"
#include "command_line.h"
#include "commands.h"
#include "export_check.h"
#include "help_text.h"
#include "os/interrupt_watch.h"
#include "os/process.h"
#include "output.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// What a shell shows for a program that SIGPIPE ended: `| head` scripts see
// the same as with other programs, and no message clutters the terminal.
constexpr int kExitPipeClosed = 128 + SIGPIPE;

// The tool's version is the header's it was built with; the library's is
// that of the file actually loaded (libQV_Rizoviv2I_RO25.so.X.Y.Z), which
// may be another release.
void PrintVersions() {
    using namespace qv::cli;
    const std::string file = os::LoadedFileOf(reinterpret_cast<const void*>(&QVImagerOpen));
    const size_t so = file.rfind(".so.");
    const std::string version = so == std::string::npos ? "unknown" : file.substr(so + 4);
    if (JsonOutput()) {
        PrintJson(JsonObject()
                      .Add("qvimager", QV_IMAGER_VERSION_STRING)
                      .Add("library", version)
                      .Add("file", file));
        return;
    }
    PrintLine("qvimager " QV_IMAGER_VERSION_STRING);
    PrintLine("libQV_Rizoviv2I_RO25 " + version + (file.empty() ? "" : " (" + file + ")"));
}

bool AsksForVersion(const std::vector<std::string_view>& args) {
    for (std::string_view arg : args) {
        if (arg == "--version") return true;
        if (arg != "--trace" && arg != "--log" && arg != "--json") return false;
    }
    return false;
}

bool AsksForJson(const std::vector<std::string_view>& args) {
    for (std::string_view arg : args) {
        if (arg == "--json") return true;
        if (arg != "--trace" && arg != "--log") return false;
    }
    return false;
}

// A failed write to standard output turns whatever the command did into a
// failure: a script must not take a cut-off output for a complete one.
int Finished(int status) {
    if (!qv::cli::OutputFailed()) return status;
    if (qv::cli::OutputPipeClosed()) return kExitPipeClosed;
    qv::cli::PrintError("qvimager: cannot write the output: " + qv::cli::OutputError());
    return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qv::cli;
    // Before any thread starts, so that the signals stay blocked in all of them.
    os::InterruptWatch watch;

    // A closed pipe is an output error like any other: the program closes the
    // imager and ends, instead of being killed in the middle of a command.
    std::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string_view> args(argv + 1, argv + argc);
    SetJsonOutput(AsksForJson(args));
    if (AsksForVersion(args)) {
        PrintVersions();
        return Finished(kExitDone);
    }
    const ParseOutcome parsed = ParseCommandLine(args);
    if (!parsed.invocation) {
        PrintError("qvimager: " + parsed.error);
        PrintError(UsageLine(parsed.errorFor));
        return kExitUsage;
    }
    const Invocation& inv = *parsed.invocation;
    try {
        // A command's own status (a scan cut short by a signal) passes through.
        return Finished(RunCommand(inv, watch));
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

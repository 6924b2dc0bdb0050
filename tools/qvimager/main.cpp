// qvimager: the command-line program of the RO25 imager library.
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

// The tool's version is the header's it was built with; the library's is
// that of the file actually loaded (libQV_Rizoviv2I_RO25.so.X.Y.Z), which
// may be another release.
void PrintVersions() {
    using qv::cli::PrintLine;
    PrintLine("qvimager " QV_IMAGER_VERSION_STRING);
    const std::string file =
        qv::cli::os::LoadedFileOf(reinterpret_cast<const void*>(&QVImagerOpen));
    const size_t so = file.rfind(".so.");
    const std::string version = so == std::string::npos ? "unknown" : file.substr(so + 4);
    PrintLine("libQV_Rizoviv2I_RO25 " + version + (file.empty() ? "" : " (" + file + ")"));
}

bool AsksForVersion(const std::vector<std::string_view>& args) {
    for (std::string_view arg : args) {
        if (arg == "--version") return true;
        if (arg != "--trace" && arg != "--log") return false;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qv::cli;
    // Before any thread starts, so that the signals stay blocked in all of them.
    os::InterruptWatch watch;

    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (AsksForVersion(args)) {
        PrintVersions();
        return kExitDone;
    }
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

// version, factory-reset and test.
#include <string>

#include "QV_Rizoviv2I_RO25.h"
#include "commands.h"
#include "export_check.h"
#include "imager_session.h"
#include "output.h"

namespace qv::cli {
namespace {

SessionSetup SetupOf(const Invocation& inv) {
    return {inv.trace, inv.log, false};
}

}  // namespace

int RunVersion(const Invocation& inv) {
    ImagerSession session(SetupOf(inv));
    session.Open();
    char16_t firmware[256] = {}, boot[256] = {}, hardware[256] = {};
    Check("QVImagerGetVersion", QVImagerGetVersion(firmware, boot, hardware));
    // The export succeeds whatever the engine answered; silence leaves the
    // three texts empty.
    if (firmware[0] == 0 && boot[0] == 0 && hardware[0] == 0) {
        session.Close();
        throw CommandFailed(
            "no answer from the engine on " +
            (session.Device().empty() ? std::string("the embedded simulator") : session.Device()));
    }
    const std::string texts[] = {ToUtf8(TextOf(firmware, 256)), ToUtf8(TextOf(boot, 256)),
                                 ToUtf8(TextOf(hardware, 256))};
    if (JsonOutput()) {
        PrintJson(
            JsonObject().Add("firmware", texts[0]).Add("boot", texts[1]).Add("hardware", texts[2]));
    } else {
        PrintLine("firmware: " + texts[0]);
        PrintLine("boot:     " + texts[1]);
        PrintLine("hardware: " + texts[2]);
    }
    session.Close();
    return 0;
}

int RunFactoryReset(const Invocation& inv) {
    ImagerSession session(SetupOf(inv));
    session.Open();
    Check("QVImagerFactoryReset", QVImagerFactoryReset());
    PrintLine("factory reset sent; the engine carries the library's code IDs again");
    session.Close();
    return 0;
}

int RunTest(const Invocation& inv) {
    ImagerSession session(SetupOf(inv));
    session.Open();
    Check("QVImagerTestCommand", QVImagerTestCommand());
    PrintLine("test command sent");
    session.Close();
    return 0;
}

}  // namespace qv::cli

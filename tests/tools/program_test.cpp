// The built qvimager, run as a user runs it: what it refuses, its help, and
// an export that fails.
#include <gtest/gtest.h>

#include "QV_Rizoviv2I_RO25.h"
#include "tests/tools/program_runner.h"

namespace tools_test {
namespace {

TEST(Program, BadUsageEndsWithStatus2AndSaysWhy) {
    Program qvimager;
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"fly"}, "unknown command \"fly\""},
        {{"scan", "--mode", "fax"}, "--mode"},
        {{"set", "code39"}, "nothing to change"},
        {{"get", "nosuch"}, "unknown symbology"},
        // Known only once the program sees that no device is configured.
        {{"scan"}, "--barcode"},
    };
    for (const Case& c : cases) {
        const Result r = qvimager.Run(c.args);
        EXPECT_EQ(r.status, 2) << c.said;
        EXPECT_TRUE(Contains(r.err, c.said)) << r.err;
        EXPECT_TRUE(Contains(r.err, "--help for more")) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(Program, HelpForTheProgramAndEveryCommandAndTheVersions) {
    Program qvimager;
    Result r = qvimager.Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Contains(r.out, "usage: qvimager"));
    EXPECT_TRUE(Contains(r.out, "exit status"));
    for (std::string command : {"scan", "get", "set", "version", "factory-reset", "test", "demo"}) {
        r = qvimager.Run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_TRUE(Contains(r.out, "usage: qvimager " + command)) << r.out;
    }
    r = qvimager.Run({"help", "scan"});
    EXPECT_TRUE(Contains(r.out, "--mode MODE"));

    // The program's version, and that of the library file it loaded.
    r = qvimager.Run({"--version"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "qvimager " QV_IMAGER_VERSION_STRING "\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "libQV_Rizoviv2I_RO25 " QV_IMAGER_VERSION_STRING " (/")) << r.out;
}

TEST(Program, AFailingExportEndsWithStatus1AndIsNamed) {
    Program qvimager;
    // A device is configured, but nothing is there.
    qvimager.SetEnv("QV_PORT_COM2", qvimager.Dir() + "/no-such-tty");
    Result r = qvimager.Run({"version"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "QVImagerOpen returned -1")) << r.err;

    r = qvimager.Run({"--trace", "test"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "--trace needs the embedded simulator")) << r.err;

    r = qvimager.Run({"scan", "--barcode", "code39:X"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "--barcode needs the embedded simulator")) << r.err;
}

}  // namespace
}  // namespace tools_test

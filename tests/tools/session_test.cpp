// The built qvimager, run as a user runs it, against the engine simulator
// it starts inside itself. Only outcomes are checked, never how long they take.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

#include "sim/simulator.h"
#include "tests/tools/program_runner.h"

namespace tools_test {
namespace {

TEST(Session, VersionFromTheEmbeddedEngineWithTraceAndLog) {
    Program qvimager;
    Result r = qvimager.Run({"version"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "firmware: RO25 FW 2.14.0\n"));
    EXPECT_TRUE(Contains(r.out, "boot:     RO25 BOOT 1.03\n"));
    EXPECT_TRUE(Contains(r.out, "hardware: RO25 HW REV B\n"));
    EXPECT_FALSE(Contains(r.out, "trace "));
    EXPECT_FALSE(Contains(r.err, "[RO25]"));

    r = qvimager.Run({"--trace", "--log", "version"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "trace H->E #")) << r.out;
    EXPECT_TRUE(Contains(r.out, " STATUS_QUERY {30 C6, 30 C0, 30 C2}")) << r.out;
    EXPECT_TRUE(Contains(r.out, "trace E->H #")) << r.out;
    EXPECT_TRUE(Contains(r.out, "STATUS_REPLY")) << r.out;
    EXPECT_TRUE(Contains(r.err, "[RO25]Check init")) << r.err;
}

TEST(Session, DemoRunsAgainAndAgain) {
    Program qvimager;
    for (int run = 1; run <= 2; ++run) {
        const Result r = qvimager.Run({"demo"});
        ASSERT_EQ(r.status, 0) << "run " << run << "\n" << r.out << r.err;
        EXPECT_TRUE(Contains(r.out, "firmware  RO25 FW 2.14.0")) << r.out;
        EXPECT_TRUE(Contains(r.out, "barcode 1:  12 Code 39   \"QV-DEMO-39\"")) << r.out;
        EXPECT_TRUE(
            Contains(r.out, "barcode 2:  37 QR Code   \"https://example.com/qvimager?demo=1\""))
            << r.out;
        EXPECT_TRUE(Contains(r.out, "barcode 3:   9 Code 128  \"Code 128: 0123456789\"")) << r.out;
        // The second run finds the options the first one set, and changes them back.
        const std::string set = run == 1 ? "1,0,1,0" : "1,1,0,0";
        EXPECT_TRUE(Contains(r.out, "QVImagerSetCode39Setting(" + set + "): ok")) << r.out;
        EXPECT_TRUE(Contains(r.out, "QVImagerGetCode39Setting: " + set + " (changed)")) << r.out;
        EXPECT_TRUE(Contains(r.out, "QVImagerGetCode39Setting: " + set + " (the option survived)"))
            << r.out;
        EXPECT_TRUE(Contains(r.out, "demo done in")) << r.out;
    }
}

TEST(Session, ScanInEveryReceiveMode) {
    Program qvimager;
    Result r = qvimager.Run({"scan", "--barcode", "code39:ONE", "--barcode", "datamatrix:Two 2"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "barcode 1: 12 Code 39 \"ONE\"")) << r.out;
    EXPECT_TRUE(Contains(r.out, "barcode 2: 17 Data Matrix \"Two 2\"")) << r.out;
    EXPECT_TRUE(Contains(r.out, "done: 2 barcodes, scan stopped, imager closed")) << r.out;

    r = qvimager.Run({"scan", "--mode", "callback", "--barcode", "qr:cb"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "barcode 1: 37 QR Code \"cb\"")) << r.out;

    r = qvimager.Run({"scan", "--mode", "keyboard", "--barcode", "code128:aB&"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "typed \"aB&")) << r.out;
    EXPECT_TRUE(Contains(r.out, "key strokes: +A -A +Shift +B -B -Shift +Shift +7 -7 -Shift"))
        << r.out;

    r = qvimager.Run({"scan", "--mode", "clipboard", "--barcode", "ean13:4006381333931"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "clipboard \"4006381333931\"")) << r.out;
}

TEST(Session, SettingsSurviveFromOneRunToTheNext) {
    Program qvimager;
    // The default state directory, under the user's home.
    const std::string home = qvimager.Dir() + "/home";
    qvimager.SetEnv("XDG_STATE_HOME", std::nullopt);
    qvimager.SetEnv("HOME", home);
    Result r;
    // Each twice: a value already stored is saved too, though nothing is written.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"set", "code39", "--enable", "1", "--options", "1,0,1,0"},
          std::vector<std::string>{"set", "tlc39", "--options", ",Z"},
          std::vector<std::string>{"set", "general", "--security-level", "2", "--dpm", "1,,"}}) {
        for (int run = 0; run < 2; ++run) {
            r = qvimager.Run(args);
            ASSERT_EQ(r.status, 0) << args[1] << " run " << run << r.out << r.err;
        }
    }

    // A new process, a new engine: what comes back was applied from the files.
    r = qvimager.Run({"get", "code39"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Code 39 (12)\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "enable            1\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "options (Code39)  1,0,1,0\n")) << r.out;
    r = qvimager.Run({"get", "tlc39"});
    EXPECT_TRUE(Contains(r.out, "options (TLC39)   ")) << r.out;
    EXPECT_TRUE(Contains(r.out, ",90\n")) << r.out;  // 'Z'
    r = qvimager.Run({"get", "general"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "security level    2\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "DPM               1,")) << r.out;
    r = qvimager.Run({"get", "all"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "   12 Code 39                      1\n")) << r.out;
    // Changing one flag left the others as the engine had them (Aztec is on
    // at the factory), also in the saved flags applied at this open.
    EXPECT_TRUE(Contains(r.out, "    2 Aztec                        1\n")) << r.out;

    namespace fs = std::filesystem;
    for (const char* file : {"BarcodeRO25Enable.dat", "BarcodeRO25Detail.dat",
                             "BarcodeRO25Other.dat", "registry.reg"}) {
        EXPECT_TRUE(fs::exists(home + "/.local/state/qvimager/" + file)) << file;
    }
    EXPECT_FALSE(fs::exists(qvimager.Dir() + "/BarcodeRO25Enable.dat"));
}

TEST(Session, ASaveThatFailsEndsWithStatus1AndNamesTheFile) {
    Program qvimager;
    // A state directory that cannot be made (even by root): its parent is a file.
    const std::string blocked = qvimager.Dir() + "/blocked";
    std::ofstream(blocked) << "a file\n";
    qvimager.SetEnv("XDG_STATE_HOME", blocked);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"set", "code39", "--enable", "1"},
          std::vector<std::string>{"set", "code39", "--options", "1,0,1,0"},
          std::vector<std::string>{"set", "general", "--security-level", "2"}}) {
        const Result r = qvimager.Run(args);
        EXPECT_EQ(r.status, 1) << args[1] << args[2] << r.out;
        EXPECT_TRUE(Contains(r.err, "saving them to " + blocked + "/qvimager/BarcodeRO25"))
            << r.err;
    }
}

TEST(Session, AnEngineThatNeverAnswersIsNamedWellBeforeItsRetriesEnd) {
    Program qvimager;
    // A log the user captures does not hide the silence either.
    const std::string file = qvimager.Dir() + "/debug.log";
    for (const bool captured : {false, true})
        for (const char* command : {"version", "get"}) {
            SCOPED_TRACE(captured ? "QV_DEBUG_OUTPUT=file" : "QV_DEBUG_OUTPUT unset");
            // A fresh engine each time: the program leaves at once, port still
            // open, and a pseudo-terminal keeps the exclusive mode of its last
            // opener while its master is open, which only root may override.
            qv::sim::Simulator::Options options;
            options.registerDriver = false;
            options.powerSocket = false;
            qv::sim::Simulator device(options);
            ASSERT_TRUE(device.Start());
            qv::sim::Faults silent;
            silent.silent = true;
            device.SetFaults(silent);
            qvimager.SetEnv("QV_PORT_COM2", device.SlavePath());
            qvimager.SetEnv("QV_DRIVER_BAR1", "unix:" + device.DriverSocketPath());
            qvimager.SetEnv("QV_DEBUG_OUTPUT", captured ? std::optional(file) : std::nullopt);
            ::unlink(file.c_str());
            const auto start = std::chrono::steady_clock::now();
            const Result r = qvimager.Run(command == std::string("get")
                                              ? std::vector<std::string>{"get", "code39"}
                                              : std::vector<std::string>{"version"});
            const auto took = std::chrono::steady_clock::now() - start;
            EXPECT_EQ(r.status, 1) << command << r.out;
            EXPECT_TRUE(Contains(r.err, "no answer from the engine on " + device.SlavePath()))
                << r.err;
            EXPECT_LT(took, std::chrono::seconds(10)) << command;
            if (captured) {
                EXPECT_TRUE(Contains(test_support::ReadFile(file), "TIME OUT!!!!"));
            }
        }
}

// A signal stops the scan and closes the imager; a count not reached makes
// it a failure with the shell's status for that signal.
TEST(Session, ASignalStopsTheScanAndClosesTheImager) {
    struct Case {
        const char* count;
        int signal;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"0", SIGINT, 0, "interrupted: 1 barcode, scan stopped, imager closed"},
        {"3", SIGINT, 130, "interrupted: 1 of 3 barcodes, scan stopped, imager closed"},
        {"3", SIGTERM, 143, "interrupted: 1 of 3 barcodes, scan stopped, imager closed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("--count ") + c.count + ", signal " + std::to_string(c.signal));
        Program qvimager;
        bool sent = false;
        const Result r =
            qvimager.Run({"scan", "--count", c.count, "--timeout", "0", "--barcode", "code39:X"},
                         [&](pid_t pid, const std::string& out) {
                             if (!sent && Contains(out, "barcode 1:")) {
                                 sent = true;
                                 ::kill(pid, c.signal);  // the child this test started
                             }
                         });
        EXPECT_TRUE(sent);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(Contains(r.out, c.says)) << r.out;
    }
}

// The engine's device goes away while a scan waits: the library's message
// ends the scan with status 1 and says why, within a second.
TEST(Session, ADeviceThatGoesAwayEndsTheScanWithStatus1) {
    qv::sim::Simulator::Options options;
    options.registerDriver = false;
    options.powerSocket = false;
    qv::sim::Simulator device(options);
    ASSERT_TRUE(device.Start());
    Program qvimager;
    qvimager.SetEnv("QV_PORT_COM2", device.SlavePath());
    qvimager.SetEnv("QV_DRIVER_BAR1", "unix:" + device.DriverSocketPath());
    std::optional<std::chrono::steady_clock::time_point> unplugged;
    const Result r = qvimager.Run({"scan", "--count", "0"}, [&](pid_t, const std::string& out) {
        if (!unplugged && Contains(out, "scanning")) {
            device.Stop();
            unplugged = std::chrono::steady_clock::now();
        }
    });
    ASSERT_TRUE(unplugged);
    EXPECT_LT(std::chrono::steady_clock::now() - *unplugged, std::chrono::seconds(1));
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_TRUE(Contains(r.err, "the engine's device went away")) << r.err;
}

TEST(Session, MaintenanceCommands) {
    Program qvimager;
    Result r = qvimager.Run({"test"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "test command sent")) << r.out;
    r = qvimager.Run({"factory-reset"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "factory reset sent")) << r.out;
}

TEST(Session, ADeviceNamedByTheEnvironmentIsUsedInsteadOfTheEmbeddedEngine) {
    // The device is a simulator of this test process, reached as an outside
    // program reaches one: its pseudo-terminal and its driver socket.
    qv::sim::Simulator::Options options;
    options.registerDriver = false;
    options.powerSocket = false;
    options.engine.firmwareVersion = "OUTSIDE FW 9";
    qv::sim::Simulator device(options);
    ASSERT_TRUE(device.Start());
    Program qvimager;
    qvimager.SetEnv("QV_PORT_COM2", device.SlavePath());
    qvimager.SetEnv("QV_DRIVER_BAR1", "unix:" + device.DriverSocketPath());

    const Result r = qvimager.Run({"--trace", "version"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "firmware: OUTSIDE FW 9\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "trace ")) << r.out;
    EXPECT_TRUE(Contains(r.err, "--trace needs the embedded simulator")) << r.err;
    EXPECT_GT(device.CountReceived(0x43), 0u);  // its STATUS_QUERY came here
}

TEST(Session, ABarcodeThatNeverComesEndsTheScanWithStatus1) {
    Program qvimager;
    // Australian Post is off in a factory-fresh engine, so it is never read.
    const Result r = qvimager.Run({"scan", "--timeout", "1", "--barcode", "australianpost:1234"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "no barcode within 1 s")) << r.err;
    EXPECT_TRUE(Contains(r.out, "scanning (message), 1 barcode")) << r.out;
}

TEST(Session, AllFlagsAtOnceAndTheCommonUpcEanOptions) {
    Program qvimager;
    Result r = qvimager.Run({"set", "all", "--enable", "0"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    r = qvimager.Run({"set", "upcean", "--options", ",,,,X,"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    r = qvimager.Run({"get", "upcean"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "UPC/EAN common options\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, ",88,")) << r.out;  // 'X' in the fifth place
    r = qvimager.Run({"get", "all"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(Contains(r.out, " 1\n")) << r.out;  // every flag off, also after reopening
}

}  // namespace
}  // namespace tools_test

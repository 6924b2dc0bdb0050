// What a script relies on: output errors end the program with status 1 (a
// closed pipe quietly with 141) and close the imager, JSON keys that do not
// depend on the mode, --json lines parse, text comes out in UTF-8 whatever the
// engine's code page, and a failed open says why without --log.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "sim/simulator.h"
#include "tests/tools/program_runner.h"

namespace tools_test {
namespace {

// True when Python's json module parses every line of `out`; what it says
// otherwise goes to the test's standard error.
bool EveryLineIsJson(const std::string& out) {
    std::FILE* python = ::popen(
        "python3 -c 'import json,sys\nfor line in sys.stdin.readlines(): json.loads(line)'", "w");
    std::fwrite(out.data(), 1, out.size(), python);
    return ::pclose(python) == 0;
}

TEST(Script, AnOutputThatCannotBeWrittenEndsWithStatus1) {
    const std::vector<std::vector<std::string>> commands = {
        {"version"},
        {"--json", "get", "code39"},
        {"scan", "--barcode", "code39:FULL"},
        {"--version"},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(args.back());
        Program qvimager;
        qvimager.SetOutputFile("/dev/full");
        const Result r = qvimager.Run(args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(Contains(r.err, "qvimager: cannot write the output: No space left on device"))
            << r.err;
    }
}

// `| head -1`: the program stops, closes the imager and ends quietly with
// the status a shell shows for SIGPIPE.
TEST(Script, AClosedPipeClosesTheImagerAndEndsQuietlyWithStatus141) {
    qv::sim::Simulator::Options options;
    options.registerDriver = false;
    options.powerSocket = false;
    options.engine.decodeMs = 20;
    qv::sim::Simulator device(options);
    ASSERT_TRUE(device.Start());
    for (int i = 0; i < 6; ++i)
        device.QueueBarcode(12, "PIPE-" + std::to_string(i));
    for (const char* json : {"--json", "--log"}) {
        SCOPED_TRACE(json);
        Program qvimager;
        qvimager.SetEnv("QV_PORT_COM2", device.SlavePath());
        qvimager.SetEnv("QV_DRIVER_BAR1", "unix:" + device.DriverSocketPath());
        qvimager.CloseOutputAfterLines(1);  // | head -1
        const Result r = qvimager.Run({json, "scan", "--count", "0", "--timeout", "10"});
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.status, 141) << r.err;
        EXPECT_FALSE(Contains(r.err, "cannot write the output")) << r.err;
        // Closed, not killed: the engine was switched off.
        EXPECT_FALSE(device.Lines().power);
    }
}

// The keys of a barcode's JSON object do not depend on how it was handed over.
TEST(Script, EveryScanModeGivesTheSameJsonKeys) {
    const std::regex key(R"re("([a-z_]+)":)re");
    std::optional<std::vector<std::string>> first;
    for (const char* mode : {"message", "callback", "keyboard", "clipboard"}) {
        SCOPED_TRACE(mode);
        Program qvimager;
        const Result r = qvimager.Run({"--json", "scan", "--mode", mode, "--barcode", "code39:AB"});
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_TRUE(EveryLineIsJson(r.out)) << r.out;
        std::vector<std::string> keys;
        for (std::sregex_iterator it(r.out.begin(), r.out.end(), key), end; it != end; ++it)
            keys.push_back((*it)[1]);
        if (!first) first = keys;
        EXPECT_EQ(keys, *first) << r.out;
        EXPECT_EQ(keys, (std::vector<std::string>{"barcode", "mode", "symbology", "name", "text",
                                                  "key_strokes"}));
    }
}

TEST(Script, JsonLinesParseAndHoldTheValues) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> holds;
    };
    const std::vector<Case> cases = {
        {{"--json", "scan", "--barcode", "qr:say \"hi\"\\ \t end", "--barcode", "code39:PLAIN"},
         {"{\"barcode\":1,\"mode\":\"message\",\"symbology\":37,\"name\":\"QR Code\","
          "\"text\":\"say \\\"hi\\\"\\\\ \\u0009 end\",\"key_strokes\":null}",
          "\"text\":\"PLAIN\""}},
        {{"--json", "get", "code39"}, {"{\"symbology\":12,\"name\":\"Code 39\",\"enable\":1,"}},
        {{"--json", "get", "general"}, {"\"security_level\":", "\"dpm\":["}},
        {{"--json", "get", "all"}, {"{\"symbology\":1,\"name\":\"Australian Post\",\"enable\":0}"}},
        {{"--json", "version"}, {"{\"firmware\":\""}},
        {{"--json", "--version"}, {"{\"qvimager\":\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        Program qvimager;
        const Result r = qvimager.Run(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_FALSE(r.out.empty());
        EXPECT_TRUE(EveryLineIsJson(r.out)) << r.out;
        for (const std::string& part : c.holds)
            EXPECT_TRUE(Contains(r.out, part)) << part << "\n" << r.out;
    }
}

TEST(Script, TextComesOutInUtf8WhateverTheEnginesCodePage) {
    struct Case {
        std::optional<std::string> codePage;
        std::string text;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {std::nullopt, "héllo wörld", 0, "\"héllo wörld\""},
        {"CP1252", "1 € für Käse", 0, "\"1 € für Käse\""},
        {"ISO-8859-15", "1 € für Käse", 0, "\"1 € für Käse\""},
        {"UTF-8", "日本 ✓", 0, "\"日本 ✓\""},
        // Not to be had in the engine's code page: said, not garbled.
        {"ISO-8859-1", "1 €", 1,
         "the engine's code page ISO-8859-1 (QV_ANSI_CODEPAGE) cannot hold"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage.value_or("(unset)"));
        Program qvimager;
        qvimager.SetEnv("QV_ANSI_CODEPAGE", c.codePage);
        const Result r = qvimager.Run({"scan", "--barcode", "qr:" + c.text});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(Contains(r.out + r.err, c.says)) << r.out << r.err;
    }
}

TEST(Script, AFailedOpenSaysWhyWithoutLog) {
    test_support::TempDir dir;
    const std::string file = dir.Path() + "/debug.log";
    for (const std::optional<std::string>& output :
         {std::optional<std::string>(), std::optional<std::string>(file)}) {
        SCOPED_TRACE(output.value_or("(unset)"));
        Program qvimager;
        qvimager.SetEnv("QV_PORT_COM2", "/dev/nonexistent");
        qvimager.SetEnv("QV_DRIVER_BAR1", "none");
        qvimager.SetEnv("QV_DEBUG_OUTPUT", output);
        const Result r = qvimager.Run({"version"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Contains(r.err,
                             "qvimager: QVImagerOpen returned -1: cannot open /dev/nonexistent "
                             "(COM2:): No such file or directory"))
            << r.err;
        // The user's file still gets every line.
        if (output) {
            EXPECT_TRUE(Contains(test_support::ReadFile(file), "/dev/nonexistent"));
        }
    }
}

}  // namespace
}  // namespace tools_test

// What qvimager makes of its arguments, without running anything.
#include <gtest/gtest.h>

#include "command_line.h"
#include "help_text.h"
#include "key_strokes.h"
#include "option_list.h"
#include "settings_exports.h"
#include "symbology_names.h"

namespace qv::cli {
namespace {

ParseOutcome Parse(std::vector<std::string_view> args) {
    return ParseCommandLine(args);
}

std::string ErrorOf(std::vector<std::string_view> args) {
    const ParseOutcome out = Parse(args);
    EXPECT_FALSE(out.invocation.has_value());
    return out.error;
}

TEST(CommandLine, BadUsageIsRefusedWithAReason) {
    EXPECT_EQ(ErrorOf({}), "no command given");
    EXPECT_EQ(ErrorOf({"frobnicate"}), "unknown command \"frobnicate\"");
    EXPECT_EQ(ErrorOf({"--verbose", "scan"}), "unknown option \"--verbose\"");
    EXPECT_NE(ErrorOf({"scan", "--mode", "fax"}).find("not one of message"), std::string::npos);
    EXPECT_NE(ErrorOf({"scan", "--count"}).find("needs a value"), std::string::npos);
    EXPECT_NE(ErrorOf({"scan", "--count", "-1"}).find("negative"), std::string::npos);
    EXPECT_NE(ErrorOf({"scan", "--barcode", "HELLO"}).find("SYMBOLOGY:TEXT"), std::string::npos);
    EXPECT_NE(ErrorOf({"scan", "--barcode", "nosuch:X"}).find("unknown symbology"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"get"}).find("name a symbology"), std::string::npos);
    EXPECT_NE(ErrorOf({"get", "nosuch"}).find("unknown symbology"), std::string::npos);
    EXPECT_NE(ErrorOf({"get", "code39", "extra"}).find("unexpected argument"), std::string::npos);
    EXPECT_NE(ErrorOf({"version", "now"}).find("unexpected argument"), std::string::npos);
    EXPECT_NE(ErrorOf({"help", "nosuch"}).find("unknown command"), std::string::npos);
}

TEST(CommandLine, SetChecksWhatAppliesToItsTarget) {
    EXPECT_NE(ErrorOf({"set", "code39"}).find("nothing to change"), std::string::npos);
    EXPECT_NE(ErrorOf({"set", "--enable", "1"}).find("before its options"), std::string::npos);
    EXPECT_NE(ErrorOf({"set", "code39", "--options", "1,0,1"}).find("expected 4 values, got 3"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"set", "code39", "--options", "1,x,1,0"}).find("value 2"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"set", "australianpost", "--options", "1"}).find("no options"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"set", "code39", "--security-level", "2"}).find("does not apply"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"set", "general", "--enable", "1"}).find("does not apply"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"set", "upcean", "--enable", "1"}).find("does not apply"),
              std::string::npos);
    EXPECT_NE(ErrorOf({"set", "all", "--options", "1"}).find("no options"), std::string::npos);
    EXPECT_NE(ErrorOf({"set", "general", "--dpm", "1,2"}).find("expected 3 values"),
              std::string::npos);
}

TEST(CommandLine, HelpWinsOverEverythingElse) {
    auto out = Parse({"--help"});
    ASSERT_TRUE(out.invocation);
    EXPECT_EQ(out.invocation->command, Command::Help);
    EXPECT_FALSE(out.invocation->helpFor);

    out = Parse({"set", "--bogus", "--help"});
    ASSERT_TRUE(out.invocation);
    EXPECT_EQ(out.invocation->command, Command::Help);
    EXPECT_EQ(out.invocation->helpFor, Command::Set);

    out = Parse({"help", "scan"});
    ASSERT_TRUE(out.invocation);
    EXPECT_EQ(out.invocation->helpFor, Command::Scan);

    for (Command c : {Command::Scan, Command::Get, Command::Set, Command::Version,
                      Command::FactoryReset, Command::Test, Command::Demo}) {
        const std::string text = HelpText(c);
        EXPECT_EQ(text.rfind("usage: qvimager " + std::string(CommandName(c)), 0), 0u) << text;
    }
}

TEST(CommandLine, ScanOptionsAndGlobalFlagsAnywhere) {
    const auto out =
        Parse({"--log", "scan", "--mode=keyboard", "--count", "3", "--trace", "--barcode",
               "qr:https://x.example/a:b", "--barcode=12:", "--timeout", "0"});
    ASSERT_TRUE(out.invocation) << out.error;
    const Invocation& inv = *out.invocation;
    EXPECT_TRUE(inv.log);
    EXPECT_TRUE(inv.trace);
    EXPECT_EQ(inv.scan.mode, ReceiveMode::Keyboard);
    EXPECT_EQ(inv.scan.count, 3u);
    EXPECT_EQ(inv.scan.timeoutSeconds, 0u);
    ASSERT_EQ(inv.scan.barcodes.size(), 2u);
    EXPECT_EQ(inv.scan.barcodes[0].symbology->number, 37);
    EXPECT_EQ(inv.scan.barcodes[0].text, "https://x.example/a:b");  // only the first ':' splits
    EXPECT_EQ(inv.scan.barcodes[1].symbology->number, 12);
    EXPECT_EQ(inv.scan.barcodes[1].text, "");
}

TEST(CommandLine, SetCollectsTheChanges) {
    auto out = Parse({"set", "Code-128", "--enable", "0", "--options", "1,,3,4,5,6,A,8,9,0x0A"});
    ASSERT_TRUE(out.invocation) << out.error;
    const Invocation& inv = *out.invocation;
    EXPECT_EQ(inv.target.symbology->number, 9);
    EXPECT_EQ(inv.set.enable, 0);
    ASSERT_TRUE(inv.set.options);
    const OptionList& list = *inv.set.options;
    ASSERT_EQ(list.size(), 10u);
    EXPECT_FALSE(list[1]);
    EXPECT_EQ(list[6], 'A');  // the character place takes the character
    EXPECT_EQ(list[9], 10);

    out = Parse({"set", "general", "--security-level", "2", "--dpm", ",1,"});
    ASSERT_TRUE(out.invocation) << out.error;
    EXPECT_EQ(out.invocation->target.kind, SettingTarget::Kind::General);
    EXPECT_EQ(out.invocation->set.securityLevel, 2);
    ASSERT_TRUE(out.invocation->set.dpm);
    EXPECT_EQ(Merge(*out.invocation->set.dpm, {7, 7, 7}), (std::vector<int32_t>{7, 1, 7}));
}

TEST(SymbologyNames, NumbersNamesAndAliasesFindTheSameSymbology) {
    EXPECT_EQ(FindSymbology("12")->number, 12);
    EXPECT_EQ(FindSymbology("CODE39")->number, 12);
    EXPECT_EQ(FindSymbology("gs1_128")->number, 55);
    EXPECT_EQ(FindSymbology("QR Code")->number, 37);
    EXPECT_EQ(FindSymbology("i2of5")->number, 22);
    EXPECT_EQ(FindSymbology("5"), nullptr);  // a number that names no symbology
    EXPECT_EQ(FindSymbology(""), nullptr);
    EXPECT_EQ(SymbologyTitle(134), "Standard 2 of 5");
    EXPECT_EQ(SymbologyTitle(0), "unknown");

    // The 41 symbologies in the order of the enable record, each name unique.
    const std::vector<int> order = {1,  2,  3,  6,  113, 114, 8,   12,  71,  14,  9,  55,  23, 17,
                                    18, 43, 44, 20, 19,  132, 133, 121, 130, 129, 56, 122, 22, 24,
                                    52, 26, 29, 32, 28,  33,  34,  36,  37,  134, 40, 41,  45};
    ASSERT_EQ(SymbologyNames().size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        const SymbologyName& s = SymbologyNames()[i];
        EXPECT_EQ(s.number, order[i]);
        EXPECT_EQ(FindSymbology(s.name), &s) << s.name;
    }
}

TEST(SymbologyNames, OptionSetsMatchTheExportsTheyCall) {
    for (const OptionSetInfo& info : OptionSets()) {
        EXPECT_EQ(&InfoOf(info.set), &info);
        EXPECT_EQ(info.count, ExportArity(info.set)) << info.stem;
        EXPECT_EQ(info.charMask, ExportCharMask(info.set)) << info.stem;
    }
    SettingTarget t;
    ASSERT_TRUE(FindTarget("upcean", t));
    EXPECT_EQ(t.kind, SettingTarget::Kind::OptionsOnly);
    EXPECT_EQ(t.options->set, OptionSet::UPCEAN);
    ASSERT_TRUE(FindTarget("isbt", t));
    EXPECT_EQ(t.options->set, OptionSet::Code128_GS1_128_ISBT);
    ASSERT_TRUE(FindTarget("upce1", t));
    EXPECT_EQ(t.options, nullptr);
}

TEST(OptionValues, NumbersInEveryWrittenForm) {
    EXPECT_EQ(ParseNumber("0"), 0);
    EXPECT_EQ(ParseNumber("-1"), -1);
    EXPECT_EQ(ParseNumber("+7"), 7);
    EXPECT_EQ(ParseNumber("0x41"), 0x41);
    EXPECT_EQ(ParseNumber("0xFFFFFFFF"), -1);
    EXPECT_EQ(ParseNumber("2147483647"), 2147483647);
    EXPECT_EQ(ParseNumber("-2147483648"), INT32_MIN);
    EXPECT_FALSE(ParseNumber("2147483648"));
    EXPECT_FALSE(ParseNumber("0x100000000"));
    EXPECT_FALSE(ParseNumber("12a"));
    EXPECT_FALSE(ParseNumber("0x"));
    EXPECT_FALSE(ParseNumber("-"));
    EXPECT_FALSE(ParseNumber(""));
}

TEST(OptionValues, ListsKeepEmptyPlacesAndCheckCharacters) {
    std::string error;
    auto list = ParseOptionList("5,,", 3, 0, &error);
    ASSERT_TRUE(list) << error;
    EXPECT_EQ(Merge(*list, {1, 2, 3}), (std::vector<int32_t>{5, 2, 3}));
    EXPECT_TRUE(NeedsCurrent(*list));
    EXPECT_FALSE(NeedsCurrent(*ParseOptionList("1,2", 2, 0, &error)));

    EXPECT_FALSE(ParseOptionList("A", 1, 0, &error));  // not a character place
    EXPECT_FALSE(ParseOptionList("1,300", 2, 0b10, &error));
    EXPECT_NE(error.find("0 to 255"), std::string::npos);
    EXPECT_FALSE(ParseOptionList("1,AB", 2, 0b10, &error));
    EXPECT_EQ(*ParseOptionList("1,~", 2, 0b10, &error), (OptionList{1, '~'}));
    EXPECT_EQ(*ParseOptionList("", 1, 0, &error), (OptionList{std::nullopt}));
    EXPECT_EQ(FormatValues({1, 0, -1, 255}), "1,0,-1,255");
}

TEST(KeyStrokes, RecordLinesReadBackAndPrintedShort) {
    EXPECT_EQ(ParseKeyEffect("key 0x41 30 4"), (KeyStroke{0x41, false}));
    EXPECT_EQ(ParseKeyEffect("key 0x10 0 2"), (KeyStroke{0x10, true}));
    EXPECT_EQ(ParseKeyEffect("key 0x56 47 6"), (KeyStroke{0x56, true}));
    EXPECT_FALSE(ParseKeyEffect("clipboard 13 \"x\""));
    EXPECT_FALSE(ParseKeyEffect("key 41 0 4"));
    EXPECT_FALSE(ParseKeyEffect("key 0x141 0 4"));
    EXPECT_FALSE(ParseKeyEffect("key 0x41"));
    EXPECT_EQ(FormatKeyStrokes({{0x10, false},
                                {0x37, false},
                                {0x37, true},
                                {0x10, true},
                                {0x0A, false},
                                {0xBA, true}}),
              "+Shift +7 -7 -Shift +LF -0xBA");
}

}  // namespace
}  // namespace qv::cli

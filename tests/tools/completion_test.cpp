// The bash completion offers what the program accepts: every command and
// every symbology name, so neither can drift from the other unnoticed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "command_line.h"
#include "symbology_names.h"
#include "test_support/temp_dir.h"

namespace qv::cli {
namespace {

// The words of `local <variable>="..."` in the completion script.
std::set<std::string> WordsOf(const std::string& script, const std::string& variable) {
    const std::string head = "local " + variable + "=\"";
    const size_t start = script.find(head);
    if (start == std::string::npos) return {};
    const size_t from = start + head.size();
    std::istringstream words(script.substr(from, script.find('"', from) - from));
    std::set<std::string> out;
    for (std::string word; words >> word;)
        out.insert(word);
    return out;
}

TEST(Completion, OffersEveryCommandAndEverySymbologyName) {
    const char* sources = std::getenv("QV_TEST_SOURCE_DIR");
    ASSERT_NE(sources, nullptr);
    const std::string script =
        test_support::ReadFile(std::string(sources) + "/../tools/completion/qvimager");
    ASSERT_FALSE(script.empty());

    std::set<std::string> commands;
    for (Command c : {Command::Help, Command::Scan, Command::Get, Command::Set, Command::Version,
                      Command::FactoryReset, Command::Test, Command::Demo}) {
        commands.insert(std::string(CommandName(c)));
    }
    EXPECT_EQ(WordsOf(script, "commands"), commands);

    std::set<std::string> names = {"upcean", "general", "all"};
    for (const SymbologyName& s : SymbologyNames())
        names.insert(std::string(s.name));
    EXPECT_EQ(WordsOf(script, "names"), names);
    for (const std::string& name : names) {
        SettingTarget target;
        EXPECT_TRUE(FindTarget(name, target)) << name;
    }
}

}  // namespace
}  // namespace qv::cli

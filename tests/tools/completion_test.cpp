// The bash completion offers what the program accepts, and only that; the
// man page names what --help names. Neither can drift unnoticed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command_line.h"
#include "help_text.h"
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

std::string SourceFile(const std::string& path) {
    const char* sources = std::getenv("QV_TEST_SOURCE_DIR");
    return sources == nullptr ? "" : std::string(sources) + "/../" + path;
}

// What bash offers with the script loaded, for `words` typed so far (the last
// one is being completed). _init_completion is bash-completion's; this
// stand-in sets the same variables.
std::set<std::string> Offered(const std::vector<std::string>& words) {
    test_support::TempDir dir;
    const std::string program = dir.Path() + "/complete.sh";
    {
        std::ofstream out(program);
        out << "_init_completion() { words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD\n"
               "  cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}; }\n"
            << "source '" << SourceFile("tools/completion/qvimager") << "'\nCOMP_WORDS=(";
        for (const std::string& word : words)
            out << " '" << word << "'";
        out << " )\nCOMP_CWORD=" << words.size() - 1
            << "\n_qvimager\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    }
    std::FILE* bash = ::popen(("bash " + program).c_str(), "r");
    std::set<std::string> offered;
    char line[256];
    while (bash != nullptr && std::fgets(line, sizeof line, bash) != nullptr) {
        std::string word(line);
        while (!word.empty() && (word.back() == '\n' || word.back() == ' '))
            word.pop_back();
        if (!word.empty()) offered.insert(word);
    }
    if (bash != nullptr) ::pclose(bash);
    return offered;
}

bool Accepted(std::vector<std::string_view> args) {
    return ParseCommandLine(args).invocation.has_value();
}

TEST(Completion, OffersEveryCommandAndEverySymbologyName) {
    const std::string script = test_support::ReadFile(SourceFile("tools/completion/qvimager"));
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

// Every option of set against every name: offered exactly where accepted.
TEST(Completion, SetOffersExactlyTheOptionsItsNameTakes) {
    const std::string script = test_support::ReadFile(SourceFile("tools/completion/qvimager"));
    const std::vector<std::string> options = {
        "--enable", "--options", "--security-level", "--aec-area", "--extensive-search", "--dpm"};
    for (const std::string& name : WordsOf(script, "names")) {
        SettingTarget target;
        ASSERT_TRUE(FindTarget(name, target)) << name;
        std::set<std::string> accepted = {"--help"};
        for (const std::string& option : options) {
            // A value each option takes: an options list keeps every place but the first.
            std::string value = option == "--dpm" ? "1,1,1" : "1";
            if (option == "--options" && target.options != nullptr)
                value += std::string(static_cast<size_t>(target.options->count - 1), ',');
            if (Accepted({"set", name, option, value})) accepted.insert(option);
        }
        EXPECT_EQ(Offered({"qvimager", "set", name, "--"}), accepted) << name;
    }
}

TEST(Completion, OffersOnlyWhatTheCommandAccepts) {
    struct Case {
        std::vector<std::string> typed;
        std::set<std::string> offered;
    };
    const std::vector<Case> cases = {
        {{"qvimager", "scan", "--"}, {"--mode", "--count", "--timeout", "--barcode", "--help"}},
        {{"qvimager", "scan", "--mode", ""}, {"message", "callback", "keyboard", "clipboard"}},
        {{"qvimager", "get", "code39", "--"}, {}},
        {{"qvimager", "set", "qrcode", "--"}, {"--help"}},  // an alias: not guessed at
        {{"qvimager", "version", "--"}, {"--help"}},
        {{"qvimager", "help", "s"}, {"scan", "set"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed[1] + " " + c.typed[2]);
        EXPECT_EQ(Offered(c.typed), c.offered);
    }
    for (const char* option : {"--mode message", "--count 1", "--timeout 1", "--barcode qr:X"}) {
        const std::string text = option;
        const size_t blank = text.find(' ');
        EXPECT_TRUE(Accepted({"scan", std::string_view(text).substr(0, blank),
                              std::string_view(text).substr(blank + 1)}))
            << option;
    }
}

// Every option and name that --help gives appears in the man page, and every
// option the man page gives is one --help knows.
TEST(ManPage, NamesWhatHelpNames) {
    const std::string man = test_support::ReadFile(SourceFile("docs/man/qvimager.1"));
    ASSERT_FALSE(man.empty());
    std::string help = HelpText(std::nullopt);
    for (Command c : {Command::Scan, Command::Get, Command::Set, Command::Version,
                      Command::FactoryReset, Command::Test, Command::Demo}) {
        help += HelpText(c);
    }
    const std::regex helpOption(R"(--[a-z][a-z-]*)");
    std::set<std::string> helpOptions;
    for (std::sregex_iterator it(help.begin(), help.end(), helpOption), end; it != end; ++it)
        helpOptions.insert(it->str());
    for (const std::string& option : helpOptions) {
        std::string roff = option;
        for (size_t at = 0; (at = roff.find('-', at)) != std::string::npos; at += 2)
            roff.insert(at, "\\");
        EXPECT_TRUE(man.find(roff) != std::string::npos) << option << " is not in the man page";
    }
    const std::regex manOption(R"((\\-\\-[a-z](?:[a-z]|\\-)*))");
    for (std::sregex_iterator it(man.begin(), man.end(), manOption), end; it != end; ++it) {
        std::string option = it->str();
        for (size_t at = 0; (at = option.find("\\-", at)) != std::string::npos;)
            option.erase(at, 1);
        EXPECT_TRUE(helpOptions.contains(option)) << option << " is not in --help";
    }
    for (const char* name : {".B upcean", ".B general", ".B all", "set general", "get upcean"})
        EXPECT_TRUE(man.find(name) != std::string::npos) << name;
}

}  // namespace
}  // namespace qv::cli

#include "command_line.h"

#include <array>
#include <utility>

namespace qv::cli {
namespace {

constexpr std::array<std::pair<std::string_view, Command>, 8> kCommands{{
    {"help", Command::Help},
    {"scan", Command::Scan},
    {"get", Command::Get},
    {"set", Command::Set},
    {"version", Command::Version},
    {"factory-reset", Command::FactoryReset},
    {"test", Command::Test},
    {"demo", Command::Demo},
}};

std::optional<Command> FindCommand(std::string_view name) {
    for (const auto& [text, command] : kCommands) {
        if (text == name) return command;
    }
    return std::nullopt;
}

bool IsHelpFlag(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}
bool IsGlobalFlag(std::string_view arg) {
    return arg == "--trace" || arg == "--log" || arg == "--json";
}
void SetGlobalFlag(std::string_view arg, Invocation& inv) {
    (arg == "--trace" ? inv.trace : arg == "--log" ? inv.log : inv.json) = true;
}

std::optional<ReceiveMode> FindMode(std::string_view name) {
    if (name == "message") return ReceiveMode::Message;
    if (name == "callback") return ReceiveMode::Callback;
    if (name == "keyboard") return ReceiveMode::Keyboard;
    if (name == "clipboard") return ReceiveMode::Clipboard;
    return std::nullopt;
}

// Walks the arguments of one command; options take their value either as
// the next argument or after '=' ("--count=3").
class Reader {
  public:
    explicit Reader(const std::vector<std::string_view>& args) : m_args(args) {}

    bool Done() const { return m_next >= m_args.size(); }
    std::string_view Take() { return m_args[m_next++]; }

    // For an option just taken: its value, or nullopt when there is none.
    std::optional<std::string_view> Value(std::string_view& option) {
        if (const size_t eq = option.find('='); eq != std::string_view::npos) {
            std::string_view value = option.substr(eq + 1);
            option = option.substr(0, eq);
            return value;
        }
        if (Done()) return std::nullopt;
        return Take();
    }

  private:
    const std::vector<std::string_view>& m_args;
    size_t m_next = 0;
};

struct Failure {
    std::string message;
};

std::string_view OptionName(std::string_view arg) {
    return arg.substr(0, arg.find('='));
}

int32_t NumberOption(std::string_view option, std::optional<std::string_view> value) {
    if (!value) throw Failure{std::string(option) + " needs a value"};
    auto n = ParseNumber(*value);
    if (!n)
        throw Failure{std::string(option) + ": \"" + std::string(*value) + "\" is not a number"};
    return *n;
}

uint32_t CountOption(std::string_view option, std::optional<std::string_view> value) {
    const int32_t n = NumberOption(option, value);
    if (n < 0) throw Failure{std::string(option) + " cannot be negative"};
    return static_cast<uint32_t>(n);
}

OptionList ListOption(std::string_view option, std::optional<std::string_view> value,
                      const OptionSetInfo& info) {
    if (!value) throw Failure{std::string(option) + " needs a value"};
    std::string error;
    auto list = ParseOptionList(*value, info.count, info.charMask, &error);
    if (!list) throw Failure{std::string(option) + ": " + error};
    return *list;
}

// The general option DPM has three plain values and no export stem of its own.
constexpr OptionSetInfo kDpm{OptionSet::Aztec, "DPM", 3, 0};

void ParseScan(Reader& in, Invocation& inv) {
    while (!in.Done()) {
        std::string_view arg = in.Take();
        if (IsGlobalFlag(arg)) {
            SetGlobalFlag(arg, inv);
            continue;
        }
        const std::string_view option = OptionName(arg);
        if (option == "--mode") {
            auto value = in.Value(arg);
            if (!value) throw Failure{"--mode needs a value"};
            auto mode = FindMode(*value);
            if (!mode) {
                throw Failure{"--mode: \"" + std::string(*value) +
                              "\" is not one of message, callback, keyboard, clipboard"};
            }
            inv.scan.mode = *mode;
        } else if (option == "--count") {
            inv.scan.count = CountOption(option, in.Value(arg));
        } else if (option == "--timeout") {
            inv.scan.timeoutSeconds = CountOption(option, in.Value(arg));
        } else if (option == "--barcode") {
            auto value = in.Value(arg);
            if (!value) throw Failure{"--barcode needs a value SYMBOLOGY:TEXT"};
            const size_t colon = value->find(':');
            if (colon == std::string_view::npos) {
                throw Failure{"--barcode: \"" + std::string(*value) +
                              "\" is not SYMBOLOGY:TEXT (e.g. code39:HELLO)"};
            }
            const SymbologyName* s = FindSymbology(value->substr(0, colon));
            if (s == nullptr) {
                throw Failure{"--barcode: unknown symbology \"" +
                              std::string(value->substr(0, colon)) + "\""};
            }
            inv.scan.barcodes.push_back({s, std::string(value->substr(colon + 1))});
        } else {
            throw Failure{"scan: unknown option or argument \"" + std::string(arg) + "\""};
        }
    }
}

void ParseTarget(Reader& in, Invocation& inv, std::string_view command) {
    while (!in.Done()) {
        const std::string_view arg = in.Take();
        if (IsGlobalFlag(arg)) {
            SetGlobalFlag(arg, inv);
            continue;
        }
        if (arg.starts_with("-")) {
            throw Failure{std::string(command) + ": name what to " + std::string(command) +
                          " before its options (e.g. code39 or general)"};
        }
        if (!FindTarget(arg, inv.target)) {
            throw Failure{std::string(command) + ": unknown symbology \"" + std::string(arg) +
                          "\" (see qvimager " + std::string(command) + " --help)"};
        }
        return;
    }
    throw Failure{std::string(command) + ": name a symbology, upcean, general or all"};
}

void ParseSet(Reader& in, Invocation& inv) {
    ParseTarget(in, inv, "set");
    const SettingTarget& t = inv.target;
    using Kind = SettingTarget::Kind;
    SetOptions& s = inv.set;
    while (!in.Done()) {
        std::string_view arg = in.Take();
        if (IsGlobalFlag(arg)) {
            SetGlobalFlag(arg, inv);
            continue;
        }
        const std::string_view option = OptionName(arg);
        const bool general = t.kind == Kind::General;
        auto notFor = [&]() {
            return Failure{std::string(option) + " does not apply to " + std::string(t.title)};
        };
        if (option == "--enable") {
            if (general || t.kind == Kind::OptionsOnly) throw notFor();
            s.enable = NumberOption(option, in.Value(arg));
        } else if (option == "--options") {
            if (t.options == nullptr) {
                throw Failure{std::string(t.title) +
                              " has no options of its own; only --enable applies"};
            }
            s.options = ListOption(option, in.Value(arg), *t.options);
        } else if (option == "--security-level") {
            if (!general) throw notFor();
            s.securityLevel = NumberOption(option, in.Value(arg));
        } else if (option == "--aec-area") {
            if (!general) throw notFor();
            s.aecArea = NumberOption(option, in.Value(arg));
        } else if (option == "--extensive-search") {
            if (!general) throw notFor();
            s.extensiveSearch = NumberOption(option, in.Value(arg));
        } else if (option == "--dpm") {
            if (!general) throw notFor();
            s.dpm = ListOption(option, in.Value(arg), kDpm);
        } else {
            throw Failure{"set: unknown option or argument \"" + std::string(arg) + "\""};
        }
    }
    if (!s.enable && !s.options && !s.securityLevel && !s.aecArea && !s.extensiveSearch && !s.dpm) {
        throw Failure{"set " + std::string(t.title) + ": nothing to change"};
    }
}

void ParseNoOptions(Reader& in, Invocation& inv) {
    while (!in.Done()) {
        const std::string_view arg = in.Take();
        if (IsGlobalFlag(arg)) {
            SetGlobalFlag(arg, inv);
            continue;
        }
        throw Failure{std::string(CommandName(inv.command)) + ": unexpected argument \"" +
                      std::string(arg) + "\""};
    }
}

}  // namespace

std::string_view CommandName(Command command) {
    for (const auto& [text, c] : kCommands) {
        if (c == command) return text;
    }
    return "help";
}

std::string_view ReceiveModeName(ReceiveMode mode) {
    switch (mode) {
        case ReceiveMode::Message:
            return "message";
        case ReceiveMode::Callback:
            return "callback";
        case ReceiveMode::Keyboard:
            return "keyboard";
        case ReceiveMode::Clipboard:
            return "clipboard";
    }
    return "message";
}

ParseOutcome ParseCommandLine(const std::vector<std::string_view>& args) {
    ParseOutcome out;
    Invocation inv;
    // Global options come first; the first other argument names the command.
    size_t at = 0;
    for (; at < args.size() && IsGlobalFlag(args[at]); ++at) {
        SetGlobalFlag(args[at], inv);
    }
    std::optional<Command> command;
    if (at < args.size() && !IsHelpFlag(args[at])) {
        command = FindCommand(args[at]);
        if (!command) {
            out.error = args[at].starts_with("-")
                            ? "unknown option \"" + std::string(args[at]) + "\""
                            : "unknown command \"" + std::string(args[at]) + "\"";
            return out;
        }
        ++at;
    }
    const std::vector<std::string_view> rest(args.begin() + static_cast<std::ptrdiff_t>(at),
                                             args.end());
    // --help anywhere asks for help, whatever else is wrong with the line.
    for (std::string_view arg : (command ? rest : args)) {
        if (IsHelpFlag(arg)) {
            inv.command = Command::Help;
            if (command && *command != Command::Help) inv.helpFor = command;
            out.invocation = inv;
            return out;
        }
    }
    if (!command) {
        out.error = "no command given";
        return out;
    }
    inv.command = *command;
    try {
        Reader in(rest);
        switch (*command) {
            case Command::Help:
                if (!in.Done()) {
                    const std::string_view name = in.Take();
                    inv.helpFor = FindCommand(name);
                    if (!inv.helpFor)
                        throw Failure{"help: unknown command \"" + std::string(name) + "\""};
                    if (*inv.helpFor == Command::Help) inv.helpFor.reset();
                }
                ParseNoOptions(in, inv);
                break;
            case Command::Scan:
                ParseScan(in, inv);
                break;
            case Command::Get:
                ParseTarget(in, inv, "get");
                ParseNoOptions(in, inv);
                break;
            case Command::Set:
                ParseSet(in, inv);
                break;
            case Command::Version:
            case Command::FactoryReset:
            case Command::Test:
            case Command::Demo:
                ParseNoOptions(in, inv);
                break;
        }
    } catch (const Failure& failure) {
        out.error = failure.message;
        out.errorFor = command;
        return out;
    }
    out.invocation = std::move(inv);
    return out;
}

}  // namespace qv::cli

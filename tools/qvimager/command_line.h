// What the user asked for, read from the arguments without touching the
// imager: the command, its options and the global options. Everything the
// program refuses as bad usage (exit status 2) is found here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "option_list.h"
#include "symbology_names.h"

namespace qv::cli {

enum class Command { Help, Scan, Get, Set, Version, FactoryReset, Test, Demo };

std::string_view CommandName(Command command);

enum class ReceiveMode { Message, Callback, Keyboard, Clipboard };

std::string_view ReceiveModeName(ReceiveMode mode);

struct BarcodeToQueue {
    const SymbologyName* symbology = nullptr;
    std::string text;
};

struct ScanOptions {
    ReceiveMode mode = ReceiveMode::Message;
    std::optional<uint32_t> count;           // unset: one per queued barcode, else until Ctrl-C
    std::optional<uint32_t> timeoutSeconds;  // per barcode; 0 waits for ever
    std::vector<BarcodeToQueue> barcodes;
};

struct SetOptions {
    std::optional<int32_t> enable;
    std::optional<OptionList> options;
    // The general options.
    std::optional<int32_t> securityLevel;
    std::optional<int32_t> aecArea;
    std::optional<int32_t> extensiveSearch;
    std::optional<OptionList> dpm;
};

struct Invocation {
    Command command = Command::Help;
    bool trace = false;
    bool log = false;
    bool json = false;  // one JSON object a line on standard output
    // Command::Help: the command whose help is wanted, if any.
    std::optional<Command> helpFor;
    SettingTarget target;  // get and set
    ScanOptions scan;
    SetOptions set;
};

struct ParseOutcome {
    std::optional<Invocation> invocation;
    std::string error;                // bad usage when there is no invocation
    std::optional<Command> errorFor;  // the command whose usage to show with it
};

// `args` without the program name.
ParseOutcome ParseCommandLine(const std::vector<std::string_view>& args);

}  // namespace qv::cli

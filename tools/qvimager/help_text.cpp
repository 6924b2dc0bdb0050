#include "help_text.h"

#include <string_view>

namespace qv::cli {
namespace {

constexpr std::string_view kProgram =
    R"(usage: qvimager [--trace] [--log] [--json] COMMAND [OPTIONS]
       qvimager --version

Drives the RO25 2D imager through libQV_Rizoviv2I_RO25. With neither
QV_PORT_COM2 nor QV_DRIVER_BAR1 set it starts an RO25 engine simulator inside
the program and uses it; otherwise it uses the device those name.

commands:
  scan            open the imager, scan barcodes and print them
  get NAME        show a symbology's enable flag and options, or the general options
  set NAME ...    change them
  version         show the engine's three version texts
  factory-reset   bring the engine back to its factory settings
  test            send the engine's test command
  demo            a short scripted session against the embedded simulator
  help [COMMAND]  this text, or a command's (also: COMMAND --help)

global options:
  --trace   print every frame between library and engine, one line each
            (needs the embedded simulator)
  --log     show the library's "[RO25]" diagnostic lines on standard error
  --json    one JSON object a line on standard output for each barcode,
            setting read and version; other lines go to standard error
  --version print the versions of this program and of the library it loaded

exit status: 0 done; 1 the imager did not do it (the export that returned -1
is named, as is an engine that does not answer, or a save that failed), or
the output could not be written (the imager is closed first); 2 bad usage;
128 + the signal's number (130 for Ctrl-C) when a signal ends a scan --count N
short of N barcodes; 141, without a message, when standard output is a pipe
whose reader has gone (e.g. | head -1).

environment:
  QV_PORT_COM2     the engine's serial device, e.g. /dev/ttyUSB0
  QV_DRIVER_BAR1   the power-line driver: gpio:<chip>:power=<line>,trigger=
                   <line>,wake=<line>[,status=<line>] for GPIO lines,
                   unix:<path>, or none for an engine powered all the time
                   (its lines are then not switched)
  XDG_STATE_HOME   the state directory is $XDG_STATE_HOME/qvimager (default:
                   ~/.local/state/qvimager); it holds the engine's settings
                   files and the library's registry (registry.reg)
  QV_REGISTRY      another registry file
  QV_DEBUG_OUTPUT  where the "[RO25]" lines go: a file, stderr, journal,
                   syslog or none (default: nowhere; with --log: standard
                   error)
  QV_ANSI_CODEPAGE the engine's code page for barcode text (default CP1252);
                   texts are printed in UTF-8 whatever it is
  man qvimager lists every variable the library reads.
)";

constexpr std::string_view kScan =
    R"(usage: qvimager scan [--mode MODE] [--count N] [--timeout SECONDS]
                     [--barcode SYMBOLOGY:TEXT]...

Opens the imager, starts a scan for each barcode, prints what arrives and
closes. Ctrl-C stops the scan and closes the imager cleanly.

  --mode MODE          how the library hands the barcode over:
                         message    window message 0x0464 to a window of this
                                    program (default)
                         callback   the callback given to QVImagerScanStart
                         keyboard   simulated key strokes (printed as recorded)
                         clipboard  the clipboard (read back and printed)
  --count N            stop after N barcodes; 0 scans until Ctrl-C
                       (default: one per --barcode, else 0); ending with
                       fewer is a failure (status 130 after Ctrl-C)
  --timeout SECONDS    give up when a barcode takes longer; 0 waits for ever
                       (default: 10 with the embedded simulator, else 0)
  --barcode SYM:TEXT   queue a barcode in the embedded simulator (repeatable),
                       e.g. --barcode code39:HELLO --barcode qr:https://example.com
                       The simulator reads only enabled symbologies.

message and callback print the symbology number and name and the text;
keyboard prints the key strokes and the text they type; clipboard prints the
clipboard's text. With --json every mode gives the same keys (man qvimager).
)";

constexpr std::string_view kGet =
    R"(usage: qvimager get NAME

Shows what the engine holds for NAME:
  a symbology    its enable flag, and its options where it has a Set/Get pair
  upcean         the options common to UPC-A, UPC-E, EAN-13 and EAN-8
  general        security level, AEC area, extensive search and DPM
  all            every symbology's enable flag

Options are listed in the order of the pair's arguments, e.g. for code39 the
four values of QVImagerGetCode39Setting; a character option is shown as its
code.
)";

constexpr std::string_view kSet =
    R"(usage: qvimager set NAME [--enable V] [--options V1,V2,...]
       qvimager set general [--security-level N] [--aec-area N]
                            [--extensive-search N] [--dpm A,B,C]
       qvimager set all --enable V

  --enable V       the symbology's enable flag (1 on, 0 off); with "all",
                   every symbology's
  --options LIST   the values of the symbology's Set/Get pair, in order; an
                   empty place keeps the current value (e.g. 1,,,0); a
                   character place takes a character or its code (a digit
                   character only as its code, e.g. 0x35)
  --security-level N, --aec-area N, --extensive-search N, --dpm A,B,C
                   the general options

The library saves every change in its settings files, and applies them at
each open. Values are passed through unchecked: the engine takes the low byte.
)";

constexpr std::string_view kVersion =
    R"(usage: qvimager version

Opens the imager and prints the engine's three version texts (firmware, boot,
hardware) as QVImagerGetVersion reports them.
)";

constexpr std::string_view kFactoryReset =
    R"(usage: qvimager factory-reset

Sends the engine's factory reset and the library's initialisation. The
library's settings files are kept, so the next open applies them again.
)";

constexpr std::string_view kTest =
    R"(usage: qvimager test

Sends the engine's test command (QVImagerTestCommand).
)";

constexpr std::string_view kDemo =
    R"(usage: qvimager demo

A short scripted session against the embedded simulator (also when a device
is configured): open, show the version, enable Code 39, QR Code and Code 128,
scan three queued barcodes, change a Code 39 option and read it back, close,
open again on a restarted engine and show that the option was restored from
the settings files, close.
)";

std::string SymbologyList() {
    std::string out = "\nnames (or numbers) of the symbologies; * = has options:\n";
    std::string line = " ";
    for (const SymbologyName& s : SymbologyNames()) {
        std::string item = " " + std::string(s.name) + (s.options ? "*" : "") + "(" +
                           std::to_string(s.number) + ")";
        if (line.size() + item.size() > 78) {
            out += line + "\n";
            line = " ";
        }
        line += item;
    }
    return out + line + "\n";
}

}  // namespace

std::string HelpText(std::optional<Command> command) {
    if (!command) return std::string(kProgram);
    switch (*command) {
        case Command::Scan:
            return std::string(kScan) + SymbologyList();
        case Command::Get:
            return std::string(kGet) + SymbologyList();
        case Command::Set:
            return std::string(kSet) + SymbologyList();
        case Command::Version:
            return std::string(kVersion);
        case Command::FactoryReset:
            return std::string(kFactoryReset);
        case Command::Test:
            return std::string(kTest);
        case Command::Demo:
            return std::string(kDemo);
        case Command::Help:
            break;
    }
    return std::string(kProgram);
}

std::string UsageLine(std::optional<Command> command) {
    const std::string help = HelpText(command);
    std::string line = help.substr(0, help.find('\n'));
    if (!command || *command == Command::Help) return line + "\nrun qvimager --help for more";
    return line + "\nrun qvimager " + std::string(CommandName(*command)) + " --help for more";
}

}  // namespace qv::cli

// ro25-sim: an RO25 engine and its "BAR1:" driver for a host without the
// hardware. It prints the environment a host process needs, serves the
// barcodes it is given, prints every frame and takes commands on standard
// input until "quit", Ctrl-C or a kill.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

#include "sim/commands.h"
#include "sim/os/console.h"
#include "sim/simulator.h"

namespace {

const char kUsage[] =
    "usage: ro25-sim [options]\n"
    "  --barcodes FILE     queue the barcodes of FILE (one per line: symbology, text)\n"
    "  --dir DIR           put the sockets in DIR (default: a fresh private directory)\n"
    "  --env-file FILE     also write the environment lines to FILE once ready\n"
    "  --decode-ms N       trigger to barcode time (default 200)\n"
    "  --ack-resend-ms N   wait for the host's ACK before resending a barcode (default 1000)\n"
    "  --instant           no decode, processing or line time (for measurements)\n"
    "  --no-wake-check     accept frames that come without a wake pulse\n"
    "  --quiet             do not print frames\n";

bool ParseMs(const char* text, uint32_t& value) {
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, value);
    return ec == std::errc() && ptr == end;
}

bool WriteEnvFile(const std::string& path, const std::vector<std::string>& lines) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const std::string& line : lines)
            out << line << '\n';
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    qv::sim::Simulator::Options options;
    options.registerDriver = false;  // the host is another process
    std::string barcodes, envFile;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--barcodes" && hasValue) {
            barcodes = argv[++i];
        } else if (arg == "--dir" && hasValue) {
            options.socketDir = argv[++i];
        } else if (arg == "--env-file" && hasValue) {
            envFile = argv[++i];
        } else if (arg == "--decode-ms" && hasValue &&
                   ParseMs(argv[i + 1], options.engine.decodeMs)) {
            ++i;
        } else if (arg == "--ack-resend-ms" && hasValue &&
                   ParseMs(argv[i + 1], options.engine.ackResendMs)) {
            ++i;
        } else if (arg == "--instant") {
            options.engine.AnswerAtOnce();
        } else if (arg == "--no-wake-check") {
            options.engine.requireWake = false;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            // Asked for: the usage is the output, so it goes to standard output.
            std::cout << kUsage;
            return std::cout.flush() ? 0 : 1;
        } else {
            std::cerr << "ro25-sim: bad argument " << arg << "\n" << kUsage;
            return 2;
        }
    }

    qv::sim::os::Console console;  // before any thread, so signals stay blocked in all
    qv::sim::Simulator sim(options);
    std::mutex outMutex;
    auto print = [&](const std::string& text) {
        std::lock_guard lock(outMutex);
        std::cout << text << std::endl;
    };
    if (!quiet) sim.SetTraceSink(print);

    std::string error;
    if (!sim.Start(&error)) {
        std::cerr << "ro25-sim: " << error << "\n";
        return 1;
    }
    if (!barcodes.empty()) {
        std::ifstream in(barcodes);
        if (!in) {
            std::cerr << "ro25-sim: cannot read " << barcodes << "\n";
            return 1;
        }
        int number = 0;
        for (std::string line; std::getline(in, line);) {
            ++number;
            const auto outcome = qv::sim::RunCommand(sim, line);
            if (!outcome.ok)
                std::cerr << barcodes << ":" << number << ": " << outcome.reply << "\n";
        }
    }
    const auto env = sim.EnvironmentLines();
    for (const std::string& line : env)
        print(line);
    if (!envFile.empty() && !WriteEnvFile(envFile, env)) {
        std::cerr << "ro25-sim: cannot write " << envFile << "\n";
    }
    print("# ro25-sim ready, " + std::to_string(sim.QueuedBarcodes()) +
          " barcode(s) queued; type help");

    std::string line;
    for (;;) {
        const auto event = console.Next(line);
        if (event == qv::sim::os::Console::Event::Signal) break;
        if (event == qv::sim::os::Console::Event::EndOfInput) continue;  // serve until a signal
        const auto outcome = qv::sim::RunCommand(sim, line);
        if (!outcome.reply.empty()) print((outcome.ok ? "" : "! ") + outcome.reply);
        if (outcome.quit) break;
    }
    sim.Stop();
    std::error_code ignored;
    if (!envFile.empty()) std::filesystem::remove(envFile, ignored);
    return 0;
}

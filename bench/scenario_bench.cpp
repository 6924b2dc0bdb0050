// Whole-scenario measurements of the library against the in-process
// simulator: prints one table and writes it as JSON.
//
//   qv_scenario_bench [--quick] [--runs N] [--barcodes N] [--idle S] [--json PATH]
//                     [--micro CSV] [--alloc-sites] [--timeline] [--quiet]
//
// --quick: 3 runs of each open and Set, 40 barcodes, 3 s idle (the full run
// takes 7, 200 and 10 s); --runs, --barcodes and --idle set them one by one.
//
// --alloc-sites prints where the reader thread's allocations come from;
// --timeline prints the simulator's trace of an open and of each Set with
// the time of every line. --micro folds the CSV of qv_micro_bench
// (--benchmark_out_format=csv) into the table and the JSON.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/os/process_stats.h"
#include "bench/report.h"
#include "bench/scenarios.h"

namespace {

using namespace qv::bench;

std::string LoadText() {
    const auto load = LoadAverage();
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// The table's order, whatever order the scenarios ran in.
int Rank(const std::string& key) {
    static const char* const kOrder[] = {"open_stored_ratio",      "open_uninitialised_ratio",
                                         "set_code39_ratio",       "set_security_ratio",
                                         "delivery_excess_ms",     "cpu_idle_ms_per_10s",
                                         "cpu_per_barcode_ms",     "allocs_per_barcode_frame",
                                         "allocs_per_reply_frame", "peak_rss_added_kib"};
    for (int i = 0; i < static_cast<int>(std::size(kOrder)); ++i) {
        if (key == kOrder[i]) return i;
    }
    return static_cast<int>(std::size(kOrder));
}

int Usage() {
    std::cerr << "usage: qv_scenario_bench [--quick] [--runs N] [--barcodes N] [--idle S] "
                 "[--json PATH] [--micro CSV] [--alloc-sites] [--timeline] [--quiet]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ScenarioOptions options;
    std::string json = "build/bench.json";
    std::string micro;
    bool quick = false;
    bool allocSites = false;
    bool quiet = false;
    bool timeline = false;
    int runs = 0;
    int barcodes = 0;
    int idle = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else if (arg == "--alloc-sites") {
            allocSites = true;
        } else if (arg == "--timeline") {
            timeline = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--barcodes" && i + 1 < argc) {
            barcodes = std::atoi(argv[++i]);
        } else if (arg == "--idle" && i + 1 < argc) {
            idle = std::atoi(argv[++i]);
        } else if (arg == "--json" && i + 1 < argc) {
            json = argv[++i];
        } else if (arg == "--micro" && i + 1 < argc) {
            micro = argv[++i];
        } else {
            return Usage();
        }
    }
    if (quick) options = QuickOptions();
    if (runs < 0 || barcodes < 0 || idle < 0) return Usage();
    if (runs > 0) options.openRuns = options.setRuns = runs;
    if (barcodes > 0) options.barcodes = barcodes;
    if (idle > 0) options.idleSeconds = idle;
    options.allocSites = allocSites;
    options.quiet = quiet;
    options.timeline = timeline;

    Report report;
    report.context["date"] = UtcNow();
    report.context["mode"] = quick ? "quick" : "full";
    report.context["cpus"] = std::to_string(OnlineCpus());
    report.context["load before"] = LoadText();
#ifdef NDEBUG
    report.context["build"] = "optimised";
#else
    report.context["build"] = "debug (figures not representative)";
#endif
    report.context["simulator"] = "in-process, answers at once, wake pulses required, clock 1.0";

    std::string error;
    if (!RunScenarios(options, report, error)) {
        std::cerr << "qv_scenario_bench: " << error << '\n';
        return 1;
    }
    report.context["load after"] = LoadText();
    std::stable_sort(report.figures.begin(), report.figures.end(),
                     [](const Figure& a, const Figure& b) { return Rank(a.key) < Rank(b.key); });

    if (!micro.empty()) {
        std::ifstream in(micro);
        if (!in) {
            std::cerr << "qv_scenario_bench: cannot read " << micro << '\n';
            return 1;
        }
        report.micro = ReadMicroCsv(in);
    }

    std::cout << FormatTable(report) << std::flush;
    if (!json.empty()) {
        const std::filesystem::path path(json);
        std::error_code ignored;
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path(), ignored);
        std::ofstream out(path);
        out << ToJson(report);
        if (!out) {
            std::cerr << "qv_scenario_bench: cannot write " << json << '\n';
            return 1;
        }
        std::cout << "\nwritten to " << json << '\n';
    }
    return 0;
}

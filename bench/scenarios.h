// Whole scenarios: the library's exports against the in-process simulator,
// which answers at once, at production clock scale. Each scenario adds its
// figures to the report.
#pragma once

#include <string>

#include "bench/report.h"

namespace qv::bench {

struct ScenarioOptions {
    int openRuns = 7;    // per kind of open
    int setRuns = 7;     // per Set
    int barcodes = 200;  // delivered barcodes for latency, CPU and allocations
    int idleSeconds = 10;
    bool allocSites = false;  // print where the reader's allocations come from
    bool timeline = false;    // print the simulator's trace of an open and a Set, timed
    bool quiet = false;       // no progress lines
};

ScenarioOptions QuickOptions();

// Runs every scenario; false (with `error`) when the library or the
// simulator could not be brought up, or an operation failed outright.
bool RunScenarios(const ScenarioOptions& options, Report& report, std::string& error);

}  // namespace qv::bench

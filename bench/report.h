// The table that `make bench` prints and the JSON it leaves behind.
#pragma once

#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qv::bench {

struct Figure {
    std::string key;    // JSON name, e.g. "open_stored_ratio"
    std::string label;  // what the table shows
    double value = 0;
    std::string unit;
    std::optional<double> target;  // met when value <= target
    size_t samples = 0;
    std::string detail;                   // how it was made up, for a reader
    std::map<std::string, double> extra;  // further numbers for the JSON
    bool Met() const { return !target || value <= *target; }
};

struct MicroResult {
    std::string name;
    double realNs = 0;  // per iteration
    double cpuNs = 0;
    double itemsPerSecond = 0;
};

struct Report {
    std::map<std::string, std::string> context;  // date, load, mode, ...
    std::vector<Figure> figures;
    std::vector<MicroResult> micro;
};

std::string FormatTable(const Report& report);
std::string ToJson(const Report& report);

// Results of Google Benchmark's CSV output (--benchmark_out_format=csv);
// lines that are no result (context, errors) are skipped.
std::vector<MicroResult> ReadMicroCsv(std::istream& in);

// A JSON string literal with its quotes.
std::string JsonString(const std::string& text);

}  // namespace qv::bench

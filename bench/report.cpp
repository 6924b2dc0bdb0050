#include "bench/report.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace qv::bench {
namespace {

std::string Number(double v) {
    char text[32];
    const double a = std::fabs(v);
    if (a != 0 && a < 0.01) {
        std::snprintf(text, sizeof text, "%.4f", v);
    } else if (a < 10) {
        std::snprintf(text, sizeof text, "%.3f", v);
    } else if (a < 1000) {
        std::snprintf(text, sizeof text, "%.1f", v);
    } else {
        std::snprintf(text, sizeof text, "%.0f", v);
    }
    return text;
}

std::string JsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string Pad(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

// One CSV line split at commas outside quotes; "" inside quotes is a quote.
std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                cells.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cells.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells.emplace_back();
        } else if (c != '\r') {
            cells.back() += c;
        }
    }
    return cells;
}

double ToNs(double value, const std::string& unit) {
    if (unit == "us") return value * 1e3;
    if (unit == "ms") return value * 1e6;
    if (unit == "s") return value * 1e9;
    return value;
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string FormatTable(const Report& report) {
    std::ostringstream out;
    for (const auto& [name, value] : report.context)
        out << Pad(name + ":", 14) << value << '\n';
    out << '\n'
        << Pad("figure", 48) << Pad("value", 20) << Pad("target", 12) << Pad("met", 5) << "how\n"
        << std::string(124, '-') << '\n';
    for (const Figure& f : report.figures) {
        out << Pad(f.label, 48) << Pad(Number(f.value) + " " + f.unit, 20)
            << Pad(f.target ? "<= " + Number(*f.target) : "", 12)
            << Pad(f.target ? (f.Met() ? "yes" : "NO") : "", 5) << f.detail << '\n';
    }
    if (!report.micro.empty()) {
        out << '\n'
            << Pad("micro-benchmark", 48) << Pad("time/op", 20) << "cpu/op\n"
            << std::string(80, '-') << '\n';
        for (const MicroResult& m : report.micro) {
            out << Pad(m.name, 48) << Pad(Number(m.realNs) + " ns", 20) << Number(m.cpuNs)
                << " ns\n";
        }
    }
    return out.str();
}

std::string ToJson(const Report& report) {
    std::ostringstream out;
    out << "{\n  \"context\": {";
    const char* sep = "\n    ";
    for (const auto& [name, value] : report.context) {
        out << sep << JsonString(name) << ": " << JsonString(value);
        sep = ",\n    ";
    }
    out << "\n  },\n  \"figures\": [";
    sep = "\n    ";
    for (const Figure& f : report.figures) {
        out << sep << "{\"key\": " << JsonString(f.key) << ", \"label\": " << JsonString(f.label)
            << ", \"value\": " << JsonNumber(f.value) << ", \"unit\": " << JsonString(f.unit)
            << ", \"target\": " << (f.target ? JsonNumber(*f.target) : "null")
            << ", \"met\": " << (f.Met() ? "true" : "false") << ", \"samples\": " << f.samples
            << ", \"detail\": " << JsonString(f.detail);
        for (const auto& [name, value] : f.extra)
            out << ", " << JsonString(name) << ": " << JsonNumber(value);
        out << "}";
        sep = ",\n    ";
    }
    out << "\n  ],\n  \"micro\": [";
    sep = "\n    ";
    for (const MicroResult& m : report.micro) {
        out << sep << "{\"name\": " << JsonString(m.name)
            << ", \"real_ns\": " << JsonNumber(m.realNs) << ", \"cpu_ns\": " << JsonNumber(m.cpuNs)
            << ", \"items_per_second\": " << JsonNumber(m.itemsPerSecond) << "}";
        sep = ",\n    ";
    }
    out << "\n  ]\n}\n";
    return out.str();
}

std::vector<MicroResult> ReadMicroCsv(std::istream& in) {
    std::vector<MicroResult> results;
    std::vector<std::string> header;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells = SplitCsv(line);
        if (header.empty()) {
            if (!cells.empty() && cells[0] == "name") header = std::move(cells);
            continue;
        }
        auto cell = [&](const char* column) -> std::string {
            for (size_t i = 0; i < header.size() && i < cells.size(); ++i) {
                if (header[i] == column) return cells[i];
            }
            return {};
        };
        if (cells.size() < 5 || cell("error_occurred") == "true") continue;
        MicroResult m;
        m.name = cells[0];
        const std::string unit = cell("time_unit");
        try {
            m.realNs = ToNs(std::stod(cell("real_time")), unit);
            m.cpuNs = ToNs(std::stod(cell("cpu_time")), unit);
            const std::string items = cell("items_per_second");
            if (!items.empty()) m.itemsPerSecond = std::stod(items);
        } catch (...) {
            continue;  // not a result line
        }
        results.push_back(std::move(m));
    }
    return results;
}

}  // namespace qv::bench

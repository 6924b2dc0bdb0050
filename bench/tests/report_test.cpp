#include "bench/report.h"

#include <gtest/gtest.h>

#include <sstream>

namespace qv::bench {
namespace {

Report Sample() {
    Report r;
    r.context["load before"] = "0.10 0.20 0.30";
    Figure open;
    open.key = "open_stored_ratio";
    open.label = "open / floor";
    open.value = 1.05;
    open.unit = "x floor";
    open.target = 1.03;
    open.samples = 7;
    open.detail = "floor \"1310\" ms\tline";
    open.extra = {{"median_ms", 1375.5}};
    Figure memory;
    memory.key = "peak_rss_added_kib";
    memory.label = "peak";
    memory.value = 812;
    memory.unit = "KiB";
    r.figures = {open, memory};
    r.micro = {{"BM_WeightedSum/13", 12.5, 12.4, 0}};
    return r;
}

TEST(Report, JsonEscapesTextAndMarksTargets) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    const std::string json = ToJson(Sample());
    EXPECT_NE(json.find("\"load before\": \"0.10 0.20 0.30\""), std::string::npos);
    EXPECT_NE(json.find("\"key\": \"open_stored_ratio\", \"label\": \"open / floor\", "
                        "\"value\": 1.05, \"unit\": \"x floor\", \"target\": 1.03, "
                        "\"met\": false, \"samples\": 7, "
                        "\"detail\": \"floor \\\"1310\\\" ms\\u0009line\", \"median_ms\": 1375.5}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"target\": null, \"met\": true"), std::string::npos);
    EXPECT_NE(json.find("{\"name\": \"BM_WeightedSum/13\", \"real_ns\": 12.5"), std::string::npos);
}

TEST(Report, TableShowsMissedTargets) {
    const std::string table = FormatTable(Sample());
    EXPECT_NE(table.find("open / floor"), std::string::npos);
    EXPECT_NE(table.find("1.050 x floor"), std::string::npos);
    EXPECT_NE(table.find("NO"), std::string::npos);
    EXPECT_NE(table.find("BM_WeightedSum/13"), std::string::npos);
}

TEST(Report, ReadsGoogleBenchmarkCsv) {
    std::istringstream csv(
        "2026-12-07T21:00:00+00:00\n"
        "Running ./qv_micro_bench\n"
        "name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,label,"
        "error_occurred,error_message\n"
        "\"BM_WeightedSum/13\",5000000,12.5,12.25,ns,1.04e+09,,,,\n"
        "\"BM_SplitMixedStream\",100000,2.5,2.4,us,,2.8e+06,,,\n"
        "\"BM_Broken\",0,0,0,ns,,,,true,\"went, wrong\"\n");
    const auto results = ReadMicroCsv(csv);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].name, "BM_WeightedSum/13");
    EXPECT_DOUBLE_EQ(results[0].realNs, 12.5);
    EXPECT_DOUBLE_EQ(results[0].cpuNs, 12.25);
    EXPECT_DOUBLE_EQ(results[1].realNs, 2500);
    EXPECT_DOUBLE_EQ(results[1].itemsPerSecond, 2.8e6);
}

}  // namespace
}  // namespace qv::bench

// The per-symbology Set/Get pairs and the general options, reached through
// the library's exports with their values as plain lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "symbology_names.h"

namespace qv::cli {

// Each returns the export's result; `exportName` receives its name.
int32_t GetOptionValues(OptionSet set, std::vector<int32_t>& values, std::string& exportName);
int32_t SetOptionValues(OptionSet set, const std::vector<int32_t>& values, std::string& exportName);

// The same, throwing ExportFailed when the export returns -1.
std::vector<int32_t> ReadOptions(OptionSet set);
void WriteOptions(OptionSet set, const std::vector<int32_t>& values);

// The number of values the pair's exports take, read from their signatures.
int ExportArity(OptionSet set);
// Bit i set: value i of the pair is a char.
uint32_t ExportCharMask(OptionSet set);

}  // namespace qv::cli

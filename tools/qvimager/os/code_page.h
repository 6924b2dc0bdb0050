// Text in the engine's code page: what an engine sends for a barcode is
// bytes in the device's ANSI code page (QV_ANSI_CODEPAGE), which the library
// turns into UTF-16. The embedded engine is given its barcodes that way, so
// that what the user typed comes back as typed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv::cli::os {

// `utf8` in `codePage` (an iconv name); nullopt when the code page is
// unknown or cannot hold every character.
std::optional<std::string> Utf8ToCodePage(std::string_view utf8, const std::string& codePage);

}  // namespace qv::cli::os

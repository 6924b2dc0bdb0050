// Printing: whole lines to standard output or standard error, one at a time
// also when the embedded simulator's trace prints from its own thread; and
// the library's UTF-16 texts made readable.
#pragma once

#include <string>
#include <string_view>

namespace qv::cli {

void PrintLine(std::string_view line);
void PrintError(std::string_view line);

std::string ToUtf8(std::u16string_view text);

// The text of a zero-terminated buffer of `units` units, never read past it.
std::u16string_view TextOf(const char16_t* buffer, size_t units);

// In double quotes, with \\, \", \r, \n, \t and \xNN for other control
// characters, so that every byte of a barcode shows.
std::string Quoted(std::string_view utf8);

}  // namespace qv::cli

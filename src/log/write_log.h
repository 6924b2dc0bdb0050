// The library's one diagnostic output: "[RO25]" followed by a printf-style
// UTF-16 format expanded into a 1024-unit buffer (at most 1023 units kept).
// Callers put their own "\r\n" at the end of the format.
//
// The format is the library's own; what the arguments of %s and %c bring
// (barcode text, paths, a system's messages) is outside text, and its
// control characters (ESC, CR, LF, ...) are written as \xHH escapes, so no
// argument can colour a terminal or forge a "[RO25]" line of its own.
//
// Conversions: %s (UTF-16 string), %c, %d, %i, %u, %x, %X with flags, width
// and precision (e.g. %02X, %03d), and %%. Arguments are type-checked at
// compile time instead of going through C varargs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace qv {

inline constexpr size_t kLogBufferUnits = 1024;

struct LogArg {
    enum class Kind { Integer, Text } kind;
    int64_t integer = 0;
    std::u16string_view text;

    template <class T, std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>, int> = 0>
    LogArg(T v) : kind(Kind::Integer), integer(static_cast<int64_t>(v)) {}
    // Handles and pointers are logged as 32-bit values, as on the device.
    template <class T>
    LogArg(T* p)
        : kind(Kind::Integer), integer(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p))) {}
    LogArg(const char16_t* s) : kind(Kind::Text), text(s != nullptr ? s : u"(null)") {}
    LogArg(char16_t* s) : LogArg(static_cast<const char16_t*>(s)) {}
    LogArg(std::u16string_view s) : kind(Kind::Text), text(s) {}
    LogArg(const std::u16string& s) : kind(Kind::Text), text(s) {}
};

// Expands `format` with `args`; the result is cut at kLogBufferUnits - 1 units.
std::u16string FormatLog(std::u16string_view format, std::initializer_list<LogArg> args);

// Emits "[RO25]" + the expansion as one write to the debug output.
void WriteLogLine(std::u16string_view format, std::initializer_list<LogArg> args);

template <class... A>
void WriteLog(std::u16string_view format, const A&... args) {
    WriteLogLine(format, {LogArg(args)...});
}

}  // namespace qv

#include "platform/text/text_conversion.h"

namespace qv::platform {
namespace {

// 0x80..0x9F; the rest of CP1252 is Latin-1.
constexpr char16_t kCp1252C1[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

}  // namespace

char16_t Cp1252ToUtf16(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kCp1252C1[byte - 0x80];
    return byte;
}

std::u16string AnsiToUtf16(std::string_view bytes) {
    return AnsiToUtf16(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace qv::platform

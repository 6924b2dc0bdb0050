#include "sim/symbologies.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace qv::sim {
namespace {

constexpr std::array<Symbology, 41> kSymbologies{{
    {1, "australian-post", 0x34, 0x40, 0x34, 0x48, true},
    {2, "aztec", 0x53, 0x40, 0x53, 0x48, true},
    {3, "bpo", 0x32, 0x40, 0x32, 0x48, true},
    {6, "codabar", 0x40, 0x40, 0x40, 0x48, true},
    {113, "codablock-a", 0x4D, 0x40, 0x4D, 0x48, true},
    {114, "codablock-f", 0x4D, 0x41, 0x4D, 0x49, true},
    {8, "code11", 0x4A, 0x40, 0x4A, 0x48, true},
    {12, "code39", 0x42, 0x40, 0x42, 0x48, true},
    {71, "macropdf", 0x4C, 0x41, 0x4C, 0x48, false},
    {14, "code93", 0x41, 0x40, 0x41, 0x48, true},
    {9, "code128", 0x43, 0x40, 0x43, 0x48, true},
    {55, "gs1-128", 0x43, 0x42, 0x43, 0x49, true},
    {23, "isbt128", 0x43, 0x41, 0x43, 0x48, false},
    {17, "datamatrix", 0x54, 0x40, 0x54, 0x48, true},
    {18, "dutch-post", 0x36, 0x40, 0x36, 0x48, true},
    {43, "upc-a", 0x4B, 0x40, 0x4B, 0x48, true},
    {44, "upc-e", 0x4B, 0x41, 0x4B, 0x49, true},
    {20, "ean13", 0x4B, 0x43, 0x4B, 0x4B, true},
    {19, "ean8", 0x4B, 0x42, 0x4B, 0x4A, true},
    {132, "gs1-composite-ab", 0x56, 0x40, 0x56, 0x48, true},
    {133, "gs1-composite-c", 0x56, 0x41, 0x56, 0x49, true},
    {121, "gs1-databar", 0x4F, 0x40, 0x4F, 0x48, true},
    {130, "gs1-databar-limited", 0x4F, 0x41, 0x4F, 0x49, true},
    {129, "gs1-databar-expanded", 0x4F, 0x42, 0x4F, 0x4A, true},
    {56, "han-xin", 0x5A, 0x40, 0x5A, 0x48, true},
    {122, "infomail", 0x39, 0x40, 0x39, 0x48, true},
    {22, "interleaved2of5", 0x44, 0x40, 0x44, 0x48, true},
    {24, "japan-post", 0x35, 0x40, 0x35, 0x48, true},
    {52, "matrix2of5", 0x45, 0x40, 0x45, 0x48, true},
    {26, "maxicode", 0x52, 0x40, 0x52, 0x48, true},
    {29, "msi", 0x46, 0x40, 0x46, 0x48, true},
    {32, "pdf417", 0x4C, 0x40, 0x4C, 0x48, true},
    {28, "micropdf", 0x4C, 0x42, 0x4C, 0x49, true},
    {33, "planet", 0x31, 0x40, 0x31, 0x48, true},
    {34, "plessey", 0x47, 0x40, 0x47, 0x48, true},
    {36, "postnet", 0x30, 0x40, 0x30, 0x48, true},
    {37, "qr", 0x55, 0x40, 0x55, 0x48, true},
    {134, "standard2of5", 0x48, 0x40, 0x48, 0x48, true},
    {40, "telepen", 0x49, 0x40, 0x49, 0x48, true},
    {41, "tlc39", 0x4E, 0x40, 0x4E, 0x48, true},
    {45, "upc-e1", 0x4B, 0x4C, 0x4B, 0x49, false},
}};

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::span<const Symbology> Symbologies() {
    return kSymbologies;
}

const Symbology* FindSymbology(int number) {
    for (const Symbology& s : kSymbologies) {
        if (s.number == number) return &s;
    }
    return nullptr;
}

const Symbology* FindSymbology(std::string_view numberOrName) {
    int number = 0;
    const char* end = numberOrName.data() + numberOrName.size();
    auto [ptr, ec] = std::from_chars(numberOrName.data(), end, number);
    if (ec == std::errc() && ptr == end) return FindSymbology(number);
    for (const Symbology& s : kSymbologies) {
        if (SameName(s.name, numberOrName)) return &s;
    }
    return nullptr;
}

}  // namespace qv::sim

#include "symbology_names.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace qv::cli {
namespace {

constexpr OptionSetInfo kOptionSets[] = {
    {OptionSet::Aztec, "Aztec", 4, 0},
    {OptionSet::BPO, "BPO", 1, 0},
    {OptionSet::Codabar, "Codabar", 6, 0},
    {OptionSet::Code11, "Code11", 1, 0},
    {OptionSet::Code39, "Code39", 4, 0},
    {OptionSet::Code93, "Code93", 1, 0},
    {OptionSet::Code128_GS1_128_ISBT, "Code128_GS1_128_ISBT", 10, 1u << 6},
    {OptionSet::DataMatrix, "DataMatrix", 3, 0},
    {OptionSet::UPCA, "UPCA", 3, 0},
    {OptionSet::UPCE, "UPCE", 3, 0},
    {OptionSet::EAN13, "EAN13", 4, 0},
    {OptionSet::EAN8, "EAN8", 2, 0},
    {OptionSet::UPCEAN, "UPCEAN", 6, 1u << 4},
    {OptionSet::GS1Composite, "GS1Composite", 3, 0},
    {OptionSet::Interleaved2of5, "Interleaved2of5", 3, 0},
    {OptionSet::Matrix2of5, "Matrix2of5", 1, 0},
    {OptionSet::MSI, "MSI", 1, 0},
    {OptionSet::PDF417, "PDF417", 3, 0},
    {OptionSet::MicroPDF, "MicroPDF", 1, 0},
    {OptionSet::Planet, "Planet", 1, 0},
    {OptionSet::Plessey, "Plessey", 2, 0},
    {OptionSet::Postnet, "Postnet", 1, 0},
    {OptionSet::QRCode, "QRCode", 2, 0},
    {OptionSet::Standard2of5, "Standard2of5", 3, 0},
    {OptionSet::Telepen, "Telepen", 1, 0},
    {OptionSet::TLC39, "TLC39", 2, 1u << 1},
};

constexpr const OptionSetInfo* Set(OptionSet set) {
    return &kOptionSets[static_cast<int>(set)];
}

const SymbologyName kSymbologies[] = {
    {1, "Australian Post", "australianpost", "auspost", nullptr},
    {2, "Aztec", "aztec", "", Set(OptionSet::Aztec)},
    {3, "BPO", "bpo", "", Set(OptionSet::BPO)},
    {6, "Codabar", "codabar", "", Set(OptionSet::Codabar)},
    {113, "Codablock A", "codablocka", "", nullptr},
    {114, "Codablock F", "codablockf", "", nullptr},
    {8, "Code 11", "code11", "", Set(OptionSet::Code11)},
    {12, "Code 39", "code39", "", Set(OptionSet::Code39)},
    {71, "MacroPDF", "macropdf", "", nullptr},
    {14, "Code 93", "code93", "", Set(OptionSet::Code93)},
    {9, "Code 128", "code128", "", Set(OptionSet::Code128_GS1_128_ISBT)},
    {55, "GS1-128", "gs1-128", "ean128", Set(OptionSet::Code128_GS1_128_ISBT)},
    {23, "ISBT 128", "isbt", "isbt128", Set(OptionSet::Code128_GS1_128_ISBT)},
    {17, "Data Matrix", "datamatrix", "dm", Set(OptionSet::DataMatrix)},
    {18, "Dutch Post", "dutchpost", "", nullptr},
    {43, "UPC-A", "upca", "", Set(OptionSet::UPCA)},
    {44, "UPC-E", "upce", "", Set(OptionSet::UPCE)},
    {20, "EAN-13", "ean13", "", Set(OptionSet::EAN13)},
    {19, "EAN-8", "ean8", "", Set(OptionSet::EAN8)},
    {132, "GS1 Composite A/B", "gs1compositeab", "compositeab", Set(OptionSet::GS1Composite)},
    {133, "GS1 Composite C", "gs1compositec", "compositec", Set(OptionSet::GS1Composite)},
    {121, "GS1 DataBar Omnidirectional", "gs1databar", "gs1databaromni databar", nullptr},
    {130, "GS1 DataBar Limited", "gs1databarlimited", "databarlimited", nullptr},
    {129, "GS1 DataBar Expanded", "gs1databarexpanded", "databarexpanded", nullptr},
    {56, "Han Xin", "hanxin", "", nullptr},
    {122, "Infomail", "infomail", "", nullptr},
    {22, "Interleaved 2 of 5", "interleaved2of5", "i2of5 itf", Set(OptionSet::Interleaved2of5)},
    {24, "Japan Post", "japanpost", "", nullptr},
    {52, "Matrix 2 of 5", "matrix2of5", "m2of5", Set(OptionSet::Matrix2of5)},
    {26, "MaxiCode", "maxicode", "", nullptr},
    {29, "MSI", "msi", "", Set(OptionSet::MSI)},
    {32, "PDF417", "pdf417", "", Set(OptionSet::PDF417)},
    {28, "MicroPDF417", "micropdf", "micropdf417", Set(OptionSet::MicroPDF)},
    {33, "Planet", "planet", "", Set(OptionSet::Planet)},
    {34, "Plessey", "plessey", "", Set(OptionSet::Plessey)},
    {36, "Postnet", "postnet", "", Set(OptionSet::Postnet)},
    {37, "QR Code", "qr", "qrcode", Set(OptionSet::QRCode)},
    {134, "Standard 2 of 5", "standard2of5", "s2of5", Set(OptionSet::Standard2of5)},
    {40, "Telepen", "telepen", "", Set(OptionSet::Telepen)},
    {41, "TLC39", "tlc39", "", Set(OptionSet::TLC39)},
    {45, "UPC-E1", "upce1", "", nullptr},
};

std::string Normalized(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '-' || c == '_' || c == '/' || c == ' ') continue;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

bool NameMatches(const SymbologyName& s, const std::string& wanted) {
    if (Normalized(s.name) == wanted) return true;
    std::string_view rest = s.aliases;
    while (!rest.empty()) {
        const size_t blank = rest.find(' ');
        if (Normalized(rest.substr(0, blank)) == wanted) return true;
        if (blank == std::string_view::npos) break;
        rest.remove_prefix(blank + 1);
    }
    return false;
}

}  // namespace

std::span<const OptionSetInfo> OptionSets() {
    return kOptionSets;
}

const OptionSetInfo& InfoOf(OptionSet set) {
    return *Set(set);
}

std::span<const SymbologyName> SymbologyNames() {
    return kSymbologies;
}

const SymbologyName* FindSymbology(int number) {
    for (const SymbologyName& s : kSymbologies) {
        if (s.number == number) return &s;
    }
    return nullptr;
}

const SymbologyName* FindSymbology(std::string_view numberOrName) {
    int number = 0;
    const char* end = numberOrName.data() + numberOrName.size();
    if (auto [ptr, ec] = std::from_chars(numberOrName.data(), end, number);
        ec == std::errc() && ptr == end) {
        return FindSymbology(number);
    }
    const std::string wanted = Normalized(numberOrName);
    if (wanted.empty()) return nullptr;
    const auto it = std::find_if(std::begin(kSymbologies), std::end(kSymbologies),
                                 [&](const SymbologyName& s) { return NameMatches(s, wanted); });
    return it == std::end(kSymbologies) ? nullptr : &*it;
}

std::string_view SymbologyTitle(int number) {
    const SymbologyName* s = FindSymbology(number);
    return s != nullptr ? s->title : "unknown";
}

bool FindTarget(std::string_view text, SettingTarget& target) {
    const std::string wanted = Normalized(text);
    if (wanted == "general") {
        target = {SettingTarget::Kind::General, nullptr, nullptr, "general options"};
        return true;
    }
    if (wanted == "all") {
        target = {SettingTarget::Kind::All, nullptr, nullptr, "all symbologies"};
        return true;
    }
    if (wanted == "upcean") {
        target = {SettingTarget::Kind::OptionsOnly, nullptr, Set(OptionSet::UPCEAN),
                  "UPC/EAN common options"};
        return true;
    }
    const SymbologyName* s = FindSymbology(text);
    if (s == nullptr) return false;
    target = {SettingTarget::Kind::Symbology, s, s->options, s->title};
    return true;
}

}  // namespace qv::cli

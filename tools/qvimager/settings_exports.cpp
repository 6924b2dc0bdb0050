#include "settings_exports.h"

#include <tuple>
#include <type_traits>
#include <utility>

#include "QV_Rizoviv2I_RO25.h"
#include "export_check.h"

namespace qv::cli {
namespace {

int32_t ToValue(int32_t v) {
    return v;
}
int32_t ToValue(char c) {
    return static_cast<unsigned char>(c);
}

template <typename... A, size_t... I>
int32_t CallSet(int32_t (*f)(A...), const std::vector<int32_t>& v, std::index_sequence<I...>) {
    return f(static_cast<A>(v[I])...);
}

template <typename... P, size_t... I>
int32_t CallGet(int32_t (*f)(P*...), std::vector<int32_t>& out, std::index_sequence<I...>) {
    std::tuple<P...> values{};
    const int32_t result = f(&std::get<I>(values)...);
    if (result == 1) out = {ToValue(std::get<I>(values))...};
    return result;
}

template <typename... A>
constexpr int ArityOf(int32_t (*)(A...)) {
    return static_cast<int>(sizeof...(A));
}

template <typename... A>
constexpr uint32_t CharMaskOf(int32_t (*)(A...)) {
    uint32_t mask = 0;
    uint32_t bit = 1;
    ((mask |= std::is_same_v<A, char> ? bit : 0u, bit <<= 1), ...);
    return mask;
}

template <auto F>
int32_t SetVia(const std::vector<int32_t>& values) {
    std::vector<int32_t> v = values;
    v.resize(static_cast<size_t>(ArityOf(F)), 0);
    return CallSet(F, v, std::make_index_sequence<ArityOf(F)>{});
}

template <auto F>
int32_t GetVia(std::vector<int32_t>& values) {
    return CallGet(F, values, std::make_index_sequence<ArityOf(F)>{});
}

struct Pair {
    OptionSet set;
    const char* setName;
    const char* getName;
    int32_t (*setter)(const std::vector<int32_t>&);
    int32_t (*getter)(std::vector<int32_t>&);
    int arity;
    uint32_t charMask;
};

// Both exports of a pair take the same values, one by value, one by pointer.
#define QV_PAIR(stem)                                                                     \
    Pair {                                                                                \
        OptionSet::stem, "QVImagerSet" #stem "Setting", "QVImagerGet" #stem "Setting",    \
            &SetVia<&QVImagerSet##stem##Setting>, &GetVia<&QVImagerGet##stem##Setting>,   \
            ArityOf(&QVImagerSet##stem##Setting), CharMaskOf(&QVImagerSet##stem##Setting) \
    }

const Pair kPairs[] = {
    QV_PAIR(Aztec),
    QV_PAIR(BPO),
    QV_PAIR(Codabar),
    QV_PAIR(Code11),
    QV_PAIR(Code39),
    QV_PAIR(Code93),
    QV_PAIR(Code128_GS1_128_ISBT),
    QV_PAIR(DataMatrix),
    QV_PAIR(UPCA),
    QV_PAIR(UPCE),
    QV_PAIR(EAN13),
    QV_PAIR(EAN8),
    QV_PAIR(UPCEAN),
    QV_PAIR(GS1Composite),
    QV_PAIR(Interleaved2of5),
    QV_PAIR(Matrix2of5),
    QV_PAIR(MSI),
    QV_PAIR(PDF417),
    QV_PAIR(MicroPDF),
    QV_PAIR(Planet),
    QV_PAIR(Plessey),
    QV_PAIR(Postnet),
    QV_PAIR(QRCode),
    QV_PAIR(Standard2of5),
    QV_PAIR(Telepen),
    QV_PAIR(TLC39),
};

#undef QV_PAIR

const Pair& PairOf(OptionSet set) {
    for (const Pair& p : kPairs) {
        if (p.set == set) return p;
    }
    return kPairs[0];
}

}  // namespace

int32_t GetOptionValues(OptionSet set, std::vector<int32_t>& values, std::string& exportName) {
    const Pair& p = PairOf(set);
    exportName = p.getName;
    return p.getter(values);
}

int32_t SetOptionValues(OptionSet set, const std::vector<int32_t>& values,
                        std::string& exportName) {
    const Pair& p = PairOf(set);
    exportName = p.setName;
    return p.setter(values);
}

std::vector<int32_t> ReadOptions(OptionSet set) {
    std::vector<int32_t> values;
    std::string name;
    if (GetOptionValues(set, values, name) != 1) throw ExportFailed(name);
    return values;
}

void WriteOptions(OptionSet set, const std::vector<int32_t>& values) {
    std::string name;
    if (SetOptionValues(set, values, name) != 1) throw ExportFailed(name);
}

int ExportArity(OptionSet set) {
    return PairOf(set).arity;
}

uint32_t ExportCharMask(OptionSet set) {
    return PairOf(set).charMask;
}

}  // namespace qv::cli

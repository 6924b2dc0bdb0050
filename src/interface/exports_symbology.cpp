// Per-symbology and general engine options: one Set/Get pair per row of
// the member table. Each Set reads its record from the engine, replaces
// the member's slots and writes the record back; each Get reads the record
// and hands the member's slots out.
#include <array>
#include <type_traits>

#include "interface/export_guard.h"
#include "symbology/option_members.h"
#include "symbology/settings_operations.h"
#include "symbology/symbology_table.h"

using namespace qv;

namespace {

// The exported argument types must match the member's slots: a character
// argument for a character slot, a 32-bit integer for every other.
template <size_t I, class... A>
constexpr bool ArgumentsMatchSlots() {
    constexpr const OptionMember& m = kOptionMembers[I];
    if (sizeof...(A) != m.count) return false;
    constexpr std::array<bool, sizeof...(A)> isChar{std::is_same_v<A, char>...};
    constexpr std::array<bool, sizeof...(A)> isInt{std::is_same_v<A, int32_t>...};
    for (size_t i = 0; i < sizeof...(A); ++i) {
        const bool charSlot =
            m.record == RecordKind::Detail && kDetailSlots[m.slots[i]].type == SlotType::Char;
        if (charSlot ? !isChar[i] : !isInt[i]) return false;
    }
    return true;
}

template <size_t I, class... A>
int32_t SetOption(A... values) {
    static_assert(ArgumentsMatchSlots<I, A...>());
    const std::array<int32_t, sizeof...(A)> v{static_cast<int32_t>(values)...};
    return GuardedCommand(
        [&](ImagerEngine& engine) { return engine.Symbology().SetMember(kOptionMembers[I], v); });
}

// A null output gives -1 before anything is sent, and nothing is written.
template <size_t I, class... A>
int32_t GetOption(A*... out) {
    static_assert(ArgumentsMatchSlots<I, A...>());
    return GuardedCommand([&](ImagerEngine& engine) {
        if ((!out || ...)) return false;
        std::array<int32_t, sizeof...(A)> v{};
        if (engine.Symbology().GetMember(kOptionMembers[I], v) == 0) {
            return false;
        }
        size_t i = 0;
        ((*out = static_cast<A>(v[i++])), ...);
        return true;
    });
}

}  // namespace

// Parameter lists of up to ten values: QV_PARAMS(*, int32_t, char) gives
// "int32_t* v2, char* v1" and QV_NAMES(int32_t, char) gives "v2, v1".
#define QV_COUNT(...) QV_COUNT_(__VA_ARGS__, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define QV_COUNT_(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, N, ...) N
#define QV_CAT(a, b) QV_CAT_(a, b)
#define QV_CAT_(a, b) a##b

// Each step names its first parameter after the count left, so the
// arguments are v<n>, ..., v1 from left to right.
#define QV_P1(S, T) T S v1
#define QV_P2(S, T, ...) T S v2, QV_P1(S, __VA_ARGS__)
#define QV_P3(S, T, ...) T S v3, QV_P2(S, __VA_ARGS__)
#define QV_P4(S, T, ...) T S v4, QV_P3(S, __VA_ARGS__)
#define QV_P5(S, T, ...) T S v5, QV_P4(S, __VA_ARGS__)
#define QV_P6(S, T, ...) T S v6, QV_P5(S, __VA_ARGS__)
#define QV_P7(S, T, ...) T S v7, QV_P6(S, __VA_ARGS__)
#define QV_P8(S, T, ...) T S v8, QV_P7(S, __VA_ARGS__)
#define QV_P9(S, T, ...) T S v9, QV_P8(S, __VA_ARGS__)
#define QV_P10(S, T, ...) T S v10, QV_P9(S, __VA_ARGS__)
#define QV_N1 v1
#define QV_N2 v2, QV_N1
#define QV_N3 v3, QV_N2
#define QV_N4 v4, QV_N3
#define QV_N5 v5, QV_N4
#define QV_N6 v6, QV_N5
#define QV_N7 v7, QV_N6
#define QV_N8 v8, QV_N7
#define QV_N9 v9, QV_N8
#define QV_N10 v10, QV_N9

#define QV_PARAMS(S, ...) QV_CAT(QV_P, QV_COUNT(__VA_ARGS__))(S, __VA_ARGS__)
#define QV_NAMES(...) QV_CAT(QV_N, QV_COUNT(__VA_ARGS__))

#define QV_OPTION_PAIR(I, SET, GET, ...)               \
    static_assert(kOptionMembers[I].setName == #SET);  \
    static_assert(kOptionMembers[I].getName == #GET);  \
    QV_EXPORT int32_t SET(QV_PARAMS(, __VA_ARGS__)) {  \
        return SetOption<I>(QV_NAMES(__VA_ARGS__));    \
    }                                                  \
    QV_EXPORT int32_t GET(QV_PARAMS(*, __VA_ARGS__)) { \
        return GetOption<I>(QV_NAMES(__VA_ARGS__));    \
    }

#define QV_I int32_t

// clang-format off
QV_OPTION_PAIR(0, QVImagerSetAztecSetting, QVImagerGetAztecSetting, QV_I, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(1, QVImagerSetBPOSetting, QVImagerGetBPOSetting, QV_I)
QV_OPTION_PAIR(2, QVImagerSetCodabarSetting, QVImagerGetCodabarSetting,
               QV_I, QV_I, QV_I, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(3, QVImagerSetCode11Setting, QVImagerGetCode11Setting, QV_I)
QV_OPTION_PAIR(4, QVImagerSetCode39Setting, QVImagerGetCode39Setting, QV_I, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(5, QVImagerSetCode93Setting, QVImagerGetCode93Setting, QV_I)
QV_OPTION_PAIR(6, QVImagerSetCode128_GS1_128_ISBTSetting, QVImagerGetCode128_GS1_128_ISBTSetting,
               QV_I, QV_I, QV_I, QV_I, QV_I, QV_I, char, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(7, QVImagerSetDataMatrixSetting, QVImagerGetDataMatrixSetting, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(8, QVImagerSetUPCASetting, QVImagerGetUPCASetting, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(9, QVImagerSetUPCESetting, QVImagerGetUPCESetting, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(10, QVImagerSetEAN13Setting, QVImagerGetEAN13Setting, QV_I, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(11, QVImagerSetEAN8Setting, QVImagerGetEAN8Setting, QV_I, QV_I)
QV_OPTION_PAIR(12, QVImagerSetUPCEANSetting, QVImagerGetUPCEANSetting,
               QV_I, QV_I, QV_I, QV_I, char, QV_I)
QV_OPTION_PAIR(13, QVImagerSetGS1CompositeSetting, QVImagerGetGS1CompositeSetting,
               QV_I, QV_I, QV_I)
QV_OPTION_PAIR(14, QVImagerSetInterleaved2of5Setting, QVImagerGetInterleaved2of5Setting,
               QV_I, QV_I, QV_I)
QV_OPTION_PAIR(15, QVImagerSetMatrix2of5Setting, QVImagerGetMatrix2of5Setting, QV_I)
QV_OPTION_PAIR(16, QVImagerSetMSISetting, QVImagerGetMSISetting, QV_I)
QV_OPTION_PAIR(17, QVImagerSetPDF417Setting, QVImagerGetPDF417Setting, QV_I, QV_I, QV_I)
QV_OPTION_PAIR(18, QVImagerSetMicroPDFSetting, QVImagerGetMicroPDFSetting, QV_I)
QV_OPTION_PAIR(19, QVImagerSetPlanetSetting, QVImagerGetPlanetSetting, QV_I)
QV_OPTION_PAIR(20, QVImagerSetPlesseySetting, QVImagerGetPlesseySetting, QV_I, QV_I)
QV_OPTION_PAIR(21, QVImagerSetPostnetSetting, QVImagerGetPostnetSetting, QV_I)
QV_OPTION_PAIR(22, QVImagerSetQRCodeSetting, QVImagerGetQRCodeSetting, QV_I, QV_I)
QV_OPTION_PAIR(23, QVImagerSetStandard2of5Setting, QVImagerGetStandard2of5Setting,
               QV_I, QV_I, QV_I)
QV_OPTION_PAIR(24, QVImagerSetTelepenSetting, QVImagerGetTelepenSetting, QV_I)
QV_OPTION_PAIR(25, QVImagerSetTLC39Setting, QVImagerGetTLC39Setting, QV_I, char)
QV_OPTION_PAIR(26, QVImagerSetSecurtyLevel, QVImagerGetSecurtyLevel, QV_I)
QV_OPTION_PAIR(27, QVImagerSetAECArea, QVImagerGetAECArea, QV_I)
QV_OPTION_PAIR(28, QVImagerSetExtensiveBarcodeSearch, QVImagerGetExtensiveBarcodeSearch, QV_I)
QV_OPTION_PAIR(29, QVImagerSetDPMSetting, QVImagerGetDPMSetting, QV_I, QV_I, QV_I)
// clang-format on

// The per-symbology and general-option Set/Get pairs: which record each
// reads and writes, and which slots its values go to, in argument order.
// The exports are generated from this table; a value's kind (integer or
// character) is the kind of its slot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qv {

enum class RecordKind : uint8_t { Detail, Other };

inline constexpr size_t kMaxMemberValues = 10;

struct OptionMember {
    std::string_view setName;
    std::string_view getName;
    RecordKind record;
    uint8_t count;
    std::array<uint8_t, kMaxMemberValues> slots;
};

namespace detail {

// A member whose values fill `count` consecutive Detail slots from `first`.
constexpr OptionMember DetailRun(std::string_view set, std::string_view get, uint8_t first,
                                 uint8_t count) {
    OptionMember m{set, get, RecordKind::Detail, count, {}};
    for (uint8_t i = 0; i < count; ++i)
        m.slots[i] = static_cast<uint8_t>(first + i);
    return m;
}

}  // namespace detail

// clang-format off
inline constexpr std::array<OptionMember, 30> kOptionMembers{{
    detail::DetailRun("QVImagerSetAztecSetting", "QVImagerGetAztecSetting", 0, 4),
    detail::DetailRun("QVImagerSetBPOSetting", "QVImagerGetBPOSetting", 4, 1),
    detail::DetailRun("QVImagerSetCodabarSetting", "QVImagerGetCodabarSetting", 5, 6),
    detail::DetailRun("QVImagerSetCode11Setting", "QVImagerGetCode11Setting", 11, 1),
    detail::DetailRun("QVImagerSetCode39Setting", "QVImagerGetCode39Setting", 12, 4),
    detail::DetailRun("QVImagerSetCode93Setting", "QVImagerGetCode93Setting", 16, 1),
    detail::DetailRun("QVImagerSetCode128_GS1_128_ISBTSetting",
                      "QVImagerGetCode128_GS1_128_ISBTSetting", 17, 10),
    detail::DetailRun("QVImagerSetDataMatrixSetting", "QVImagerGetDataMatrixSetting", 27, 3),
    detail::DetailRun("QVImagerSetUPCASetting", "QVImagerGetUPCASetting", 30, 3),
    detail::DetailRun("QVImagerSetUPCESetting", "QVImagerGetUPCESetting", 33, 3),
    detail::DetailRun("QVImagerSetEAN13Setting", "QVImagerGetEAN13Setting", 36, 4),
    detail::DetailRun("QVImagerSetEAN8Setting", "QVImagerGetEAN8Setting", 40, 2),
    detail::DetailRun("QVImagerSetUPCEANSetting", "QVImagerGetUPCEANSetting", 42, 6),
    detail::DetailRun("QVImagerSetGS1CompositeSetting", "QVImagerGetGS1CompositeSetting", 48, 3),
    detail::DetailRun("QVImagerSetInterleaved2of5Setting", "QVImagerGetInterleaved2of5Setting",
                      51, 3),
    detail::DetailRun("QVImagerSetMatrix2of5Setting", "QVImagerGetMatrix2of5Setting", 54, 1),
    detail::DetailRun("QVImagerSetMSISetting", "QVImagerGetMSISetting", 55, 1),
    detail::DetailRun("QVImagerSetPDF417Setting", "QVImagerGetPDF417Setting", 56, 3),
    detail::DetailRun("QVImagerSetMicroPDFSetting", "QVImagerGetMicroPDFSetting", 59, 1),
    detail::DetailRun("QVImagerSetPlanetSetting", "QVImagerGetPlanetSetting", 60, 1),
    detail::DetailRun("QVImagerSetPlesseySetting", "QVImagerGetPlesseySetting", 61, 2),
    detail::DetailRun("QVImagerSetPostnetSetting", "QVImagerGetPostnetSetting", 63, 1),
    detail::DetailRun("QVImagerSetQRCodeSetting", "QVImagerGetQRCodeSetting", 64, 2),
    detail::DetailRun("QVImagerSetStandard2of5Setting", "QVImagerGetStandard2of5Setting", 66, 3),
    detail::DetailRun("QVImagerSetTelepenSetting", "QVImagerGetTelepenSetting", 69, 1),
    detail::DetailRun("QVImagerSetTLC39Setting", "QVImagerGetTLC39Setting", 70, 2),
    {"QVImagerSetSecurtyLevel", "QVImagerGetSecurtyLevel", RecordKind::Other, 1, {0}},
    {"QVImagerSetAECArea", "QVImagerGetAECArea", RecordKind::Other, 1, {2}},
    {"QVImagerSetExtensiveBarcodeSearch", "QVImagerGetExtensiveBarcodeSearch", RecordKind::Other,
     1, {8}},
    {"QVImagerSetDPMSetting", "QVImagerGetDPMSetting", RecordKind::Other, 3, {6, 7, 9}},
}};
// clang-format on

}  // namespace qv

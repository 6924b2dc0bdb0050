// How the engine's parameters are addressed, and where each one lives in the
// library's three settings records. Every user (the codecs, the code-ID
// mapping of barcode delivery, the initialisation payload, the get/set
// exports) reads these tables; nothing repeats their contents.
//
// A parameter is named by a group byte and a parameter byte. Parameter
// bytes of 0x80 and above carry two value bytes on the wire, high byte
// first; all others carry one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qv {

// Symbology groups.
inline constexpr uint8_t AustralianPost_GID = 0x34;
inline constexpr uint8_t Aztec_GID = 0x53;
inline constexpr uint8_t BPO_GID = 0x32;
inline constexpr uint8_t Codabar_GID = 0x40;
inline constexpr uint8_t Codablock_GID = 0x4D;
inline constexpr uint8_t Code11_GID = 0x4A;
inline constexpr uint8_t Code39_TriopticCode39_GID = 0x42;
inline constexpr uint8_t Code93_GID = 0x41;
inline constexpr uint8_t Code128_GS1128_ISBT_GID = 0x43;
inline constexpr uint8_t DataMatrix_GID = 0x54;
inline constexpr uint8_t DutchPost_GID = 0x36;
inline constexpr uint8_t EAN_UPC_GID = 0x4B;
inline constexpr uint8_t GS1Composite_GID = 0x56;
inline constexpr uint8_t GS1DataBar_GID = 0x4F;
inline constexpr uint8_t HanXin_GID = 0x5A;
inline constexpr uint8_t Infomail_GID = 0x39;
inline constexpr uint8_t Interleaved2of5_GID = 0x44;
inline constexpr uint8_t JapanPost_GID = 0x35;
inline constexpr uint8_t KoreanPost_GID = 0x38;
inline constexpr uint8_t Matrix2of5_GID = 0x45;
inline constexpr uint8_t Maxicode_GID = 0x52;
inline constexpr uint8_t MSICode_GID = 0x46;
inline constexpr uint8_t Multicode_GID = 0x59;
inline constexpr uint8_t PDF417_MicroPDF417_GID = 0x4C;
inline constexpr uint8_t Planet_GID = 0x31;
inline constexpr uint8_t PlesseyCode_GID = 0x47;
inline constexpr uint8_t Postnet_GID = 0x30;
inline constexpr uint8_t QRCode_GID = 0x55;
inline constexpr uint8_t Standard2of5_GID = 0x48;
inline constexpr uint8_t Telepen_GID = 0x49;
inline constexpr uint8_t TLC39_GID = 0x4E;

// General groups that belong to no symbology.
inline constexpr uint8_t kSecurityGroup = 0x71;  // Other record slot 0
inline constexpr uint8_t kGeneralGroup = 0x7B;   // Other record slots 1 to 24
inline constexpr uint8_t kInitGroupA = 0x60;     // written only at initialisation
inline constexpr uint8_t kInitGroupB = 0x73;     // written only at initialisation
inline constexpr uint8_t kTestGroup = 0x70;      // the test command

struct SymbologyGroup {
    uint8_t id;
    std::string_view name;
    // Some Enable record field lives in this group; a reply naming any
    // other group is not one the library asked for.
    bool holdsEnableFields;
    // The initialisation also zeroes parameters 0x50 to 0x52 of this group.
    bool initZeroes50To52;
};

inline constexpr std::array<SymbologyGroup, 31> kSymbologyGroups{{
    {AustralianPost_GID, "AustralianPost_GID", true, false},
    {Aztec_GID, "Aztec_GID", true, false},
    {BPO_GID, "BPO_GID", true, false},
    {Codabar_GID, "Codabar_GID", true, true},
    {Codablock_GID, "Codablock_GID", true, false},
    {Code11_GID, "Code11_GID", true, true},
    {Code39_TriopticCode39_GID, "Code39_TriopticCode39_GID", true, false},
    {Code93_GID, "Code93_GID", true, true},
    {Code128_GS1128_ISBT_GID, "Code128_GS1128_ISBT_GID", true, true},
    {DataMatrix_GID, "DataMatrix_GID", true, false},
    {DutchPost_GID, "DutchPost_GID", true, false},
    {EAN_UPC_GID, "EAN_UPC_GID", true, false},
    {GS1Composite_GID, "GS1Composite_GID", true, false},
    {GS1DataBar_GID, "GS1DataBar_GID", true, false},
    {HanXin_GID, "HanXin_GID", true, false},
    {Infomail_GID, "Infomail_GID", true, false},
    {Interleaved2of5_GID, "Interleaved2of5_GID", true, true},
    {JapanPost_GID, "JapanPost_GID", true, false},
    {KoreanPost_GID, "KoreanPost_GID", false, false},
    {Matrix2of5_GID, "Matrix2of5_GID", true, true},
    {Maxicode_GID, "Maxicode_GID", true, false},
    {MSICode_GID, "MSICode_GID", true, true},
    {Multicode_GID, "Multicode_GID", false, false},
    {PDF417_MicroPDF417_GID, "PDF417_MicroPDF417_GID", true, false},
    {Planet_GID, "Planet_GID", true, false},
    {PlesseyCode_GID, "PlesseyCode_GID", true, true},
    {Postnet_GID, "Postnet_GID", true, false},
    {QRCode_GID, "QRCode_GID", true, false},
    {Standard2of5_GID, "Standard2of5_GID", true, true},
    {Telepen_GID, "Telepen_GID", true, true},
    {TLC39_GID, "TLC39_GID", true, false},
}};

// One symbology: its Enable record field (at offset 4 x slot), the address
// of its enable flag, the number the application knows it by, and the
// code-ID character the initialisation assigns to it with the parameter
// that carries that character (both 0 for the three without one).
struct EnableSlot {
    std::string_view field;
    uint8_t group;
    uint8_t param;
    int32_t symbology;
    uint8_t codeId;
    uint8_t codeIdParam;
};

inline constexpr size_t kEnableSlotCount = 41;
// The engine is never asked for the last slot (UPC-E1); it is only written.
inline constexpr size_t kEnableQuerySlots = 40;

inline constexpr std::array<EnableSlot, kEnableSlotCount> kEnableSlots{{
    {"AUSTRALIAN_POST_ENABLE", AustralianPost_GID, 0x40, 1, '1', 0x48},
    {"AZTEC_ENABLE", Aztec_GID, 0x40, 2, '2', 0x48},
    {"BPO_ENABLE", BPO_GID, 0x40, 3, '3', 0x48},
    {"CODABAR_ENABLE", Codabar_GID, 0x40, 6, '4', 0x48},
    {"CODABLOCK_A_ENABLE", Codablock_GID, 0x40, 113, '5', 0x48},
    {"CODABLOCK_F_ENABLE", Codablock_GID, 0x41, 114, '6', 0x49},
    {"CODE11_ENABLE", Code11_GID, 0x40, 8, '7', 0x48},
    {"CODE39_ENABLE", Code39_TriopticCode39_GID, 0x40, 12, '8', 0x48},
    {"MACROPDF_ENABLE", PDF417_MicroPDF417_GID, 0x41, 71, 0, 0},
    {"CODE93_ENABLE", Code93_GID, 0x40, 14, 'a', 0x48},
    {"CODE128_ENABLE", Code128_GS1128_ISBT_GID, 0x40, 9, 'b', 0x48},
    {"GS1_128_ENABLE", Code128_GS1128_ISBT_GID, 0x42, 55, 'c', 0x49},
    {"ISBT_ENABLE", Code128_GS1128_ISBT_GID, 0x41, 23, 0, 0},
    {"DATAMATRIX_ENABLE", DataMatrix_GID, 0x40, 17, 'd', 0x48},
    {"DUTCH_POST_ENABLE", DutchPost_GID, 0x40, 18, 'e', 0x48},
    {"UPC_A_ENABLE", EAN_UPC_GID, 0x40, 43, 'f', 0x48},
    {"UPC_E_ENABLE", EAN_UPC_GID, 0x41, 44, 'g', 0x49},
    {"EAN_13_ENABLE", EAN_UPC_GID, 0x43, 20, 'h', 0x4B},
    {"EAN_8_ENABLE", EAN_UPC_GID, 0x42, 19, 'i', 0x4A},
    {"GS1_COMPOSITE_AB_ENABLE", GS1Composite_GID, 0x40, 132, 'j', 0x48},
    {"GS1_COMPOSITE_C_ENABLE", GS1Composite_GID, 0x41, 133, 'k', 0x49},
    {"GS1_DATABAR_OMNI_DIRECTIONAL_ENABLE", GS1DataBar_GID, 0x40, 121, 'l', 0x48},
    {"GS1_DATABAR_LIMITED_ENABLE", GS1DataBar_GID, 0x41, 130, 'm', 0x49},
    {"GS1_DATABAR_EXPAND_ENABLE", GS1DataBar_GID, 0x42, 129, 'n', 0x4A},
    {"HAN_XIN_ENABLE", HanXin_GID, 0x40, 56, 'o', 0x48},
    {"INFOMAIL_ENABLE", Infomail_GID, 0x40, 122, 'p', 0x48},
    {"INTERLEAVED_2OF5_ENABLE", Interleaved2of5_GID, 0x40, 22, 'q', 0x48},
    {"JAPAN_POST_ENABLE", JapanPost_GID, 0x40, 24, 'r', 0x48},
    {"MATRIX_2OF5_ENABLE", Matrix2of5_GID, 0x40, 52, 's', 0x48},
    {"MAXICODE_ENABLE", Maxicode_GID, 0x40, 26, 't', 0x48},
    {"MSI_ENABLE", MSICode_GID, 0x40, 29, 'u', 0x48},
    {"PDF417_ENABLE", PDF417_MicroPDF417_GID, 0x40, 32, 'v', 0x48},
    {"MICRO_PDF_ENABLE", PDF417_MicroPDF417_GID, 0x42, 28, 'w', 0x49},
    {"PLANET_CODE_ENABLE", Planet_GID, 0x40, 33, 'x', 0x48},
    {"PLESSEY_ENABLE", PlesseyCode_GID, 0x40, 34, 'y', 0x48},
    {"POST_NET_ENABLE", Postnet_GID, 0x40, 36, 'z', 0x48},
    {"QR_ENABLE", QRCode_GID, 0x40, 37, 'A', 0x48},
    {"STANDARD_2OF5_ENABLE", Standard2of5_GID, 0x40, 134, 'B', 0x48},
    {"TELEPEN_ENABLE", Telepen_GID, 0x40, 40, 'C', 0x48},
    {"TLC39_ENABLE", TLC39_GID, 0x40, 41, 'D', 0x48},
    {"UPC_E1_ENABLE", EAN_UPC_GID, 0x4C, 45, 0, 0},
}};

// Detail record slots hold a 32-bit integer, or one character in their
// first byte (the other three bytes carry nothing).
enum class SlotType : uint8_t { Int32, Char };

struct DetailSlot {
    uint8_t group;
    uint8_t param;
    SlotType type;
};

inline constexpr size_t kDetailSlotCount = 72;

inline constexpr std::array<DetailSlot, kDetailSlotCount> kDetailSlots{{
    // Aztec
    {Aztec_GID, 0x43, SlotType::Int32},
    {Aztec_GID, 0x42, SlotType::Int32},
    {Aztec_GID, 0x41, SlotType::Int32},
    {Aztec_GID, 0x46, SlotType::Int32},
    // BPO
    {BPO_GID, 0x54, SlotType::Int32},
    // Codabar
    {Codabar_GID, 0x58, SlotType::Int32},
    {Codabar_GID, 0x4C, SlotType::Int32},
    {Codabar_GID, 0x54, SlotType::Int32},
    {Codabar_GID, 0x59, SlotType::Int32},
    {Codabar_GID, 0x5A, SlotType::Int32},
    {Codabar_GID, 0x5B, SlotType::Int32},
    // Code 11
    {Code11_GID, 0x54, SlotType::Int32},
    // Code 39
    {Code39_TriopticCode39_GID, 0x47, SlotType::Int32},
    {Code39_TriopticCode39_GID, 0x4F, SlotType::Int32},
    {Code39_TriopticCode39_GID, 0x58, SlotType::Int32},
    {Code39_TriopticCode39_GID, 0x43, SlotType::Int32},
    // Code 93
    {Code93_GID, 0x61, SlotType::Int32},
    // Code 128 / GS1-128 / ISBT
    {Code128_GS1128_ISBT_GID, 0x4C, SlotType::Int32},
    {Code128_GS1128_ISBT_GID, 0x43, SlotType::Int32},
    {Code128_GS1128_ISBT_GID, 0x58, SlotType::Int32},
    {Code128_GS1128_ISBT_GID, 0x60, SlotType::Int32},
    {Code128_GS1128_ISBT_GID, 0x5B, SlotType::Int32},
    {Code128_GS1128_ISBT_GID, 0x5A, SlotType::Int32},
    {Code128_GS1128_ISBT_GID, 0x59, SlotType::Char},
    {Code128_GS1128_ISBT_GID, 0x47, SlotType::Int32},
    {Code128_GS1128_ISBT_GID, 0x4F, SlotType::Int32},
    {Code128_GS1128_ISBT_GID, 0x61, SlotType::Int32},
    // Data Matrix
    {DataMatrix_GID, 0x43, SlotType::Int32},
    {DataMatrix_GID, 0x45, SlotType::Int32},
    {DataMatrix_GID, 0x46, SlotType::Int32},
    // UPC-A
    {EAN_UPC_GID, 0x54, SlotType::Int32},
    {EAN_UPC_GID, 0x58, SlotType::Int32},
    {EAN_UPC_GID, 0x5A, SlotType::Int32},
    // UPC-E
    {EAN_UPC_GID, 0x55, SlotType::Int32},
    {EAN_UPC_GID, 0x59, SlotType::Int32},
    {EAN_UPC_GID, 0x5B, SlotType::Int32},
    // EAN-13
    {EAN_UPC_GID, 0x57, SlotType::Int32},
    {EAN_UPC_GID, 0x44, SlotType::Int32},
    {EAN_UPC_GID, 0x61, SlotType::Int32},
    {EAN_UPC_GID, 0x62, SlotType::Int32},
    // EAN-8
    {EAN_UPC_GID, 0x56, SlotType::Int32},
    {EAN_UPC_GID, 0x5C, SlotType::Int32},
    // UPC/EAN common
    {EAN_UPC_GID, 0x60, SlotType::Int32},
    {EAN_UPC_GID, 0x5D, SlotType::Int32},
    {EAN_UPC_GID, 0x45, SlotType::Int32},
    {EAN_UPC_GID, 0x46, SlotType::Int32},
    {EAN_UPC_GID, 0x47, SlotType::Char},
    {EAN_UPC_GID, 0x4D, SlotType::Int32},
    // GS1 Composite
    {GS1Composite_GID, 0x43, SlotType::Int32},
    {GS1Composite_GID, 0x44, SlotType::Int32},
    {GS1Composite_GID, 0x5E, SlotType::Int32},
    // Interleaved 2 of 5
    {Interleaved2of5_GID, 0x4F, SlotType::Int32},
    {Interleaved2of5_GID, 0x4C, SlotType::Int32},
    {Interleaved2of5_GID, 0x54, SlotType::Int32},
    // Matrix 2 of 5
    {Matrix2of5_GID, 0x43, SlotType::Int32},
    // MSI
    {MSICode_GID, 0x54, SlotType::Int32},
    // PDF417
    {PDF417_MicroPDF417_GID, 0x43, SlotType::Int32},
    // The same engine parameter as the MacroPDF enable flag.
    {PDF417_MicroPDF417_GID, 0x41, SlotType::Int32},
    {PDF417_MicroPDF417_GID, 0x58, SlotType::Int32},
    // MicroPDF417
    {PDF417_MicroPDF417_GID, 0x45, SlotType::Int32},
    // Planet
    {Planet_GID, 0x54, SlotType::Int32},
    // Plessey
    {PlesseyCode_GID, 0x54, SlotType::Int32},
    {PlesseyCode_GID, 0x43, SlotType::Int32},
    // Postnet
    {Postnet_GID, 0x54, SlotType::Int32},
    // QR Code
    {QRCode_GID, 0x45, SlotType::Int32},
    {QRCode_GID, 0x46, SlotType::Int32},
    // Standard 2 of 5
    {Standard2of5_GID, 0x58, SlotType::Int32},
    {Standard2of5_GID, 0x4C, SlotType::Int32},
    {Standard2of5_GID, 0x54, SlotType::Int32},
    // Telepen
    {Telepen_GID, 0x58, SlotType::Int32},
    // TLC39
    {TLC39_GID, 0x44, SlotType::Int32},
    {TLC39_GID, 0x47, SlotType::Char},
}};

// Pairs the Detail query also asks for, each placed just before the pair
// of the given slot. Their answers are not kept.
struct ExtraQueryPair {
    size_t beforeSlot;
    uint8_t group;
    uint8_t param;
};

inline constexpr std::array<ExtraQueryPair, 2> kDetailExtraQueryPairs{{
    {11, Code11_GID, 0x4C},
    {55, MSICode_GID, 0x4C},
}};

// How an Other record field travels. Flags go out as the field's low byte
// and come back as 0 or 1; the inverted flag goes out as 0 for a field of 1
// (else 1) and comes back as 0 for a non-zero byte (else 1); words go out
// and come back as two bytes, high byte first.
enum class OtherKind : uint8_t { Byte, Flag, InvertedFlag, Word };

struct OtherSlot {
    std::string_view field;
    uint8_t group;
    uint8_t param;
    OtherKind kind;
};

inline constexpr size_t kOtherSlotCount = 25;

inline constexpr std::array<OtherSlot, kOtherSlotCount> kOtherSlots{{
    {"SECURITY_LEVEL", kSecurityGroup, 0x40, OtherKind::Byte},
    {"PARAM_7B_44", kGeneralGroup, 0x44, OtherKind::Byte},
    {"AEC_AREA", kGeneralGroup, 0x4B, OtherKind::Byte},
    {"PARAM_7B_57", kGeneralGroup, 0x57, OtherKind::Byte},
    {"PARAM_7B_53", kGeneralGroup, 0x53, OtherKind::Flag},
    {"PARAM_7B_4D", kGeneralGroup, 0x4D, OtherKind::Byte},
    {"DPM_1", kGeneralGroup, 0x56, OtherKind::Flag},
    {"DPM_2", kGeneralGroup, 0x52, OtherKind::Flag},
    {"EXTENSIVE_BARCODE_SEARCH", kGeneralGroup, 0x54, OtherKind::Flag},
    {"DPM_3", kGeneralGroup, 0x58, OtherKind::InvertedFlag},
    {"PARAM_7B_43", kGeneralGroup, 0x43, OtherKind::Byte},
    {"PARAM_7B_45", kGeneralGroup, 0x45, OtherKind::Byte},
    {"PARAM_7B_46", kGeneralGroup, 0x46, OtherKind::Byte},
    {"PARAM_7B_82", kGeneralGroup, 0x82, OtherKind::Word},
    {"PARAM_7B_83", kGeneralGroup, 0x83, OtherKind::Word},
    {"PARAM_7B_48", kGeneralGroup, 0x48, OtherKind::Byte},
    {"PARAM_7B_49", kGeneralGroup, 0x49, OtherKind::Byte},
    {"PARAM_7B_40", kGeneralGroup, 0x40, OtherKind::Byte},
    {"PARAM_7B_47", kGeneralGroup, 0x47, OtherKind::Byte},
    {"PARAM_7B_42", kGeneralGroup, 0x42, OtherKind::Byte},
    {"PARAM_7B_41", kGeneralGroup, 0x41, OtherKind::Byte},
    {"PARAM_7B_55", kGeneralGroup, 0x55, OtherKind::Byte},
    {"PARAM_7B_A0", kGeneralGroup, 0xA0, OtherKind::Word},
    {"PARAM_7B_A1", kGeneralGroup, 0xA1, OtherKind::Word},
    {"PARAM_7B_A2", kGeneralGroup, 0xA2, OtherKind::Word},
}};

// Value bytes that follow a parameter byte on the wire.
constexpr int ValueWidth(uint8_t param) {
    return param >= 0x80 ? 2 : 1;
}

constexpr const SymbologyGroup* FindGroup(uint8_t id) {
    for (const SymbologyGroup& g : kSymbologyGroups) {
        if (g.id == id) return &g;
    }
    return nullptr;
}

constexpr bool HoldsEnableFields(uint8_t group) {
    const SymbologyGroup* g = FindGroup(group);
    return g != nullptr && g->holdsEnableFields;
}

// Enable record slot of a symbology number, or -1 when it names none.
constexpr int FindEnableSlot(int32_t symbology) {
    for (size_t i = 0; i < kEnableSlots.size(); ++i) {
        if (kEnableSlots[i].symbology == symbology) return static_cast<int>(i);
    }
    return -1;
}

// Symbology number of a code-ID character; 0 for a character the library
// never assigns.
constexpr int32_t SymbologyOfCodeId(uint8_t codeId) {
    if (codeId == 0) return 0;
    for (const EnableSlot& s : kEnableSlots) {
        if (s.codeId == codeId) return s.symbology;
    }
    return 0;
}

}  // namespace qv

#include "symbology/symbology_table.h"

#include "symbology/option_members.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "QV_Rizoviv2I_RO25.h"

namespace qv {
namespace {

struct HeaderSymbology {
    int32_t number;
    size_t offset;
    std::string_view field;
};

#define QV_SYM_ROW(NAME) \
    { QV_SYM_##NAME, offsetof(EnableRecord, NAME##_ENABLE), #NAME "_ENABLE" }

// The public header's numbers and Enable record layout, in the header's order.
constexpr HeaderSymbology kHeader[] = {
    QV_SYM_ROW(AUSTRALIAN_POST),
    QV_SYM_ROW(AZTEC),
    QV_SYM_ROW(BPO),
    QV_SYM_ROW(CODABAR),
    QV_SYM_ROW(CODABLOCK_A),
    QV_SYM_ROW(CODABLOCK_F),
    QV_SYM_ROW(CODE11),
    QV_SYM_ROW(CODE39),
    QV_SYM_ROW(MACROPDF),
    QV_SYM_ROW(CODE93),
    QV_SYM_ROW(CODE128),
    QV_SYM_ROW(GS1_128),
    QV_SYM_ROW(ISBT),
    QV_SYM_ROW(DATAMATRIX),
    QV_SYM_ROW(DUTCH_POST),
    QV_SYM_ROW(UPC_A),
    QV_SYM_ROW(UPC_E),
    QV_SYM_ROW(EAN_13),
    QV_SYM_ROW(EAN_8),
    QV_SYM_ROW(GS1_COMPOSITE_AB),
    QV_SYM_ROW(GS1_COMPOSITE_C),
    QV_SYM_ROW(GS1_DATABAR_OMNI_DIRECTIONAL),
    QV_SYM_ROW(GS1_DATABAR_LIMITED),
    QV_SYM_ROW(GS1_DATABAR_EXPAND),
    QV_SYM_ROW(HAN_XIN),
    QV_SYM_ROW(INFOMAIL),
    QV_SYM_ROW(INTERLEAVED_2OF5),
    QV_SYM_ROW(JAPAN_POST),
    QV_SYM_ROW(MATRIX_2OF5),
    QV_SYM_ROW(MAXICODE),
    QV_SYM_ROW(MSI),
    QV_SYM_ROW(PDF417),
    QV_SYM_ROW(MICRO_PDF),
    QV_SYM_ROW(PLANET_CODE),
    QV_SYM_ROW(PLESSEY),
    QV_SYM_ROW(POST_NET),
    QV_SYM_ROW(QR),
    QV_SYM_ROW(STANDARD_2OF5),
    QV_SYM_ROW(TELEPEN),
    QV_SYM_ROW(TLC39),
    QV_SYM_ROW(UPC_E1),
};

TEST(SymbologyTable, PublicHeaderAgreesWithTheTable) {
    static_assert(std::size(kHeader) == kEnableSlotCount);
    for (size_t slot = 0; slot < kEnableSlotCount; ++slot) {
        SCOPED_TRACE(kEnableSlots[slot].field);
        EXPECT_EQ(kHeader[slot].field, kEnableSlots[slot].field);
        EXPECT_EQ(kHeader[slot].number, kEnableSlots[slot].symbology);
        EXPECT_EQ(kHeader[slot].offset, 4 * slot);
    }
}

TEST(SymbologyTable, DetailAndOtherRecordFieldsSitAtTheirSlots) {
    // (field offset, is a char field, slot) for the fields that start a
    // member's run and for the three character slots.
    const std::tuple<size_t, bool, size_t> detail[] = {
        {offsetof(DetailRecord, Aztec_1), false, 0},
        {offsetof(DetailRecord, Codabar_1), false, 5},
        {offsetof(DetailRecord, Code11_1), false, 11},
        {offsetof(DetailRecord, Code93_1), false, 16},
        {offsetof(DetailRecord, Code128_GS1_128_ISBT_7), true, 23},
        {offsetof(DetailRecord, Code128_GS1_128_ISBT_10), false, 26},
        {offsetof(DetailRecord, UPCEAN_5), true, 46},
        {offsetof(DetailRecord, UPCEAN_6), false, 47},
        {offsetof(DetailRecord, MSI_1), false, 55},
        {offsetof(DetailRecord, TLC39_1), false, 70},
        {offsetof(DetailRecord, TLC39_2), true, 71},
    };
    for (const auto& [offset, isChar, slot] : detail) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(offset, 4 * slot);
        EXPECT_EQ(isChar, kDetailSlots[slot].type == SlotType::Char);
    }
    size_t charSlots = 0;
    for (const DetailSlot& s : kDetailSlots)
        charSlots += s.type == SlotType::Char ? 1 : 0;
    EXPECT_EQ(charSlots, 3u);

#define QV_OTHER_ROW(NAME) std::pair<size_t, std::string_view>(offsetof(OtherRecord, NAME), #NAME)
    const std::pair<size_t, std::string_view> other[] = {
        QV_OTHER_ROW(SECURITY_LEVEL),
        QV_OTHER_ROW(PARAM_7B_44),
        QV_OTHER_ROW(AEC_AREA),
        QV_OTHER_ROW(PARAM_7B_57),
        QV_OTHER_ROW(PARAM_7B_53),
        QV_OTHER_ROW(PARAM_7B_4D),
        QV_OTHER_ROW(DPM_1),
        QV_OTHER_ROW(DPM_2),
        QV_OTHER_ROW(EXTENSIVE_BARCODE_SEARCH),
        QV_OTHER_ROW(DPM_3),
        QV_OTHER_ROW(PARAM_7B_43),
        QV_OTHER_ROW(PARAM_7B_45),
        QV_OTHER_ROW(PARAM_7B_46),
        QV_OTHER_ROW(PARAM_7B_82),
        QV_OTHER_ROW(PARAM_7B_83),
        QV_OTHER_ROW(PARAM_7B_48),
        QV_OTHER_ROW(PARAM_7B_49),
        QV_OTHER_ROW(PARAM_7B_40),
        QV_OTHER_ROW(PARAM_7B_47),
        QV_OTHER_ROW(PARAM_7B_42),
        QV_OTHER_ROW(PARAM_7B_41),
        QV_OTHER_ROW(PARAM_7B_55),
        QV_OTHER_ROW(PARAM_7B_A0),
        QV_OTHER_ROW(PARAM_7B_A1),
        QV_OTHER_ROW(PARAM_7B_A2),
    };
#undef QV_OTHER_ROW
    ASSERT_EQ(std::size(other), kOtherSlotCount);
    for (size_t slot = 0; slot < kOtherSlotCount; ++slot) {
        EXPECT_EQ(other[slot].first, 4 * slot);
        EXPECT_EQ(other[slot].second, kOtherSlots[slot].field);
        // The field's name carries its parameter where it has no export.
        if (other[slot].second.starts_with("PARAM_7B_")) {
            EXPECT_EQ(std::stoi(std::string(other[slot].second.substr(9)), nullptr, 16),
                      kOtherSlots[slot].param);
        }
    }
}

TEST(SymbologyTable, CodeIdCharactersRunInOrderAndMapBack) {
    const std::string expected = "12345678abcdefghijklmnopqrstuvwxyzABCD";
    std::string seen;
    for (const EnableSlot& s : kEnableSlots) {
        if (s.codeId != 0) {
            seen += static_cast<char>(s.codeId);
            EXPECT_GE(s.codeIdParam, 0x48);
            EXPECT_LE(s.codeIdParam, 0x4B);
        } else {
            EXPECT_EQ(s.codeIdParam, 0);
        }
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(SymbologyOfCodeId('j'), 132);
    EXPECT_EQ(SymbologyOfCodeId('8'), QV_SYM_CODE39);
    EXPECT_EQ(SymbologyOfCodeId('D'), QV_SYM_TLC39);
    EXPECT_EQ(SymbologyOfCodeId('9'), 0);
    EXPECT_EQ(SymbologyOfCodeId(0), 0);
    EXPECT_EQ(FindEnableSlot(45), 40);
    EXPECT_EQ(FindEnableSlot(5), -1);
}

TEST(SymbologyTable, AddressesAreUniqueAndGroupsConsistent) {
    // A reply entry must land in one field (one address has two, below).
    std::set<std::pair<int, int>> addresses;
    std::set<int> numbers;
    std::set<int> enableGroups;
    for (const EnableSlot& s : kEnableSlots) {
        EXPECT_TRUE(addresses.insert({s.group, s.param}).second) << s.field;
        EXPECT_TRUE(numbers.insert(s.symbology).second) << s.field;
        enableGroups.insert(s.group);
        EXPECT_GE(s.symbology, 1);
        EXPECT_LE(s.symbology, 134);
    }
    // One engine parameter has two homes: the MacroPDF flag and PDF417's
    // second option are the same (0x4C, 0x41); a reply updates both.
    for (size_t slot = 0; slot < kDetailSlotCount; ++slot) {
        const DetailSlot& s = kDetailSlots[slot];
        const bool fresh = addresses.insert({s.group, s.param}).second;
        EXPECT_EQ(fresh, slot != 57) << std::hex << int{s.group} << " " << int{s.param};
        EXPECT_TRUE(HoldsEnableFields(s.group));
    }
    for (const ExtraQueryPair& p : kDetailExtraQueryPairs) {
        EXPECT_FALSE(addresses.contains({p.group, p.param}));
        EXPECT_EQ(kDetailSlots[p.beforeSlot].group, p.group);
    }
    std::set<int> flagged;
    for (const SymbologyGroup& g : kSymbologyGroups) {
        EXPECT_EQ(FindGroup(g.id), &g) << g.name;
        if (g.holdsEnableFields) flagged.insert(g.id);
    }
    EXPECT_EQ(flagged, enableGroups);
    EXPECT_EQ(flagged.size(), 29u);

    std::set<int> otherParams;
    for (const OtherSlot& s : kOtherSlots) {
        if (s.group == kGeneralGroup) {
            EXPECT_TRUE(otherParams.insert(s.param).second) << s.field;
        }
        EXPECT_EQ(ValueWidth(s.param) == 2, s.kind == OtherKind::Word) << s.field;
    }
}

TEST(OptionMembers, DetailMembersCoverEverySlotOnceInOrder) {
    size_t next = 0;
    for (const OptionMember& m : kOptionMembers) {
        ASSERT_GE(m.count, 1);
        ASSERT_LE(m.count, kMaxMemberValues);
        if (m.record != RecordKind::Detail) continue;
        for (size_t i = 0; i < m.count; ++i)
            EXPECT_EQ(m.slots[i], next++) << m.setName;
        // Named after the pair: QVImagerSet<Stem>Setting / QVImagerGet<Stem>Setting.
        EXPECT_EQ(m.setName.substr(11), m.getName.substr(11));
    }
    EXPECT_EQ(next, kDetailSlotCount);

    // The general options and their Other record slots.
    const std::pair<std::string_view, std::vector<int>> general[] = {
        {"QVImagerSetSecurtyLevel", {0}},
        {"QVImagerSetAECArea", {2}},
        {"QVImagerSetExtensiveBarcodeSearch", {8}},
        {"QVImagerSetDPMSetting", {6, 7, 9}},
    };
    for (const auto& [name, slots] : general) {
        const OptionMember* found = nullptr;
        for (const OptionMember& m : kOptionMembers)
            found = m.setName == name ? &m : found;
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(found->record, RecordKind::Other);
        EXPECT_EQ(std::vector<int>(found->slots.begin(), found->slots.begin() + found->count),
                  slots);
    }
}

}  // namespace
}  // namespace qv

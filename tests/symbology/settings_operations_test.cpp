#include "symbology/settings_operations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "symbology/settings_test_support.h"
#include "symbology/symbology_table.h"

namespace qv {
namespace {

using symbology_test::Bytes;
using symbology_test::Outcome;
using ::testing::ElementsAre;

constexpr const OptionMember& kAztec = kOptionMembers[0];
constexpr const OptionMember& kCode93 = kOptionMembers[5];
constexpr const OptionMember& kTLC39 = kOptionMembers[25];
constexpr const OptionMember& kDPM = kOptionMembers[29];

class SettingsOperations : public symbology_test::SettingsFixture {
  protected:
    SymbologySettings m_store;
    symbology_test::ScriptedEngine m_engine;
    SymbologyOperations m_ops{m_store, m_engine};
};

TEST_F(SettingsOperations, MemberSetQueriesThenSendsTheWholeRecordAndSavesIt) {
    m_engine.Param(0x53, 0x43) = 9;  // Aztec's first option, kept as reported
    const int32_t values[] = {3};
    ASSERT_EQ(m_ops.SetMember(kCode93, values), 1);

    const auto& sent = m_engine.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].kind, FrameKind::SETUP_QUERY);
    EXPECT_EQ(sent[0].payload.size(), 148u);
    EXPECT_EQ(sent[1].kind, FrameKind::SETUP_COMMAND);
    ASSERT_EQ(sent[1].payload.size(), 216u);
    EXPECT_THAT(Bytes(sent[1].payload.begin() + 48, sent[1].payload.begin() + 51),
                ElementsAre(0x41, 0x61, 0x03));
    EXPECT_EQ(sent[1].payload[2], 9);

    const auto lines = m_log.Lines();
    size_t byteLines = 0;
    for (const std::string& l : lines)
        byteLines += l.starts_with("[") ? 1 : 0;
    EXPECT_EQ(byteLines, 216u);
    EXPECT_EQ(m_log.Count("[000] 0x53"), 1u);
    EXPECT_EQ(m_log.Count("[050] 0x3"), 1u);
    EXPECT_EQ(m_log.Count("Set Detail Setting : " + PathOf("BarcodeRO25Detail.dat")), 1u);

    const Bytes file = FileBytes("BarcodeRO25Detail.dat");
    ASSERT_EQ(file.size(), 288u);
    EXPECT_EQ(std::memcmp(file.data(), &m_store.m_detail, 288), 0);
    EXPECT_EQ(m_store.m_detail.Code93_1, 3);
    EXPECT_EQ(m_store.m_detail.Aztec_1, 9);
}

TEST_F(SettingsOperations, CharacterValuesAndOverlongValuesRoundTrip) {
    const int32_t tlc[] = {2, 0x41};
    ASSERT_EQ(m_ops.SetMember(kTLC39, tlc), 1);
    EXPECT_EQ(m_engine.Param(0x4E, 0x47), 0x41);
    EXPECT_EQ(m_store.m_detail.TLC39_2, 0x41);
    EXPECT_THAT(m_store.m_detail.TLC39_2_filler, ElementsAre(0, 0, 0));
    int32_t back[2] = {};
    ASSERT_EQ(m_ops.GetMember(kTLC39, back), 1);
    EXPECT_THAT(back, ElementsAre(2, 0x41));

    const int32_t big[] = {300, 1, 2, 3};
    ASSERT_EQ(m_ops.SetMember(kAztec, big), 1);
    EXPECT_EQ(m_engine.Param(0x53, 0x43), 44);
    int32_t aztec[4] = {};
    ASSERT_EQ(m_ops.GetMember(kAztec, aztec), 1);
    EXPECT_THAT(aztec, ElementsAre(44, 1, 2, 3));
}

TEST_F(SettingsOperations, GeneralOptionsGoThroughTheOtherRecordWithTheirEncodings) {
    const int32_t dpm[] = {5, 0, 1};  // slots 6, 7 and the inverted 9
    ASSERT_EQ(m_ops.SetMember(kDPM, dpm), 1);
    EXPECT_EQ(m_engine.Sent()[0].payload.size(), 50u);
    EXPECT_EQ(m_engine.Sent()[1].payload.size(), 80u);
    EXPECT_EQ(m_engine.Param(0x7B, 0x56), 5);
    EXPECT_EQ(m_engine.Param(0x7B, 0x58), 0);  // 1 goes out inverted
    int32_t back[3] = {};
    ASSERT_EQ(m_ops.GetMember(kDPM, back), 1);
    EXPECT_THAT(back, ElementsAre(1, 0, 1));  // read back as flags
    EXPECT_EQ(FileBytes("BarcodeRO25Other.dat").size(), 100u);
}

TEST_F(SettingsOperations, WholeEnableRecordIsSentWithoutAQuery) {
    EnableRecord zero{};
    ASSERT_EQ(m_ops.WriteEnableSetting(zero), 1);
    ASSERT_EQ(m_engine.Sent().size(), 1u);
    EXPECT_EQ(m_engine.Sent()[0].kind, FrameKind::SETUP_COMMAND);
    ASSERT_EQ(m_engine.Sent()[0].payload.size(), 123u);
    for (size_t i = 2; i < 123; i += 3)
        EXPECT_EQ(m_engine.Sent()[0].payload[i], 0) << i;
    EXPECT_EQ(FileBytes("BarcodeRO25Enable.dat").size(), 164u);
}

TEST_F(SettingsOperations, OneEnableFlagAndTheNeverQueriedUpcE1) {
    // Until the store holds the engine's flags, one flag is not saved over
    // all the others: the record is read first.
    m_engine.Param(0x42, 0x40) = 1;  // Code 39 on in the engine
    ASSERT_EQ(m_ops.WriteEnableOne(45, 1), 1);
    ASSERT_EQ(m_engine.Sent().size(), 2u);
    EXPECT_EQ(m_engine.Sent()[0].kind, FrameKind::SETUP_QUERY);
    EXPECT_THAT(m_engine.Sent()[1].payload, ElementsAre(0x4B, 0x4C, 0x01));
    Bytes file = FileBytes("BarcodeRO25Enable.dat");
    ASSERT_EQ(file.size(), 164u);
    EXPECT_EQ(file[4 * 7], 1);   // Code 39 kept
    EXPECT_EQ(file[4 * 40], 1);  // UPC-E1 set

    // Now known: the next flag goes out alone.
    m_engine.ClearSent();
    ASSERT_EQ(m_ops.WriteEnableOne(QV_SYM_CODE39, 0), 1);
    ASSERT_EQ(m_engine.Sent().size(), 1u);
    EXPECT_THAT(m_engine.Sent()[0].payload, ElementsAre(0x42, 0x40, 0x00));

    // The engine is never asked for UPC-E1: its Get reports the store.
    m_engine.Param(0x4B, 0x4C) = 0;
    int32_t value = -7;
    ASSERT_EQ(m_ops.ReadEnableOne(45, value), 1);
    EXPECT_EQ(value, 1);

    m_engine.Param(0x42, 0x40) = 1;
    ASSERT_EQ(m_ops.ReadEnableOne(QV_SYM_CODE39, value), 1);
    EXPECT_EQ(value, 1);
}

TEST_F(SettingsOperations, OneEnableFlagWithTheRecordUnreadableSendsAndSavesNothing) {
    m_engine.SetDefault(Outcome::Silent);
    EXPECT_EQ(m_ops.WriteEnableOne(QV_SYM_QR, 1), 0);
    ASSERT_EQ(m_engine.Sent().size(), 1u);
    EXPECT_EQ(m_engine.Sent()[0].kind, FrameKind::SETUP_QUERY);
    EXPECT_FALSE(FileExists("BarcodeRO25Enable.dat"));
}

// MacroPDF's flag and PDF417's second Detail slot are one engine parameter;
// the open applies the Detail file after the Enable file, so both files
// must carry the value last sent, whichever record sent it.
TEST_F(SettingsOperations, MacroPdfFlagAndItsDetailSlotStayInStepInBothFiles) {
    EnableRecord all;
    for (size_t slot = 0; slot < 41; ++slot)
        WriteSlot(&all, slot, 1);
    ASSERT_EQ(m_ops.WriteEnableSetting(all), 1);
    EXPECT_EQ(ReadSlot(&m_store.m_detail, 57), 1);
    EXPECT_FALSE(FileExists("BarcodeRO25Detail.dat"));  // not made for it

    Bytes detail(288);
    for (size_t i = 0; i < detail.size(); ++i)
        detail[i] = static_cast<uint8_t>(i + 1);
    WriteFile("BarcodeRO25Detail.dat", detail);
    ASSERT_EQ(m_ops.WriteEnableOne(QV_SYM_CODE39, 0), 1);
    EXPECT_EQ(FileBytes("BarcodeRO25Detail.dat"), detail);  // MacroPDF not sent
    ASSERT_EQ(m_ops.WriteEnableOne(71, 0), 1);
    std::fill(detail.begin() + 228, detail.begin() + 232, 0);
    EXPECT_EQ(FileBytes("BarcodeRO25Detail.dat"), detail);

    DetailRecord record{};
    WriteSlot(&record, 57, 1);
    ASSERT_EQ(m_ops.WriteDetailSetting(record), 1);
    EXPECT_EQ(m_store.m_enable.MACROPDF_ENABLE, 1);
    const Bytes enable = FileBytes("BarcodeRO25Enable.dat");
    ASSERT_EQ(enable.size(), 164u);
    EXPECT_EQ(enable[32], 1);
    EXPECT_EQ(enable[4 * 7], 0);  // the rest as saved
}

TEST_F(SettingsOperations, UnknownSymbologyNumberSendsAnEmptySetupAndGetFails) {
    const SymbologySettings before = m_store;
    ASSERT_EQ(m_ops.WriteEnableOne(5, 1), 1);
    ASSERT_EQ(m_engine.Sent().size(), 1u);
    EXPECT_TRUE(m_engine.Sent()[0].payload.empty());
    EXPECT_EQ(std::memcmp(&before, &m_store, sizeof before), 0);
    EXPECT_FALSE(FileExists("BarcodeRO25Enable.dat"));

    m_engine.ClearSent();
    int32_t value = -7;
    EXPECT_EQ(m_ops.ReadEnableOne(5, value), 0);
    EXPECT_EQ(m_engine.Sent().size(), 1u);
    EXPECT_EQ(value, -7);
}

TEST_F(SettingsOperations, NakToASetupStillCountsAsAnsweredAndSaves) {
    m_engine.Script({Outcome::Answer, Outcome::Nak});
    const int32_t values[] = {1};
    EXPECT_EQ(m_ops.SetMember(kCode93, values), 1);
    EXPECT_EQ(FileBytes("BarcodeRO25Detail.dat").size(), 288u);
}

TEST_F(SettingsOperations, UnansweredQuerySendsNothingAndTouchesNothing) {
    m_engine.SetDefault(Outcome::Silent);
    const int32_t values[] = {1, 2, 3, 4};
    EXPECT_EQ(m_ops.SetMember(kAztec, values), 0);
    EXPECT_EQ(m_engine.Sent().size(), 1u);
    EXPECT_EQ(m_log.Count("Get BARCODE Setting Fail"), 1u);
    EXPECT_FALSE(FileExists("BarcodeRO25Detail.dat"));

    EnableRecord caller;
    std::memset(&caller, 0x5A, sizeof caller);
    EXPECT_EQ(m_ops.ReadEnableSetting(caller), 0);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&caller)[100], 0x5A);

    OtherRecord other{};
    EXPECT_EQ(m_ops.ReadOtherSetting(other), 0);
    EXPECT_EQ(m_log.Count("Get Other Setting Fail"), 1u);
}

TEST_F(SettingsOperations, UnansweredSetupKeepsTheNewRecordInTheStoreButNotInTheFile) {
    const int32_t first[] = {1};
    ASSERT_EQ(m_ops.SetMember(kCode93, first), 1);
    const Bytes saved = FileBytes("BarcodeRO25Detail.dat");

    m_engine.Script({Outcome::Answer, Outcome::Silent});
    const int32_t second[] = {2};
    EXPECT_EQ(m_ops.SetMember(kCode93, second), 0);
    EXPECT_EQ(m_store.m_detail.Code93_1, 2);
    EXPECT_EQ(FileBytes("BarcodeRO25Detail.dat"), saved);
}

TEST_F(SettingsOperations, LongFileLoadedAndAnsweredIsRewrittenAtRecordSize) {
    Bytes image(200);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i);
    WriteFile("BarcodeRO25Enable.dat", image);
    EnableRecord record{};
    ASSERT_EQ(LoadEnableSetting(record), 1);
    ASSERT_EQ(m_ops.WriteEnableSetting(record), 1);
    EXPECT_EQ(FileBytes("BarcodeRO25Enable.dat"), Bytes(image.begin(), image.begin() + 164));
}

// A reply the parse cannot read fails the read, and nothing of it reaches
// the store: a Set built on it would send the engine values it never held.
TEST_F(SettingsOperations, ReplyThatCannotBeReadFailsTheReadAndChangesNothing) {
    m_store.m_enable.CODE93_ENABLE = 7;
    m_store.m_detail.Code93_1 = 9;
    m_engine.SetNextReply({0x41, 0x61, 0x04, 0x7B, 0x44, 0x01, 0x41, 0x40, 0x01});
    DetailRecord record{};
    EXPECT_EQ(m_ops.ReadDetailSetting(record), 0);
    EXPECT_EQ(m_store.m_detail.Code93_1, 9);
    EXPECT_EQ(m_store.m_enable.CODE93_ENABLE, 7);
    EXPECT_EQ(m_log.Count("Get BARCODE Setting Fail"), 1);
}

}  // namespace
}  // namespace qv

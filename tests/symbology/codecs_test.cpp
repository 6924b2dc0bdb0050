#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ios>
#include <new>
#include <random>
#include <stdexcept>
#include <vector>

#include "symbology/codec_guard.h"
#include "symbology/log_capture.h"
#include "symbology/symbology_settings.h"
#include "symbology/symbology_table.h"

namespace qv {
namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;

struct Payload {
    std::array<uint8_t, kPayloadBufferSize> buf{};
    int32_t length = -1;
    Bytes Get() const { return Bytes(buf.begin(), buf.begin() + length); }
    Bytes At(size_t offset, size_t n) const {
        return Bytes(buf.begin() + offset, buf.begin() + offset + n);
    }
};

// A reply held in storage of exactly its own size, so that a read beyond
// it is caught by the address sanitizer.
int32_t ParseExact(SymbologySettings& s,
                   int32_t (SymbologySettings::*parse)(const uint8_t*, int32_t),
                   const Bytes& reply) {
    auto exact = std::make_unique<uint8_t[]>(reply.size());
    std::memcpy(exact.get(), reply.data(), reply.size());
    return (s.*parse)(exact.get(), static_cast<int32_t>(reply.size()));
}

TEST(EnableCodec, SetupCarriesEveryFlagLowByteInTableOrder) {
    SymbologySettings s;
    for (size_t i = 0; i < kEnableSlotCount; ++i)
        WriteSlot(&s.m_enable, i, 1);
    Payload p;
    ASSERT_EQ(s.MakeEnableSetup(p.buf, p.length), 1);
    ASSERT_EQ(p.length, 123);
    EXPECT_THAT(p.At(0, 9), ElementsAre(0x34, 0x40, 0x01, 0x53, 0x40, 0x01, 0x32, 0x40, 0x01));
    EXPECT_THAT(p.At(120, 3), ElementsAre(0x4B, 0x4C, 0x01));
    EXPECT_THAT(p.At(3 * 7, 3), ElementsAre(0x42, 0x40, 0x01));  // Code 39
    EXPECT_THAT(p.At(3 * 9, 3), ElementsAre(0x41, 0x40, 0x01));  // Code 93

    s.m_enable.CODE39_ENABLE = 256;
    s.m_enable.CODE93_ENABLE = -1;
    ASSERT_EQ(s.MakeEnableSetup(p.buf, p.length), 1);
    EXPECT_EQ(p.buf[3 * 7 + 2], 0x00);
    EXPECT_EQ(p.buf[3 * 9 + 2], 0xFF);
}

TEST(EnableCodec, SetupOfOneSymbologyAndQuery) {
    SymbologySettings s;
    s.m_enable.AZTEC_ENABLE = 1;
    s.m_enable.UPC_E1_ENABLE = 0x101;
    Payload p;
    ASSERT_EQ(s.MakeEnableSetupOne(2, p.buf, p.length), 1);
    EXPECT_THAT(p.Get(), ElementsAre(0x53, 0x40, 0x01));
    ASSERT_EQ(s.MakeEnableSetupOne(45, p.buf, p.length), 1);
    EXPECT_THAT(p.Get(), ElementsAre(0x4B, 0x4C, 0x01));
    ASSERT_EQ(s.MakeEnableSetupOne(5, p.buf, p.length), 1);
    EXPECT_EQ(p.length, 0);

    ASSERT_EQ(SymbologySettings::MakeEnableQuery(p.buf, p.length), 1);
    ASSERT_EQ(p.length, 80);
    EXPECT_THAT(p.At(0, 2), ElementsAre(0x34, 0x40));
    EXPECT_THAT(p.At(78, 2), ElementsAre(0x4E, 0x40));  // TLC39 last: UPC-E1 is not asked
}

TEST(EnableCodec, ReplyParsingStopsAtUnknownGroupAndSkipsUnknownAddresses) {
    SymbologySettings s;
    s.m_enable.CODE93_ENABLE = 7;
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseEnableReply,
                         {0x42, 0x40, 0x01, 0x38, 0x40, 0x00, 0x41, 0x40, 0x01}),
              0);
    EXPECT_EQ(s.m_enable.CODE39_ENABLE, 1);
    EXPECT_EQ(s.m_enable.CODE93_ENABLE, 7);

    s.m_enable.UPC_E1_ENABLE = 1;
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseEnableReply, {0x4B, 0x4C, 0x00}), 1);
    EXPECT_EQ(s.m_enable.UPC_E1_ENABLE, 1);

    // A Detail address is not an Enable field.
    const DetailRecord before = s.m_detail;
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseEnableReply, {0x41, 0x61, 0x09}), 1);
    EXPECT_EQ(std::memcmp(&before, &s.m_detail, sizeof before), 0);

    // Values come back as 0..255.
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseEnableReply, {0x41, 0x40, 0xFF}), 1);
    EXPECT_EQ(s.m_enable.CODE93_ENABLE, 255);
}

TEST(EnableCodec, PartialLastEntryIsIgnoredNotReadBeyond) {
    SymbologySettings s;
    s.m_enable.CODE93_ENABLE = 7;
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseEnableReply, {0x42, 0x40, 0x01, 0x41, 0x40}),
              1);
    EXPECT_EQ(s.m_enable.CODE39_ENABLE, 1);
    EXPECT_EQ(s.m_enable.CODE93_ENABLE, 7);
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseEnableReply, {0x41}), 1);
    EXPECT_EQ(s.m_enable.CODE93_ENABLE, 7);
    EXPECT_EQ(s.ParseEnableReply(nullptr, 0), 1);
    EXPECT_EQ(s.ParseEnableReply(reinterpret_cast<const uint8_t*>("B@\x01"), -3), 1);
    EXPECT_EQ(s.m_enable.CODE39_ENABLE, 1);
}

TEST(DetailCodec, SetupAndQueryLayout) {
    SymbologySettings s;
    s.m_detail.Code93_1 = 3;
    s.m_detail.TLC39_2 = 'A';
    s.m_detail.TLC39_2_filler[0] = 0x55;  // filler never travels
    s.m_detail.Aztec_1 = 300;
    Payload p;
    ASSERT_EQ(s.MakeDetailSetup(p.buf, p.length), 1);
    ASSERT_EQ(p.length, 216);
    EXPECT_THAT(p.At(0, 3), ElementsAre(0x53, 0x43, 44));
    EXPECT_THAT(p.At(3 * 16, 3), ElementsAre(0x41, 0x61, 0x03));
    EXPECT_THAT(p.At(213, 3), ElementsAre(0x4E, 0x47, 0x41));

    ASSERT_EQ(SymbologySettings::MakeDetailQuery(p.buf, p.length), 1);
    ASSERT_EQ(p.length, 148);
    // The extra pairs sit just before Code 11 and MSI.
    EXPECT_THAT(p.At(2 * 10, 6), ElementsAre(0x40, 0x5B, 0x4A, 0x4C, 0x4A, 0x54));
    EXPECT_THAT(p.At(2 * 55, 6), ElementsAre(0x45, 0x43, 0x46, 0x4C, 0x46, 0x54));
    EXPECT_THAT(p.At(146, 2), ElementsAre(0x4E, 0x47));
}

TEST(DetailCodec, ReplyFillsCharacterSlotsByFirstByteOnlyAndSkipsExtras) {
    SymbologySettings s;
    std::memset(&s.m_detail.Code128_GS1_128_ISBT_7, 0xAA, 4);
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseDetailReply, {0x43, 0x59, 0x7E}), 1);
    EXPECT_EQ(s.m_detail.Code128_GS1_128_ISBT_7, 0x7E);
    EXPECT_THAT(s.m_detail.Code128_GS1_128_ISBT_7_filler, ElementsAre('\xAA', '\xAA', '\xAA'));

    const SymbologySettings before = s;
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseDetailReply, {0x4A, 0x4C, 0x05}), 1);
    EXPECT_EQ(std::memcmp(&before, &s, sizeof s), 0);

    // Enable fields are read too; the shared PDF417/MacroPDF address lands
    // in both homes.
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseDetailReply,
                         {0x42, 0x40, 0x01, 0x4C, 0x41, 0x02, 0x4E, 0x44, 0x09}),
              1);
    EXPECT_EQ(s.m_enable.CODE39_ENABLE, 1);
    EXPECT_EQ(s.m_enable.MACROPDF_ENABLE, 2);
    EXPECT_EQ(s.m_detail.PDF417_2, 2);
    EXPECT_EQ(s.m_detail.TLC39_1, 9);

    // Stops at a foreign group, keeps what came before.
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseDetailReply,
                         {0x41, 0x61, 0x04, 0x7B, 0x44, 0x01, 0x41, 0x61, 0x05}),
              0);
    EXPECT_EQ(s.m_detail.Code93_1, 4);
    // A partial entry at the end is ignored.
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseDetailReply, {0x41, 0x61, 0x06, 0x41, 0x61}),
              1);
    EXPECT_EQ(s.m_detail.Code93_1, 6);
}

TEST(DetailCodec, SetupParsedBackGivesTheSameRecord) {
    std::mt19937 rng(7);
    SymbologySettings sent;
    for (size_t slot = 0; slot < kDetailSlotCount; ++slot) {
        if (kDetailSlots[slot].type == SlotType::Char) {
            WriteCharSlot(&sent.m_detail, slot, static_cast<char>(rng() & 0xFF));
        } else {
            WriteSlot(&sent.m_detail, slot, static_cast<int32_t>(rng() & 0xFF));
        }
    }
    Payload p;
    ASSERT_EQ(sent.MakeDetailSetup(p.buf, p.length), 1);
    SymbologySettings read;
    ASSERT_EQ(ParseExact(read, &SymbologySettings::ParseDetailReply, p.Get()), 1);
    EXPECT_EQ(std::memcmp(&sent.m_detail, &read.m_detail, sizeof sent.m_detail), 0);
    EXPECT_EQ(read.m_enable.MACROPDF_ENABLE, sent.m_detail.PDF417_2);
}

TEST(OtherCodec, SetupEncodesWordsHighFirstAndInvertsSlot9) {
    SymbologySettings s;
    s.m_other.PARAM_7B_82 = 0x1234;
    s.m_other.SECURITY_LEVEL = 300;
    s.m_other.DPM_3 = 1;
    Payload p;
    ASSERT_EQ(s.MakeOtherSetup(p.buf, p.length), 1);
    ASSERT_EQ(p.length, 80);
    EXPECT_THAT(p.At(0, 3), ElementsAre(0x71, 0x40, 44));
    EXPECT_THAT(p.At(3 * 9, 3), ElementsAre(0x7B, 0x58, 0x00));
    EXPECT_THAT(p.At(3 * 13, 4), ElementsAre(0x7B, 0x82, 0x12, 0x34));
    EXPECT_THAT(p.At(3 * 13 + 4, 4), ElementsAre(0x7B, 0x83, 0x00, 0x00));
    EXPECT_THAT(p.At(76, 4), ElementsAre(0x7B, 0xA2, 0x00, 0x00));
    for (int32_t v : {0, 2, -1}) {
        s.m_other.DPM_3 = v;
        ASSERT_EQ(s.MakeOtherSetup(p.buf, p.length), 1);
        EXPECT_EQ(p.buf[3 * 9 + 2], 0x01) << v;
    }
    ASSERT_EQ(SymbologySettings::MakeOtherQuery(p.buf, p.length), 1);
    ASSERT_EQ(p.length, 50);
    EXPECT_THAT(p.At(0, 4), ElementsAre(0x71, 0x40, 0x7B, 0x44));
    EXPECT_THAT(p.At(26, 2), ElementsAre(0x7B, 0x82));
}

TEST(OtherCodec, ReplyReadsBytesFlagsInvertedFlagAndWords) {
    SymbologySettings s;
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseOtherReply,
                         {0x7B, 0x82, 0x01, 0x02, 0x7B, 0x4B, 0x05}),
              1);
    EXPECT_EQ(s.m_other.PARAM_7B_82, 0x0102);
    EXPECT_EQ(s.m_other.AEC_AREA, 5);

    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseOtherReply,
                         {0x7B, 0x53, 0x05, 0x7B, 0x56, 0x05, 0x7B, 0x52, 0x05, 0x7B, 0x54,
                          0x05, 0x7B, 0x58, 0x00, 0x71, 0x40, 0xC8, 0x7B, 0xA2, 0xFF, 0xFF}),
              1);
    EXPECT_EQ(s.m_other.PARAM_7B_53, 1);
    EXPECT_EQ(s.m_other.DPM_1, 1);
    EXPECT_EQ(s.m_other.DPM_2, 1);
    EXPECT_EQ(s.m_other.EXTENSIVE_BARCODE_SEARCH, 1);
    EXPECT_EQ(s.m_other.DPM_3, 1);
    EXPECT_EQ(s.m_other.SECURITY_LEVEL, 200);
    EXPECT_EQ(s.m_other.PARAM_7B_A2, 65535);
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseOtherReply, {0x7B, 0x58, 0x07}), 1);
    EXPECT_EQ(s.m_other.DPM_3, 0);

    // Unknown parameters advance by three; an unknown group stops the walk.
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseOtherReply,
                         {0x7B, 0x99, 0x00, 0x71, 0x41, 0x00, 0x7B, 0x4B, 0x06, 0x42, 0x40, 0x00,
                          0x7B, 0x4B, 0x07}),
              0);
    EXPECT_EQ(s.m_other.AEC_AREA, 6);
}

TEST(OtherCodec, PartialLastEntryIsIgnoredNotReadBeyond) {
    SymbologySettings s;
    s.m_other.PARAM_7B_82 = 9;
    s.m_other.AEC_AREA = 9;
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseOtherReply, {0x7B, 0x82, 0x01}), 1);
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseOtherReply, {0x7B, 0x4B}), 1);
    EXPECT_EQ(ParseExact(s, &SymbologySettings::ParseOtherReply, {0x71}), 1);
    EXPECT_EQ(s.m_other.PARAM_7B_82, 9);
    EXPECT_EQ(s.m_other.AEC_AREA, 9);
}

TEST(OtherCodec, SetupParsedBackGivesTheSameRecord) {
    SymbologySettings sent;
    for (size_t slot = 0; slot < kOtherSlotCount; ++slot) {
        switch (kOtherSlots[slot].kind) {
            case OtherKind::Byte:
                WriteSlot(&sent.m_other, slot, int32_t((17 * slot + 3) & 0xFF));
                break;
            case OtherKind::Flag:
            case OtherKind::InvertedFlag:
                WriteSlot(&sent.m_other, slot, int32_t(slot % 2));
                break;
            case OtherKind::Word:
                WriteSlot(&sent.m_other, slot, int32_t(0x0102 * slot));
                break;
        }
    }
    Payload p;
    ASSERT_EQ(sent.MakeOtherSetup(p.buf, p.length), 1);
    SymbologySettings read;
    ASSERT_EQ(ParseExact(read, &SymbologySettings::ParseOtherReply, p.Get()), 1);
    EXPECT_EQ(std::memcmp(&sent.m_other, &read.m_other, sizeof sent.m_other), 0);
}

TEST(CodecGuard, ExceptionsBecomeALogLineAndFailure) {
    symbology_test::LogCapture log;
    EXPECT_EQ(GuardCodec([]() -> int32_t { throw std::bad_alloc(); }), 0);
    EXPECT_EQ(GuardCodec([]() -> int32_t { throw std::ios_base::failure("disk gone"); }), 0);
    EXPECT_EQ(GuardCodec([]() -> int32_t { throw std::runtime_error("boom"); }), 0);
    EXPECT_EQ(GuardCodec([]() -> int32_t { throw std::runtime_error(std::string(600, 'x')); }), 0);
    EXPECT_EQ(GuardCodec([]() -> int32_t { throw 42; }), 0);
    EXPECT_EQ(GuardCodec([]() -> int32_t { return 1; }), 1);
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Memory Exception [std::bad_alloc]");
    EXPECT_EQ(lines[1].rfind("File Exception [disk gone", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "Exception [boom]");
    EXPECT_EQ(lines[3], "Exception [" + std::string(512, 'x') + "]");
    EXPECT_EQ(lines[4], "Exception [unknown exception]");
}

}  // namespace
}  // namespace qv

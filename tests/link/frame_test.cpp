#include "link/frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "link/link_test_support.h"
#include "link/repeat_filter.h"
#include "power/module_control.h"

namespace qv {
namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

Bytes Built(uint8_t* buffer, int32_t length) {
    return length < 0 ? Bytes{} : Bytes(buffer, buffer + length);
}

// Brings the process-wide counter to the value before `wanted`.
void SequenceWillBe(uint8_t wanted) {
    for (int i = 0; i < 300; ++i) {
        uint8_t peek = NextSequence();
        if (SequenceAfter(peek) == wanted) return;
    }
    FAIL() << "sequence never reached " << int(wanted);
}

TEST(Frame, TestCommandMatchesTheWorkedExample) {
    ModuleControl module;
    module.m_frameNo = 0;  // as opening the driver leaves it
    SequenceWillBe(0x12);
    uint8_t buffer[kMaxFrameLength] = {};
    const uint8_t payload[] = {0x70, 0x40, 0x02};
    const int32_t n = BuildFrame(FrameKind::SETUP_COMMAND, payload, 3, buffer, module);
    EXPECT_THAT(Built(buffer, n),
                ElementsAreArray({0x02, 0x12, 0x41, 0x70, 0x40, 0x02, 0x61, 0x04, 0x96, 0x03}));
    EXPECT_EQ(WeightedSum(buffer, 7), 1174u);
}

TEST(Frame, EmptyPayloadAndEachCommandKind) {
    ModuleControl module;
    const std::pair<FrameKind, uint8_t> kinds[] = {{FrameKind::SETUP_COMMAND, 0x41},
                                                   {FrameKind::SETUP_QUERY, 0x40},
                                                   {FrameKind::RESET_COMMAND, 0x42},
                                                   {FrameKind::STATUS_QUERY, 0x43}};
    for (auto [kind, type] : kinds) {
        uint8_t buffer[kMaxFrameLength] = {};
        ASSERT_EQ(BuildFrame(kind, nullptr, 0, buffer, module), 7);
        EXPECT_EQ(buffer[0], 0x02);
        EXPECT_EQ(buffer[2], type);
        EXPECT_EQ(buffer[3] & 0xF8, 0x60);
        EXPECT_EQ(buffer[6], 0x03);
        EXPECT_TRUE(ChecksumMatches(buffer, 7));
    }
}

TEST(Frame, PayloadBytesAreSentUnescaped) {
    ModuleControl module;
    uint8_t buffer[kMaxFrameLength] = {};
    const uint8_t payload[] = {0x02, 0x03, 0x10};
    ASSERT_EQ(BuildFrame(FrameKind::SETUP_QUERY, payload, 3, buffer, module), 10);
    EXPECT_THAT(Bytes(buffer + 3, buffer + 6), ElementsAreArray(payload));
}

TEST(Frame, AcknowledgementCarriesTheEngineSequenceAndMovesNoCounter) {
    ModuleControl module;
    module.m_frameNo = 5;
    const uint8_t before = NextSequence();
    uint8_t buffer[kMaxFrameLength] = {};
    const uint8_t seq = 0x12;
    EXPECT_THAT(Built(buffer, BuildFrame(FrameKind::ACK, &seq, 1, buffer, module)),
                ElementsAreArray({0x02, 0x12, 0x06, 0x00, 0x03}));
    EXPECT_THAT(Built(buffer, BuildFrame(FrameKind::NAK, &seq, 1, buffer, module)),
                ElementsAreArray({0x02, 0x12, 0x15, 0x00, 0x03}));
    EXPECT_EQ(module.m_frameNo.load(), 5u);
    EXPECT_EQ(NextSequence(), SequenceAfter(before));
}

TEST(Frame, MalformedRequestsBuildNothing) {
    ModuleControl module;
    module.m_frameNo = 2;
    uint8_t buffer[kMaxFrameLength] = {};
    const uint8_t two[] = {0x12, 0x13};
    EXPECT_EQ(BuildFrame(FrameKind::ACK, two, 2, buffer, module), -1);
    EXPECT_EQ(BuildFrame(FrameKind::NAK, two, 0, buffer, module), -1);
    EXPECT_EQ(BuildFrame(static_cast<FrameKind>(7), two, 2, buffer, module), -1);
    EXPECT_EQ(BuildFrame(static_cast<FrameKind>(0), two, 2, buffer, module), -1);
    // A payload that cannot fit the buffer is refused instead of overrunning it.
    std::vector<uint8_t> big(kMaxFrameLength - kFrameOverhead + 1, 0x55);
    EXPECT_EQ(BuildFrame(FrameKind::SETUP_COMMAND, big.data(), int32_t(big.size()), buffer, module),
              -1);
    EXPECT_EQ(module.m_frameNo.load(), 2u);
    // The largest payload fills the buffer exactly.
    big.pop_back();
    EXPECT_EQ(BuildFrame(FrameKind::SETUP_COMMAND, big.data(), int32_t(big.size()), buffer, module),
              int32_t(kMaxFrameLength));
    EXPECT_TRUE(ChecksumMatches(buffer, kMaxFrameLength));
}

TEST(Frame, SequenceSkipsZeroToSixteen) {
    EXPECT_EQ(SequenceAfter(255), 17);
    EXPECT_EQ(SequenceAfter(17), 18);
    EXPECT_EQ(SequenceAfter(254), 255);
    for (int i = 0; i < 600; ++i) {
        const uint8_t s = NextSequence();
        ASSERT_GE(s, 17);
    }
}

TEST(Frame, FrameNumberWrapsAndStepsBackAfterANak) {
    ModuleControl module;
    module.m_frameNo = 0;
    uint8_t buffer[kMaxFrameLength] = {};
    std::vector<int> numbers;
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(BuildFrame(FrameKind::SETUP_QUERY, nullptr, 0, buffer, module), 7);
        numbers.push_back(buffer[3]);
    }
    EXPECT_THAT(numbers, ElementsAreArray({0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x60}));
    // The engine refuses frame 0: the next command reuses it.
    EXPECT_EQ(PreviousFrameNumber(module), 7u);
    BuildFrame(FrameKind::SETUP_QUERY, nullptr, 0, buffer, module);
    EXPECT_EQ(buffer[3], 0x60);
    module.m_frameNo = 3;
    EXPECT_EQ(PreviousFrameNumber(module), 2u);
    EXPECT_EQ(NextFrameNumber(module), 3u);
}

TEST(Checksum, WrapsModulo65536AndVerifies) {
    // Sequence 0xFF weighs 257 in a 258-byte head: 255 * 257 = 65535, plus
    // one more in the frame-management byte gives exactly 65536.
    std::vector<uint8_t> frame(261, 0);
    frame[0] = 0x02;
    frame[1] = 0xFF;
    frame[257] = 0x01;
    ASSERT_EQ(WeightedSum(frame.data(), 258), 65536u);
    uint8_t checksum[2] = {0xAA, 0xAA};
    MakeCheckSum(frame.data(), 258, checksum);
    EXPECT_EQ(checksum[0], 0x00);
    EXPECT_EQ(checksum[1], 0x00);
    frame[260] = 0x03;
    EXPECT_TRUE(VerifyCheckSum(frame.data(), frame.size(), 0x00, 0x00));
    EXPECT_TRUE(ChecksumMatches(frame.data(), frame.size()));
}

TEST(Checksum, MismatchLogsFoundAndExpected) {
    LogCapture log;
    const uint8_t frame[] = {0x02, 0x12, 0x41, 0x70, 0x40, 0x02, 0x61, 0x04, 0x97, 0x03};
    EXPECT_FALSE(VerifyCheckSum(frame, sizeof frame, 0x04, 0x97));
    EXPECT_FALSE(ChecksumMatches(frame, sizeof frame));
    EXPECT_EQ(log.Text(),
              "[RO25]FIRST 0x04 SECOND 0x97\r\n"
              "[RO25]FIRST 0x04 SECOND 0x96\r\n"
              "[RO25]nLength [10] TOTAL [1174] CHECK SUM [0x0496]\r\n");
    EXPECT_FALSE(ChecksumMatches(frame, 6));  // too short to hold a checksum
}

TEST(FrameTypes, NakReasonsAndFrameClasses) {
    EXPECT_EQ(NakReasonText(0x20), u"<== Multi-frame error");
    EXPECT_EQ(NakReasonText(0x30), u"<== frame number error");
    EXPECT_EQ(NakReasonText(0x40), u"<== not implement");
    EXPECT_EQ(NakReasonText(0x50), u"<== bad checksum");
    EXPECT_EQ(NakReasonText(0x10), u"");
    for (uint8_t t : {0x50, 0x51, 0x53, 0x54, 0x62})
        EXPECT_TRUE(IsReplyFrame(t)) << int(t);
    for (uint8_t t : {0x60, 0x61}) {
        EXPECT_FALSE(IsReplyFrame(t));
        EXPECT_TRUE(IsFullEngineFrame(t));
    }
    for (uint8_t t : {0x05, 0x06, 0x15, 0x1B, 0x52, 0x00})
        EXPECT_FALSE(IsFullEngineFrame(t));
}

TEST(BarcodeLength, PlainAndEscapedLowByte) {
    const uint8_t plain[] = {0x02, 0x20, 0x60, 0x01, 0x2C};
    auto length = DecodeBarcodeLength(plain, sizeof plain);
    ASSERT_TRUE(length);
    EXPECT_EQ(length->length, 300u);
    EXPECT_EQ(length->dataOffset, 5u);

    const uint8_t escaped[] = {0x02, 0x20, 0x60, 0x00, 0x10, 0x52};
    length = DecodeBarcodeLength(escaped, sizeof escaped);
    ASSERT_TRUE(length);
    EXPECT_EQ(length->length, 0x12u);
    EXPECT_EQ(length->dataOffset, 6u);

    EXPECT_FALSE(DecodeBarcodeLength(escaped, 5));
    EXPECT_FALSE(DecodeBarcodeLength(plain, 4));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// Only the engine's resend of one barcode is a repeat: the same sequence
// number and bytes shortly after. Two scans of one label are two barcodes.
TEST(RepeatFilter, OnlyTheSameFrameShortlyAfterIsARepeat) {
    const std::vector<uint8_t> label = {'j', 'A', '1'};
    const std::vector<uint8_t> other = {'j', 'A', '2'};
    struct Case {
        const char* name;
        uint8_t sequence;
        const std::vector<uint8_t>* data;
        uint32_t at;
        bool repeat;
    };
    const Case cases[] = {
        {"first", 0x20, &label, 1000, false},
        {"resent", 0x20, &label, 2000, true},
        {"rescanned: new sequence", 0x21, &label, 2100, false},
        {"same sequence, other bytes", 0x20, &other, 2200, false},
        {"resent long after", 0x21, &label, 2100 + kRepeatWindowMs, false},
    };
    RepeatFilter filter;
    for (const Case& c : cases) {
        EXPECT_EQ(filter.IsRepeat(c.sequence, *c.data, c.at), c.repeat) << c.name;
    }
}

}  // namespace
}  // namespace qv

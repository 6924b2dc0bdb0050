#include "symbology/module_payloads.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace qv {
namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

Bytes InitPayload() {
    std::array<uint8_t, kPayloadBufferSize> buf{};
    int32_t length = -1;
    EXPECT_EQ(MakeInitPayload(buf, length), 1);
    return Bytes(buf.begin(), buf.begin() + length);
}

// Replies live in storage of exactly their size, so over-reads are caught.
template <class F>
auto WithExact(const Bytes& reply, F&& f) {
    auto exact = std::make_unique<uint8_t[]>(reply.size() + (reply.empty() ? 1 : 0));
    if (!reply.empty()) std::memcpy(exact.get(), reply.data(), reply.size());
    return f(exact.get(), static_cast<int32_t>(reply.size()));
}

TEST(InitPayload, ExactBytesAtBothEndsAndInTheMiddle) {
    const Bytes p = InitPayload();
    ASSERT_EQ(p.size(), 369u);
    const Bytes begin{0x60, 0xC1, 0x00, 0x00, 0x73, 0x40, 0x01, 0x60, 0x40,
                      0x01, 0x73, 0x4E, 0x00, 0x34, 0xC0, 0x00, 0x00, 0x34,
                      0x48, 0x31, 0x53, 0xC0, 0x00, 0x00, 0x53, 0x48, 0x32};
    EXPECT_THAT(Bytes(p.begin(), p.begin() + begin.size()), ElementsAreArray(begin));
    EXPECT_THAT(Bytes(p.end() - 7, p.end()), ElementsAre(0x4E, 0xC0, 0x00, 0x00, 0x4E, 0x48, 0x44));

    auto find = [&](const Bytes& needle) {
        return std::search(p.begin(), p.end(), needle.begin(), needle.end()) != p.end();
    };
    // Codabar's character then its three zero entries.
    EXPECT_TRUE(find({0x40, 0x48, 0x34, 0x40, 0x50, 0x00, 0x40, 0x51, 0x00, 0x40, 0x52, 0x00}));
    // EAN/UPC: EAN-13 takes 0x4B and EAN-8 0x4A, each after its companion.
    EXPECT_TRUE(find({0x4B, 0xC0, 0x00, 0x00, 0x4B, 0x48, 0x66, 0x4B, 0xC1, 0x00,
                      0x00, 0x4B, 0x49, 0x67, 0x4B, 0xC3, 0x00, 0x00, 0x4B, 0x4B,
                      0x68, 0x4B, 0xC2, 0x00, 0x00, 0x4B, 0x4A, 0x69, 0x56}));
    // Code 128 and GS1-128, then the zero entries, then Data Matrix.
    EXPECT_TRUE(find({0x43, 0x48, 0x62, 0x43, 0xC1, 0x00, 0x00, 0x43, 0x49, 0x63, 0x43,
                      0x50, 0x00, 0x43, 0x51, 0x00, 0x43, 0x52, 0x00, 0x54, 0xC0}));
    // No MacroPDF, ISBT or UPC-E1 character.
    EXPECT_FALSE(find({0x4C, 0xC2}));
    EXPECT_FALSE(find({0x4B, 0xC4}));
}

TEST(InitQuery, EngineCountsAsInitialisedOnlyWithAllThreeCharacters) {
    auto check = [](const Bytes& reply) {
        return WithExact(reply,
                         [](const uint8_t* r, int32_t n) { return ReplyShowsInitialised(r, n); });
    };
    EXPECT_TRUE(check({0x48, 0x48, 0x42, 0x49, 0x48, 0x43, 0x4E, 0x48, 0x44}));
    EXPECT_TRUE(check({0x4E, 0x48, 0x44, 0x48, 0x48, 0x42, 0x49, 0x48, 0x43}));
    EXPECT_FALSE(check({0x48, 0x48, 0x42, 0x49, 0x48, 0x2F, 0x4E, 0x48, 0x44}));  // Telepen differs
    EXPECT_FALSE(check({0x48, 0x48, 0x42, 0x49, 0x48, 0x43, 0x4E, 0x48}));        // cut short
    EXPECT_FALSE(check({}));
    EXPECT_FALSE(ReplyShowsInitialised(nullptr, 9));
}

std::array<std::string, 3> Version(const Bytes& reply) {
    return WithExact(reply, [](const uint8_t* r, int32_t n) { return ParseVersionReply(r, n); });
}

Bytes Entry(uint8_t param, const std::string& text) {
    Bytes e{0x30, param, 0x11, 0x22};
    // Appended byte by byte: GCC 12 at -O2 misreads an insert into a short vector.
    for (char c : text)
        e.push_back(static_cast<uint8_t>(c));
    return e;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(VersionReply, ThreeTextsInTheOrderAsked) {
    const auto t =
        Version(Concat({Entry(0xC6, "FW 1.02"), Entry(0xC0, "BOOT 7"), Entry(0xC2, "HW rev C")}));
    EXPECT_EQ(t[0], "FW 1.02");
    EXPECT_EQ(t[1], "BOOT 7");
    EXPECT_EQ(t[2], "HW rev C");
}

TEST(VersionReply, TextsStopAtReplyEndAt255BytesAndAtAZero) {
    // Missing next entries: the first text runs to the end of the reply.
    auto t = Version(Entry(0xC6, "only"));
    EXPECT_EQ(t[0], "only");
    EXPECT_EQ(t[1], "");
    EXPECT_EQ(t[2], "");

    t = Version(Concat(
        {Entry(0xC6, std::string(400, 'a')), Entry(0xC0, ""), Entry(0xC2, std::string(300, 'c'))}));
    EXPECT_EQ(t[0], std::string(255, 'a'));
    EXPECT_EQ(t[1], "");
    EXPECT_EQ(t[2], std::string(255, 'c'));

    t = Version(Concat({Entry(0xC6, std::string("ab\0cd", 5)), Entry(0xC0, "x")}));
    EXPECT_EQ(t[0], "ab");
    EXPECT_EQ(t[1], "x");

    // A marker at the very end.
    t = Version({0x30, 0xC6});
    EXPECT_EQ(t[0], "");
    // The two filler bytes are skipped whatever they hold.
    t = Version({0x30, 0xC6, 0x00, 0x30, 0xC0, 0x01});
    EXPECT_EQ(t[0], "\xC0\x01");
    EXPECT_EQ(t[1], "");

    t = Version({});
    EXPECT_EQ(t[0] + t[1] + t[2], "");
    t = Version({0x12, 0x34, 0x56});
    EXPECT_EQ(t[0] + t[1] + t[2], "");
}

TEST(VersionReply, EntriesOutOfOrderAreNotPickedUp) {
    // The walk expects 0xC6, 0xC0, 0xC2 in that order: an 0xC2 entry first
    // takes the rest of the reply.
    const auto t = Version(Concat({Entry(0xC2, "HW"), Entry(0xC6, "FW")}));
    EXPECT_EQ(t[0], "");
    EXPECT_EQ(t[2], std::string("HW\x30\xC6\x11\x22"
                                "FW"));
}

TEST(FixedPayloads, BytesOfTheMaintenanceCommands) {
    EXPECT_THAT(kIsInitQuery, ElementsAre(0x48, 0x48, 0x49, 0x48, 0x4E, 0x48));
    EXPECT_THAT(kTestCommand, ElementsAre(0x70, 0x40, 0x02));
    EXPECT_THAT(kFactoryReset, ElementsAre(0x30, 0x40, 0x00, 0x40, 0x06));
    EXPECT_THAT(kVersionQuery, ElementsAre(0x30, 0xC6, 0x30, 0xC0, 0x30, 0xC2));
}

}  // namespace
}  // namespace qv

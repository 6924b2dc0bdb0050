#include "platform/text/text_conversion.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "test_support/temp_dir.h"

namespace qv::platform {
namespace {

using test_support::ReadFile;

size_t CountLines(const std::string& text) {
    size_t n = 0;
    for (const char c : text)
        n += c == '\n';
    return n;
}

TEST(TextConversion, Cp1252HighBytesGiveTheirUnicodeCharacters) {
    test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "");
    EXPECT_EQ(AnsiCodePage(), "CP1252");
    const struct {
        uint8_t byte;
        char16_t unit;
    } known[] = {{0x80, 0x20AC}, {0x82, 0x201A}, {0x8A, 0x0160}, {0x8C, 0x0152}, {0x8E, 0x017D},
                 {0x93, 0x201C}, {0x96, 0x2013}, {0x99, 0x2122}, {0x9F, 0x0178}, {0xA0, 0x00A0},
                 {0xA4, 0x00A4}, {0xC4, 0x00C4}, {0xDF, 0x00DF}, {0xE9, 0x00E9}, {0xFF, 0x00FF}};
    for (const auto& k : known) {
        const uint8_t in[] = {k.byte};
        EXPECT_EQ(AnsiToUtf16(in), std::u16string(1, k.unit)) << int(k.byte);
        EXPECT_EQ(Cp1252ToUtf16(k.byte), k.unit) << int(k.byte);
    }
    // iconv and the built-in table agree on every byte, the undefined ones included.
    std::vector<uint8_t> all;
    std::u16string expected;
    for (int b = 1; b < 256; ++b) {
        all.push_back(static_cast<uint8_t>(b));
        expected += Cp1252ToUtf16(static_cast<uint8_t>(b));
    }
    EXPECT_EQ(AnsiToUtf16(all), expected);
}

TEST(TextConversion, UndefinedBytesDoNotStopTheConversion) {
    test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "CP1252");
    const uint8_t in[] = {'A', 0x81, 'B', 0x8D, 0x8F, 0x90, 0x9D, 'C', 0x80};
    EXPECT_EQ(AnsiToUtf16(in), u"A\uFFFDB\uFFFD\uFFFD\uFFFD\uFFFDC\u20AC");
    EXPECT_EQ(AnsiToUtf16(std::string_view("")), u"");
    // A zero byte is text like any other; the caller decides where text ends.
    EXPECT_EQ(AnsiToUtf16(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextConversion, FollowsTheCodePageAtEachCall) {
    const uint8_t in[] = {0xC0, 0xE9};
    {
        test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "CP1251");
        EXPECT_EQ(AnsiToUtf16(in), u"\u0410\u0439");
    }
    {
        test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "UTF-8");
        EXPECT_EQ(AnsiToUtf16(std::string_view("\xE2\x82\xAC \xF0\x9F\x98\x80")),
                  u"\u20AC \U0001F600");
        // A sequence cut off at the end becomes one replacement character.
        EXPECT_EQ(AnsiToUtf16(std::string_view("ok\xE2\x82")), u"ok\uFFFD");
    }
    EXPECT_EQ(AnsiToUtf16(in), u"\u00C0\u00E9");
}

TEST(TextConversion, UnknownCodePageFallsBackToCp1252WithOneLine) {
    test_support::TempDir dir;
    const std::string debug = dir.Path() + "/debug.txt";
    test_support::ScopedEnv output("QV_DEBUG_OUTPUT", debug);
    test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "NO-SUCH-CODEPAGE-1");
    const uint8_t in[] = {0x80, 'x'};
    EXPECT_EQ(AnsiToUtf16(in), u"\u20ACx");
    EXPECT_EQ(AnsiToUtf16(in), u"\u20ACx");
    std::thread other([&] { EXPECT_EQ(AnsiToUtf16(in), u"\u20ACx"); });
    other.join();
    const std::string lines = ReadFile(debug);
    EXPECT_EQ(CountLines(lines), 1u) << lines;
    EXPECT_NE(lines.find("\"NO-SUCH-CODEPAGE-1\""), std::string::npos) << lines;
    EXPECT_NE(lines.find("using CP1252"), std::string::npos) << lines;
}

TEST(TextConversion, CallerBufferIsCutAndTerminatedNeverOverrun) {
    test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "UTF-8");
    const std::string_view text = "ab\xF0\x9F\x98\x80";  // a, b, then a surrogate pair
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    char16_t buffer[8];
    for (size_t capacity = 0; capacity <= 6; ++capacity) {
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        const size_t n = AnsiToUtf16(bytes, buffer, capacity);
        const size_t expected = capacity <= 1   ? 0
                                : capacity <= 4 ? std::min<size_t>(capacity - 1, 2)
                                                : 4;
        EXPECT_EQ(n, expected) << capacity;
        if (capacity > 0) {
            EXPECT_EQ(buffer[n], 0) << capacity;
        }
        for (size_t i = capacity; i < std::size(buffer); ++i)
            ASSERT_EQ(buffer[i], u'#') << capacity;
    }
    EXPECT_EQ(AnsiToUtf16(bytes, nullptr, 4), 0u);
}

TEST(TextConversion, ThreadsConvertAtTheSameTime) {
    test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "CP1252");
    std::vector<uint8_t> data;
    for (int i = 0; i < 512; ++i)
        data.push_back(static_cast<uint8_t>(0x80 + i % 128));
    const std::u16string expected = AnsiToUtf16(data);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                ASSERT_EQ(AnsiToUtf16(data), expected);
        });
    }
    for (auto& thread : threads)
        thread.join();
}

}  // namespace
}  // namespace qv::platform

// How barcode and version texts reach the terminal.
#include <gtest/gtest.h>

#include "output.h"

namespace qv::cli {
namespace {

TEST(Output, Utf16BecomesUtf8WithBrokenPairsReplaced) {
    EXPECT_EQ(ToUtf8(u"AZ az 09"), "AZ az 09");
    EXPECT_EQ(ToUtf8(u"\u00E9\u20AC"), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");  // a surrogate pair
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD83D)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xDE00))), "\xEF\xBF\xBD");
}

TEST(Output, QuotingShowsEveryByteOfABarcode) {
    EXPECT_EQ(Quoted("abc"), "\"abc\"");
    EXPECT_EQ(Quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(Quoted("\r\n\t"), "\"\\r\\n\\t\"");
    EXPECT_EQ(Quoted(std::string("\x1D"
                                 "01\x00\x7F",
                                 5)),
              "\"\\x1D01\\x00\\x7F\"");
    EXPECT_EQ(Quoted("\xC3\xA9"), "\"\xC3\xA9\"");  // UTF-8 passes as it is
}

TEST(Output, TextOfAFixedBufferStopsAtItsEnd) {
    const char16_t terminated[4] = {u'a', u'b', 0, u'c'};
    EXPECT_EQ(TextOf(terminated, 4), u"ab");
    const char16_t full[3] = {u'x', u'y', u'z'};  // no terminator within the buffer
    EXPECT_EQ(TextOf(full, 3), u"xyz");
    EXPECT_EQ(TextOf(full, 0), u"");
}

}  // namespace
}  // namespace qv::cli

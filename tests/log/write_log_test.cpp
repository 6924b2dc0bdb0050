#include "log/write_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "test_support/temp_dir.h"

namespace qv {
namespace {

TEST(FormatLog, ConversionsOfTheLibrarysFormats) {
    EXPECT_EQ(FormatLog(u"Check init\r\n", {}), u"Check init\r\n");
    EXPECT_EQ(FormatLog(u"[%03d] 0x%X\r\n", {7, 0x53}), u"[007] 0x53\r\n");
    EXPECT_EQ(FormatLog(u"%02X %x %d", {0x5, 0xAB, -12}), u"05 ab -12");
    EXPECT_EQ(FormatLog(u"<== NAK COME [%s]\r\n", {u"bad checksum"}),
              u"<== NAK COME [bad checksum]\r\n");
    EXPECT_EQ(FormatLog(u"100%% %c", {u'A'}), u"100% A");
    // Handles are 32-bit values on the device.
    EXPECT_EQ(FormatLog(u"0x%X", {reinterpret_cast<void*>(0x1234)}), u"0x1234");
    EXPECT_EQ(FormatLog(u"%X", {static_cast<void*>(nullptr)}), u"0");
}

TEST(FormatLog, MissingArgumentsAndNullTextStayReadable) {
    EXPECT_EQ(FormatLog(u"a %d b", {}), u"a (missing) b");
    EXPECT_EQ(FormatLog(u"%s", {static_cast<const char16_t*>(nullptr)}), u"(null)");
    EXPECT_EQ(FormatLog(u"trailing %", {}), u"trailing %");
}

// Outside text can neither colour a terminal nor start a line of its own;
// the library's own format keeps its line end.
TEST(FormatLog, ControlCharactersOfArgumentsAreEscaped) {
    const struct {
        std::u16string text;
        std::u16string logged;
    } cases[] = {
        {u"\x1B[31mRED\x1B[0m", u"\\x1B[31mRED\\x1B[0m"},
        {u"A\r\n[RO25]forged", u"A\\x0D\\x0A[RO25]forged"},
        {u"tab\tnul-free\x7F\x9B", u"tab\\x09nul-free\\x7F\\x9B"},
        {u"\u2028\u202Eevil", u"\\u2028\\u202Eevil"},
        {u"caf\u00E9 \u20AC \\Nand\\ok.wav", u"caf\u00E9 \u20AC \\Nand\\ok.wav"},  // as they are
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatLog(u"READ DATA[%s]\r\n", {c.text}), u"READ DATA[" + c.logged + u"]\r\n");
    }
    EXPECT_EQ(FormatLog(u"%c|%c", {u'\x1B', u'x'}), u"\\x1B|x");
    // An escape that does not fit whole is left off.
    const std::u16string nearlyFull(1020, u'x');
    EXPECT_EQ(FormatLog(u"%s%s", {nearlyFull, u"\x1B"}), nearlyFull);
}

TEST(FormatLog, LongExpansionIsCutAt1023Units) {
    const std::u16string big(2000, u'x');
    const std::u16string out = FormatLog(u"%s", {big});
    EXPECT_EQ(out.size(), 1023u);
    EXPECT_EQ(FormatLog(u"ab%s", {big}).substr(0, 3), u"abx");
}

TEST(WriteLog, OneLineWithPrefixToTheDebugOutput) {
    test_support::TempDir dir;
    const std::string path = dir.Path() + "/debug.txt";
    test_support::ScopedEnv env("QV_DEBUG_OUTPUT", path);
    WriteLog(u"Check init\r\n");
    WriteLog(u"%s", std::u16string(2000, u'y'));
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    ASSERT_EQ(text.substr(0, 18), "[RO25]Check init\r\n");
    EXPECT_EQ(text.size(), 18u + 6u + 1023u);
    EXPECT_EQ(text.substr(18, 6), "[RO25]");
}

}  // namespace
}  // namespace qv

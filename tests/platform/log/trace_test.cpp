#include "platform/log/trace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "platform/windows/message_box.h"
#include "test_support/temp_dir.h"

namespace qv::platform {
namespace {

using test_support::ReadFile;

TEST(QuoteTraceString, EscapesAndUtf8) {
    EXPECT_EQ(QuoteTraceString(u""), "\"\"");
    EXPECT_EQ(QuoteTraceString(u"a\\b\"c"), R"("a\\b\"c")");
    EXPECT_EQ(QuoteTraceString(u"\r\n\t"), R"("\r\n\t")");
    EXPECT_EQ(QuoteTraceString(std::u16string(u"x\x01y\x1Fz\x7F", 6) + u'\0'),
              R"("x\x01y\x1fz\x7f\x00")");
    EXPECT_EQ(QuoteTraceString(u"\u00e9\u20ac\U0001F600"),
              "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"");
    EXPECT_EQ(QuoteTraceString(std::u16string(1, char16_t{0xD800})), "\"\xef\xbf\xbd\"");
}

TEST(TraceLine, AppendsWholeLinesOnlyWhenATraceIsNamed) {
    test_support::TempDir dir;
    const std::string path = dir.Path() + "/trace.txt";
    ::unsetenv("QV_PLATFORM_TRACE");
    TraceLine("lost");
    {
        test_support::ScopedEnv env("QV_PLATFORM_TRACE", path);
        TraceLine("first");
        // Lines of different threads never mix.
        auto writer = [](char c) {
            for (int i = 0; i < 200; ++i)
                TraceLine(std::string(300, c));
        };
        std::thread a(writer, 'a');
        writer('b');
        a.join();
    }
    TraceLine("lost too");
    std::istringstream lines(ReadFile(path));
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "first");
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        ASSERT_TRUE(line == std::string(300, 'a') || line == std::string(300, 'b'));
    }
    EXPECT_EQ(count, 400);
}

TEST(MessageBox, ReturnsAtOnceAfterDebugOutputAndTrace) {
    test_support::TempDir dir;
    test_support::ScopedEnv trace("QV_PLATFORM_TRACE", dir.Path() + "/trace.txt");
    test_support::ScopedEnv debug("QV_DEBUG_OUTPUT", dir.Path() + "/debug.txt");
    EXPECT_EQ(ShowMessageBox(u"Disk \"A\"\r\nfull", u"ERROR", kMbOkCancel), kIdOk);
    EXPECT_EQ(ReadFile(dir.Path() + "/trace.txt"),
              "msgbox \"Disk \\\"A\\\"\\r\\nfull\" \"ERROR\" 1\n");
    EXPECT_NE(ReadFile(dir.Path() + "/debug.txt").find("Disk \"A\""), std::string::npos);
}

}  // namespace
}  // namespace qv::platform

// Where the debug output goes: nowhere unless asked, a file, standard error,
// or the system journal and syslog through their datagram protocols, played
// here by sockets of the test.
#include "platform/log/debug_output.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/core/configuration.h"
#include "test_support/temp_dir.h"

namespace qv::platform {
namespace {

// A datagram socket bound where a system log's would be.
class FakeLog {
  public:
    explicit FakeLog(const std::string& path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
        timeval timeout{0, 200 * 1000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~FakeLog() { ::close(m_fd); }
    bool Bound() const { return m_bound; }
    // One datagram, or empty when none came.
    std::string Next() const {
        char buffer[8192];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

  private:
    int m_fd = -1;
    bool m_bound = false;
};

class DebugOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetJournalSocketPath(m_dir.Path() + "/journal.sock");
        SetSyslogSocketPath(m_dir.Path() + "/log.sock");
    }
    void TearDown() override {
        SetJournalSocketPath(kJournalSocket);
        SetSyslogSocketPath(kSyslogSocket);
        LoadConfiguration();
    }

    test_support::TempDir m_dir;
};

TEST_F(DebugOutputTest, EachSettingReachesItsOutputAndNoOther) {
    FakeLog journal(m_dir.Path() + "/journal.sock");
    FakeLog syslog(m_dir.Path() + "/log.sock");
    ASSERT_TRUE(journal.Bound() && syslog.Bound());
    const std::string journalHead = "PRIORITY=7\nSYSLOG_IDENTIFIER=QV_Rizoviv2I_RO25\n";
    const std::string syslogHead = "<15>QV_Rizoviv2I_RO25[" + std::to_string(::getpid()) + "]: ";
    const std::string file = m_dir.Path() + "/debug.txt";
    struct Case {
        std::optional<std::string> setting;  // nullopt: unset
        std::string journal, syslog, standardError, file;
        std::string line = "[RO25]Check init\r\n";
    };
    const Case cases[] = {
        // Unset: nowhere, though a journal listens (barcodes hold names).
        {std::nullopt, "", "", "", ""},
        {"none", "", "", "", ""},
        {"journal", journalHead + "MESSAGE=[RO25]Check init\n", "", "", ""},
        // A line break inside takes the binary field form: name, length, bytes.
        {"journal",
         journalHead + "MESSAGE\n" + std::string("\x09\0\0\0\0\0\0\0", 8) + "two\nlines\n", "", "",
         "", "two\nlines\n"},
        {"syslog", "", syslogHead + "[RO25]Check init", "", ""},
        {"stderr", "", "", "[RO25]Check init\r\n", ""},
        {file, "", "", "", "[RO25]Check init\r\n"},
    };
    // Run where a setting taken for a file name would leave that file behind.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.Path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting.value_or("(unset)"));
        ::unlink(file.c_str());
        std::optional<test_support::ScopedEnv> env;
        if (c.setting) {
            env.emplace("QV_DEBUG_OUTPUT", *c.setting);
        } else {
            ::unsetenv("QV_DEBUG_OUTPUT");
            LoadConfiguration();
        }
        ::testing::internal::CaptureStderr();
        DebugOutputUtf8(c.line);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.standardError);
        EXPECT_EQ(journal.Next(), c.journal);
        EXPECT_EQ(syslog.Next(), c.syslog);
        EXPECT_EQ(test_support::ReadFile(file), c.file);
    }
    std::filesystem::current_path(cwd);
    for (const char* name : {"none", "journal", "syslog", "stderr"})
        EXPECT_FALSE(std::filesystem::exists(m_dir.Path() + "/" + name)) << name;
}

TEST_F(DebugOutputTest, AStalledLogLosesLinesAndSaysHowManyWhenItListensAgain) {
    for (const char* kind : {"journal", "syslog"}) {
        SCOPED_TRACE(kind);
        const std::string path =
            m_dir.Path() + (std::string(kind) == "journal" ? "/journal.sock" : "/log.sock");
        FakeLog log(path);
        ASSERT_TRUE(log.Bound());
        test_support::ScopedEnv env("QV_DEBUG_OUTPUT", kind);
        // Nobody reads: the socket's queue fills, and the writer goes on.
        constexpr int kLines = 3000;
        for (int i = 0; i < kLines; ++i)
            DebugOutputUtf8("line " + std::to_string(i) + "\n");
        int taken = 0;
        while (!log.Next().empty())
            ++taken;
        ASSERT_LT(taken, kLines);
        DebugOutputUtf8("after\n");
        const std::string note = log.Next();
        EXPECT_NE(note.find("debug output: " + std::to_string(kLines - taken) +
                            " lines lost, the log did not take them"),
                  std::string::npos)
            << note;
        EXPECT_NE(log.Next().find("after"), std::string::npos);
        ::unlink(path.c_str());
    }
}

TEST_F(DebugOutputTest, AMissingLogAskedForByNameIsSaidOnceOnStandardError) {
    for (const char* kind : {"journal", "syslog"}) {
        SCOPED_TRACE(kind);
        ::testing::internal::CaptureStderr();
        {
            test_support::ScopedEnv env("QV_DEBUG_OUTPUT", kind);
            DebugOutputUtf8("one\n");
            DebugOutputUtf8("two\n");
        }
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find("debug output: no " + std::string(kind) + " at "), 0u) << said;
        EXPECT_NE(said.find("one\ntwo\n"), std::string::npos) << said;
    }
}

}  // namespace
}  // namespace qv::platform

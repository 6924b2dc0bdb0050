// Where the debug output goes: a file, standard error, or the system journal
// through its native datagram protocol, played here by a socket of the test.
#include "platform/debug_output.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/configuration.h"
#include "test_support/temp_dir.h"

namespace qv::platform {
namespace {

// A datagram socket bound where the journal's would be.
class FakeJournal {
  public:
    explicit FakeJournal(const std::string& path) : m_path(path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
        timeval timeout{0, 200 * 1000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~FakeJournal() { ::close(m_fd); }
    bool Bound() const { return m_bound; }
    // One datagram, or empty when none came.
    std::string Next() const {
        char buffer[8192];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

  private:
    std::string m_path;
    int m_fd = -1;
    bool m_bound = false;
};

class DebugOutputTest : public ::testing::Test {
  protected:
    void SetUp() override { SetJournalSocketPath(m_dir.Path() + "/journal.sock"); }
    void TearDown() override {
        SetJournalSocketPath(kJournalSocket);
        LoadConfiguration();
    }
    // Loads the configuration with QV_DEBUG_OUTPUT unset.
    void Unset() {
        ::unsetenv("QV_DEBUG_OUTPUT");
        LoadConfiguration();
    }

    test_support::TempDir m_dir;
};

TEST_F(DebugOutputTest, TheJournalTakesEachLineAsOneEntryAtDebugPriority) {
    FakeJournal journal(m_dir.Path() + "/journal.sock");
    ASSERT_TRUE(journal.Bound());
    const std::string head = "PRIORITY=7\nSYSLOG_IDENTIFIER=QV_Rizoviv2I_RO25\n";
    for (const bool byDefault : {true, false}) {
        SCOPED_TRACE(byDefault ? "unset" : "journal");
        std::optional<test_support::ScopedEnv> env;
        if (byDefault) {
            Unset();
        } else {
            env.emplace("QV_DEBUG_OUTPUT", "journal");
        }
        DebugOutputUtf8("[RO25]Check init\r\n");
        EXPECT_EQ(journal.Next(), head + "MESSAGE=[RO25]Check init\n");
        // A line break inside takes the binary field form: name, length, bytes.
        DebugOutputUtf8("two\nlines\n");
        EXPECT_EQ(journal.Next(),
                  head + "MESSAGE\n" + std::string("\x09\0\0\0\0\0\0\0", 8) + "two\nlines\n");
    }
    // Named otherwise, nothing goes to the journal.
    {
        test_support::ScopedEnv env("QV_DEBUG_OUTPUT", m_dir.Path() + "/debug.txt");
        DebugOutputUtf8("to the file\n");
        EXPECT_EQ(test_support::ReadFile(m_dir.Path() + "/debug.txt"), "to the file\n");
    }
    {
        test_support::ScopedEnv env("QV_DEBUG_OUTPUT", "stderr");
        ::testing::internal::CaptureStderr();
        DebugOutputUtf8("to standard error\n");
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to standard error\n");
    }
    EXPECT_EQ(journal.Next(), "");
}

TEST_F(DebugOutputTest, WithoutAJournalLinesGoToStandardError) {
    ::testing::internal::CaptureStderr();
    Unset();
    DebugOutputUtf8("no journal runs\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "no journal runs\n");

    // Asked for by name, its absence is said once, at the load.
    ::testing::internal::CaptureStderr();
    {
        test_support::ScopedEnv env("QV_DEBUG_OUTPUT", "journal");
        DebugOutputUtf8("one\n");
        DebugOutputUtf8("two\n");
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("debug output: no journal at " + m_dir.Path() + "/journal.sock"), 0u)
        << said;
    EXPECT_NE(said.find("one\ntwo\n"), std::string::npos) << said;
}

}  // namespace
}  // namespace qv::platform

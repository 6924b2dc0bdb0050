// Opening and closing, as an application lives through them.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "QVPlatform.h"
#include "imager_fixture.h"
#include "symbology/module_payloads.h"

namespace engine_test {
namespace {

using qv::kTypeResetCommand;
using qv::kTypeSetupCommand;
using qv::kTypeSetupQuery;

size_t PayloadsOfSize(qv::sim::Simulator& sim, uint8_t type, size_t size) {
    size_t n = 0;
    for (const auto& frame : sim.Received()) {
        if (frame.type == type && frame.payload.size() == size) ++n;
    }
    return n;
}

TEST_F(ImagerScenario, FactoryFreshEngineIsAskedThreeTimesThenInitialised) {
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(PayloadsOfSize(*m_sim, kTypeSetupQuery, 6), 3u);
    EXPECT_EQ(PayloadsOfSize(*m_sim, kTypeSetupCommand, 369), 1u);
    EXPECT_EQ(m_log.Count("[RO25]Check init\r\n"), 1);
    EXPECT_EQ(m_log.Count("[RO25]Check module\r\n"), 1);
    EXPECT_EQ(m_log.Count("[RO25]Init module\r\n"), 1);
    // Open leaves the trigger released and the wake line low.
    EXPECT_TRUE(m_sim->Lines().trigger);
    EXPECT_FALSE(m_sim->Lines().wake);
    EXPECT_EQ(QVImagerClose(), 1);
    EXPECT_FALSE(m_sim->Lines().power);
}

TEST_F(ImagerScenario, InitialisedEngineIsNotInitialisedAgain) {
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerClose(), 1);
    const size_t queries = PayloadsOfSize(*m_sim, kTypeSetupQuery, 6);
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(PayloadsOfSize(*m_sim, kTypeSetupQuery, 6), queries + 1);
    EXPECT_EQ(PayloadsOfSize(*m_sim, kTypeSetupCommand, 369), 1u);
    EXPECT_EQ(m_log.Count("[RO25]IsInit is success\r\n"), 1);
}

TEST_F(ImagerScenario, StoredRecordsAreSentInOrderAndRewritten) {
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerSetALLSymboleEnable(1), 1);
    ASSERT_EQ(QVImagerSetCode39Setting(1, 0, 1, 0), 1);
    ASSERT_EQ(QVImagerSetSecurtyLevel(2), 1);
    ASSERT_EQ(QVImagerClose(), 1);
    for (const char* name :
         {"BarcodeRO25Enable.dat", "BarcodeRO25Detail.dat", "BarcodeRO25Other.dat"}) {
        ASSERT_TRUE(std::filesystem::exists(SettingsFile(name))) << name;
    }
    const auto before = std::filesystem::last_write_time(SettingsFile("BarcodeRO25Detail.dat"));

    const size_t seen = m_sim->Received().size();
    ASSERT_EQ(QVImagerOpen(), 1);
    std::vector<size_t> setups;
    const auto frames = m_sim->Received();
    for (size_t i = seen; i < frames.size(); ++i) {
        if (frames[i].type == kTypeSetupCommand) setups.push_back(frames[i].payload.size());
    }
    EXPECT_EQ(setups, (std::vector<size_t>{123, 216, 80}));
    EXPECT_GE(std::filesystem::last_write_time(SettingsFile("BarcodeRO25Detail.dat")), before);
    EXPECT_EQ(std::filesystem::file_size(SettingsFile("BarcodeRO25Detail.dat")), 288u);

    int32_t a = 0, b = 0, c = 0, d = 0;
    ASSERT_EQ(QVImagerGetCode39Setting(&a, &b, &c, &d), 1);
    EXPECT_EQ((std::vector<int32_t>{a, b, c, d}), (std::vector<int32_t>{1, 0, 1, 0}));
}

TEST_F(ImagerScenario, SecondOpenWithoutCloseClosesTheFirst) {
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerSetPrefix1(0x11), 1);
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_TRUE(m_sim->Lines().power);
    EXPECT_EQ(m_log.Count("CheckPowerStateThread END\r\n"), 1);
    EXPECT_GE(m_log.Count("PW ON!!!"), 1);
    uint8_t prefix = 0;
    ASSERT_EQ(QVImagerGetPrefix1(&prefix), 1);
    EXPECT_EQ(prefix, 0x11);
}

TEST_F(ImagerScenario, NoPowerDriverFailsTheOpenAndTheNextOpenReplacesIt) {
    m_sim->Stop();
    m_sim.reset();
    ASSERT_EQ(QVImagerOpen(), -1);
    EXPECT_EQ(m_log.Count("[RO25]INVALID_HANDLE_VALUE Error...\r\n"), 1);
    int32_t mode = 0, ms = 0;
    EXPECT_EQ(QVImagerGetDelay(&mode, &ms), -1);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(ms, 1);
    EXPECT_EQ(QVImagerScanStart(nullptr), -1);
    EXPECT_EQ(QVImagerClose(), -1);

    StartSimulator();
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(QVImagerClose(), 1);
    EXPECT_EQ(QVImagerClose(), 1);
}

std::pair<int, std::string> LastFailure() {
    char text[256];
    const int code = QVPlatformGetLastFailure(text, sizeof text);
    return {code, text};
}

// Each way the serial device can fail to open: the open fails, powers the
// engine off again, and the calling thread's last failure names the path
// and the system's reason.
TEST_F(ImagerScenario, SerialPortThatCannotOpenFailsTheOpenPowersOffAndSaysWhy) {
    const std::string locked = m_dir.Path() + "/locked-tty";
    std::ofstream(locked).put('x');
    ::chmod(locked.c_str(), 0);
    struct Case {
        std::string path;
        int code;
        const char* reason;
    };
    std::vector<Case> cases = {
        {m_dir.Path() + "/no-such-tty", ENOENT, "No such file or directory"},
        {m_dir.Path(), EISDIR, "Is a directory"},  // fails for root as well
    };
    if (::geteuid() != 0) cases.push_back({locked, EACCES, "Permission denied"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ::setenv("QV_PORT_COM2", c.path.c_str(), 1);
        ASSERT_EQ(QVImagerOpen(), -1);
        EXPECT_FALSE(m_sim->Lines().power);
        const auto [code, text] = LastFailure();
        EXPECT_EQ(code, c.code);
        EXPECT_THAT(text, ::testing::HasSubstr(c.path + " (COM2:)"));
        EXPECT_THAT(text, ::testing::HasSubstr(c.reason));
        EXPECT_EQ(QVImagerClose(), -1);
        EXPECT_EQ(LastFailure().first, ENODEV);  // nothing open to close
    }
    // The code alone, and a line cut at a whole character to fit.
    EXPECT_EQ(QVPlatformGetLastFailure(nullptr, 0), ENODEV);
    char small[4] = "abc";
    EXPECT_EQ(QVPlatformGetLastFailure(small, 1), ENODEV);
    EXPECT_EQ(small[0], '\0');
}

TEST_F(ImagerScenario, SilentEngineGivesATimeOutNamingTheDeviceAndCommand) {
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(LastFailure().first, 0);
    qv::sim::Faults faults;
    faults.silent = true;
    m_sim->SetFaults(faults);
    int32_t level = 0;
    EXPECT_EQ(QVImagerGetSecurtyLevel(&level), -1);
    const auto [code, text] = LastFailure();
    EXPECT_EQ(code, ETIMEDOUT);
    EXPECT_THAT(text, ::testing::HasSubstr("COM2: (" + m_sim->SlavePath() + ")"));
    EXPECT_THAT(text, ::testing::HasSubstr("no answer from the engine"));
    EXPECT_THAT(text, ::testing::HasSubstr("SETUP_QUERY"));
    // Version: 1 as ever, three empty texts, and the cause.
    char16_t firmware[256], boot[256], hardware[256];
    std::fill(std::begin(firmware), std::end(firmware), u'#');
    std::fill(std::begin(boot), std::end(boot), u'#');
    std::fill(std::begin(hardware), std::end(hardware), u'#');
    EXPECT_EQ(QVImagerGetVersion(firmware, boot, hardware), 1);
    EXPECT_EQ(std::u16string(firmware) + std::u16string(boot) + std::u16string(hardware), u"");
    // A refused export gives its own cause, not the one before.
    qv::platform::InjectPowerNotification(1, 0x00200000, u"suspend");
    ASSERT_TRUE(Eventually([] { return QVImagerTestCommand() == -1; }));
    EXPECT_EQ(LastFailure().first, EAGAIN);
}

// A separate program reaches the simulator over its pty and driver socket.
class OtherProcessScenario : public ImagerScenario {
  protected:
    qv::sim::Simulator::Options SimulatorOptions() override {
        qv::sim::Simulator::Options options = ImagerScenario::SimulatorOptions();
        options.driverSocket = true;
        return options;
    }
};

// The program starts a scan, lets a forked child try the exports and exit,
// and returns from main without closing: its exit closes the imager as
// QVImagerClose would, and the child's exit leaves the engine alone.
TEST_F(OtherProcessScenario, AProcessThatReturnsWithoutClosingLeavesTheEngineOff) {
    ::setenv("QV_DRIVER_BAR1", ("unix:" + m_sim->DriverSocketPath()).c_str(), 1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const char* args[] = {QV_EXIT_WITHOUT_CLOSE, m_dir.Path().c_str(), nullptr};
        ::execv(args[0], const_cast<char* const*>(args));
        ::_exit(127);
    }
    ::unsetenv("QV_DRIVER_BAR1");
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(Eventually([this] { return !m_sim->Lines().power; }));
    EXPECT_FALSE(m_sim->Lines().trigger);  // as the power-off sequence leaves it
}

TEST_F(ImagerScenario, SuspendRefusesWorkAndResumeRestoresItWithoutANewOpen) {
    ASSERT_EQ(QVImagerOpen(), 1);
    // An engine left by an earlier failed open in this process ends its watcher here.
    const int ends = m_log.Count("CheckPowerStateThread END\r\n");
    qv::platform::InjectPowerNotification(1, 0x00200000, u"suspend");
    ASSERT_TRUE(Eventually([] { return QVImagerTestCommand() == -1; }));
    int32_t level = 0;
    EXPECT_EQ(QVImagerGetSecurtyLevel(&level), -1);
    EXPECT_EQ(QVImagerScanStart(nullptr), -1);

    qv::platform::InjectPowerNotification(1, 0x12010000, u"on");
    ASSERT_TRUE(Eventually([] { return QVImagerTestCommand() == 1; }));
    EXPECT_EQ(QVImagerGetSecurtyLevel(&level), 1);
    EXPECT_EQ(m_log.Count("POWER_STATE_SUSPEND\r\n"), 1);
    EXPECT_EQ(m_log.Count("POWER_STATE_ON\r\n"), 1);
    EXPECT_EQ(QVImagerClose(), 1);
    EXPECT_EQ(m_log.Count("CheckPowerStateThread END\r\n"), ends + 1);
}

TEST_F(ImagerScenario, FactoryResetSendsResetThenPayloadAndKeepsTheFiles) {
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerSetSecurtyLevel(3), 1);
    std::ifstream in(SettingsFile("BarcodeRO25Other.dat"), std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(QVImagerFactoryReset(), 1);
    EXPECT_EQ(Received(kTypeResetCommand), 1u);
    EXPECT_EQ(PayloadsOfSize(*m_sim, kTypeSetupCommand, 369), 2u);
    std::ifstream again(SettingsFile("BarcodeRO25Other.dat"), std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), before);

    char16_t firmware[256] = {}, boot[256] = {}, hardware[256] = {};
    ASSERT_EQ(QVImagerGetVersion(firmware, boot, hardware), 1);
    EXPECT_EQ(std::u16string(firmware), u"RO25 FW 2.14.0");
    EXPECT_EQ(std::u16string(hardware), u"RO25 HW REV B");
}

// The device suspends the moment the watcher subscribes, while the open is
// still preparing the engine: the open's own mark of the engine as active
// does not overwrite it, so the imager opens suspended and refuses work.
TEST_F(ImagerScenario, ASuspendSeenAsTheOpenStartsIsKept) {
    const std::string path = m_dir.Path() + "/power.sock";
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server, 1), 0);
    test_support::ScopedEnv env("QV_POWER_NOTIFY", "unix:" + path);
    std::thread peer([server] {
        const int connection = ::accept(server, nullptr, nullptr);
        const std::string record = qv::platform::EncodePowerBroadcast(1, 0x00200000, u"suspend");
        const uint32_t n = static_cast<uint32_t>(record.size());
        const uint8_t header[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
        (void)!::write(connection, header, 4);
        (void)!::write(connection, record.data(), record.size());
        char drain;
        (void)!::read(connection, &drain, 1);  // until the subscription ends
        ::close(connection);
    });
    QVImagerOpen();
    EXPECT_TRUE(Eventually([this] {
        return m_log.Count("======================[APP] PWM : POWER_STATE_SUSPEND") == 1;
    }));
    EXPECT_EQ(QVImagerSetReceiveType(1), -1);
    EXPECT_EQ(QVImagerClose(), 1);
    peer.join();
    ::close(server);
}

}  // namespace
}  // namespace engine_test

// The symbology exports end to end: the library's command exchange and
// reader thread on a pseudo-terminal, the engine simulator at the other end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <regex>

#include "QV_Rizoviv2I_RO25.h"
#include "engine/imager_engine.h"
#include "platform/core/clock.h"
#include "sim/simulator.h"
#include "symbology/module_maintenance.h"
#include "symbology/settings_operations.h"
#include "symbology/settings_test_support.h"

namespace qv {
namespace {

using symbology_test::Bytes;
using ::testing::ElementsAre;

constexpr double kScale = 0.25;
constexpr uint8_t kSetupQuery = 0x40;
constexpr uint8_t kSetupCommand = 0x41;
constexpr uint8_t kResetCommand = 0x42;

// An imager opened through the export against the simulator, powered
// through its in-process driver. What the open itself sent and logged is
// left out of what the tests count.
class OnTheSimulator : public symbology_test::SettingsFixture {
  protected:
    void SetUp() override {
        SettingsFixture::SetUp();
        platform::SetClockScale(kScale);
        ::unsetenv("QV_DRIVER_BAR1");
        ::unsetenv("QV_POWER_NOTIFY");
        sim::Simulator::Options options;
        options.driverSocket = false;
        options.powerSocket = false;
        m_sim.emplace(options);
        std::string error;
        ASSERT_TRUE(m_sim->Start(&error)) << error;
        m_port.emplace("QV_PORT_COM2", m_sim->SlavePath());
        Open();
    }

    void TearDown() override {
        QVImagerClose();
        if (m_sim) m_sim->Stop();
        SettingsFixture::TearDown();
    }

    void Open() {
        ASSERT_EQ(QVImagerOpen(), 1);
        m_framesBefore = m_sim->Received().size();
        m_linesBefore = m_log.Lines().size();
    }

    // The engine's command exchange, as the exports use it.
    static CommandPort& Port() { return m_RO25.load()->Commands(); }

    // Host commands of one type that the engine received since the open, in order.
    std::vector<sim::Frame> Received(uint8_t type) const {
        std::vector<sim::Frame> frames;
        const std::vector<sim::Frame> all = m_sim->Received();
        for (size_t i = m_framesBefore; i < all.size(); ++i) {
            if (!all[i].isShort && all[i].type == type) frames.push_back(all[i]);
        }
        return frames;
    }

    size_t ByteLogLines() const {
        static const std::regex line(R"(\[\d{3}\] 0x[0-9A-F]+)");
        const std::vector<std::string> lines = m_log.Lines();
        size_t n = 0;
        for (size_t i = m_linesBefore; i < lines.size(); ++i)
            n += std::regex_match(lines[i], line) ? 1 : 0;
        return n;
    }

    test_support::TempDir m_registryDir;
    test_support::ScopedEnv m_registry{"QV_REGISTRY", m_registryDir.Path() + "/registry.reg"};
    test_support::ScopedEnv m_noDriverSocket{"QV_DRIVER_BAR1", ""};
    std::optional<sim::Simulator> m_sim;
    std::optional<test_support::ScopedEnv> m_port;
    size_t m_framesBefore = 0;
    size_t m_linesBefore = 0;
};

TEST_F(OnTheSimulator, DetailMemberSetQueriesSendsTheRecordAndRewritesTheFile) {
    ASSERT_EQ(QVImagerSetCode93Setting(3), 1);

    const auto queries = Received(kSetupQuery);
    const auto setups = Received(kSetupCommand);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].payload.size(), 148u);
    ASSERT_EQ(setups.size(), 1u);
    ASSERT_EQ(setups[0].payload.size(), 216u);
    EXPECT_THAT(Bytes(setups[0].payload.begin() + 48, setups[0].payload.begin() + 51),
                ElementsAre(0x41, 0x61, 0x03));
    EXPECT_EQ(m_sim->Parameter(0x41, 0x61), 3);

    EXPECT_EQ(ByteLogLines(), 216u);
    EXPECT_EQ(m_log.Count("[000] 0x53"), 1u);
    const Bytes file = FileBytes("BarcodeRO25Detail.dat");
    ASSERT_EQ(file.size(), 288u);
    DetailRecord stored;
    std::memcpy(&stored, file.data(), sizeof stored);
    EXPECT_EQ(stored.Code93_1, 3);

    int32_t back = 0;
    ASSERT_EQ(QVImagerGetCode93Setting(&back), 1);
    EXPECT_EQ(back, 3);
}

TEST_F(OnTheSimulator, CharacterOptionsAndOverlongValuesRoundTrip) {
    ASSERT_EQ(QVImagerSetTLC39Setting(2, 0x41), 1);
    EXPECT_EQ(m_sim->Parameter(0x4E, 0x47), 0x41);
    int32_t v = 0;
    char c = 0;
    ASSERT_EQ(QVImagerGetTLC39Setting(&v, &c), 1);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(c, 0x41);

    ASSERT_EQ(QVImagerSetBPOSetting(300), 1);
    EXPECT_EQ(m_sim->Parameter(0x32, 0x54), 44);
    ASSERT_EQ(QVImagerGetBPOSetting(&v), 1);
    EXPECT_EQ(v, 44);

    ASSERT_EQ(QVImagerSetSecurtyLevel(3), 1);
    ASSERT_EQ(QVImagerGetSecurtyLevel(&v), 1);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(FileBytes("BarcodeRO25Other.dat").size(), 100u);
}

TEST_F(OnTheSimulator, EnableSwitches) {
    ASSERT_EQ(QVImagerSetALLSymboleEnable(0), 1);
    EXPECT_TRUE(Received(kSetupQuery).empty());
    auto setups = Received(kSetupCommand);
    ASSERT_EQ(setups.size(), 1u);
    ASSERT_EQ(setups[0].payload.size(), 123u);
    for (size_t i = 2; i < 123; i += 3)
        EXPECT_EQ(setups[0].payload[i], 0);

    ASSERT_EQ(QVImagerSetSymboleEnable(45, 1), 1);
    setups = Received(kSetupCommand);
    ASSERT_EQ(setups.size(), 2u);
    EXPECT_THAT(setups[1].payload, ElementsAre(0x4B, 0x4C, 0x01));
    int32_t value = -1;
    ASSERT_EQ(QVImagerGetSymboleEnable(45, &value), 1);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(QVImagerGetSymboleEnable(QV_SYM_CODE39, &value), 1);
    EXPECT_EQ(value, 0);

    ASSERT_EQ(QVImagerSetSymboleEnable(5, 1), 1);
    setups = Received(kSetupCommand);
    ASSERT_EQ(setups.size(), 3u);
    EXPECT_TRUE(setups[2].payload.empty());
    const size_t queriesBefore = Received(kSetupQuery).size();
    value = 77;
    EXPECT_EQ(QVImagerGetSymboleEnable(5, &value), -1);
    EXPECT_EQ(Received(kSetupQuery).size(), queriesBefore + 1);
    EXPECT_EQ(value, 77);

    EnableRecord record{};
    ASSERT_EQ(QVImagerGetSymboleEnableByStruct(&record), 1);
    EXPECT_EQ(record.UPC_E1_ENABLE, 1);
    EXPECT_EQ(FileBytes("BarcodeRO25Enable.dat").size(), 164u);
}

TEST_F(OnTheSimulator, NakToASetupStillCountsAndRewritesTheFile) {
    sim::Faults faults;
    faults.nakReason = 0x40;
    faults.commandsAffected = 1;
    m_sim->SetFaults(faults);
    OtherRecord record{};
    record.AEC_AREA = 4;
    EXPECT_EQ(QVImagerSetOtherSettingByStruct(record), 1);
    const Bytes file = FileBytes("BarcodeRO25Other.dat");
    ASSERT_EQ(file.size(), 100u);
    EXPECT_EQ(file[8], 4);
}

TEST_F(OnTheSimulator, SilentEngineFailsTheSetAfterTheTimeOutAndSendsNoSetup) {
    sim::Faults faults;
    faults.silent = true;
    m_sim->SetFaults(faults);
    const uint32_t start = platform::GetTickCount();
    EXPECT_EQ(QVImagerSetAztecSetting(1, 2, 3, 4), -1);
    const uint32_t elapsed = platform::GetTickCount() - start;
    EXPECT_GE(elapsed, 3000u);
    EXPECT_LT(elapsed, 10000u);  // generous: a loaded machine
    EXPECT_TRUE(Received(kSetupCommand).empty());
    std::vector<std::string> failures;
    for (const std::string& l : m_log.Lines()) {
        if (l == "TIME OUT!!!!" || l == "SERAIL : WaitResponse Fail" ||
            l == "Get BARCODE Setting Fail") {
            failures.push_back(l);
        }
    }
    EXPECT_THAT(failures, ElementsAre("TIME OUT!!!!", "SERAIL : WaitResponse Fail",
                                      "Get BARCODE Setting Fail"));
    EXPECT_FALSE(FileExists("BarcodeRO25Detail.dat"));
}

TEST_F(OnTheSimulator, InitialisationAndFactoryResetLeaveTheFilesAlone) {
    // A fresh engine has its factory characters: the open asked three times
    // and initialised it.
    EXPECT_EQ(m_log.Count("IsInit is success"), 0u);
    EXPECT_EQ(IsInit(Port()), 1);
    EXPECT_EQ(m_log.Count("IsInit is success"), 1u);

    ASSERT_EQ(QVImagerSetCode39Setting(1, 0, 1, 0), 1);
    const Bytes detail = FileBytes("BarcodeRO25Detail.dat");
    const size_t setupsBefore = Received(kSetupCommand).size();

    ASSERT_EQ(QVImagerFactoryReset(), 1);
    const auto resets = Received(kResetCommand);
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_THAT(resets[0].payload, ElementsAre(0x30, 0x40, 0x00, 0x40, 0x06));
    const auto setups = Received(kSetupCommand);
    ASSERT_EQ(setups.size(), setupsBefore + 1);
    EXPECT_EQ(setups.back().payload.size(), 369u);
    EXPECT_EQ(IsInit(Port()), 1);
    EXPECT_EQ(FileBytes("BarcodeRO25Detail.dat"), detail);
    EXPECT_FALSE(FileExists("BarcodeRO25Enable.dat"));

    ASSERT_EQ(QVImagerTestCommand(), 1);
    EXPECT_THAT(Received(kSetupCommand).back().payload, ElementsAre(0x70, 0x40, 0x02));
}

// The version reply comes after its command gave up, while the next
// command (a Set's query of the Detail record) waits: it answers nothing,
// and the Set sends the engine's own values back with only Code 39's
// options changed.
TEST_F(OnTheSimulator, ALateReplyNeverAnswersTheNextCommand) {
    const std::vector<sim::Entry> before = m_sim->Parameters();
    sim::Faults faults;
    faults.replyDelayMs = 3100;
    faults.commandsAffected = 1;
    m_sim->SetFaults(faults);
    char16_t fw[256], boot[256], hw[256];
    QVImagerGetVersion(fw, boot, hw);
    ASSERT_EQ(QVImagerSetCode39Setting(1, 0, 1, 0), 1);
    for (int i = 0; i < 200 && m_log.Count("<== STATUS_REPLY") == 0; ++i)
        platform::Sleep(50);
    ASSERT_EQ(m_log.Count("<== STATUS_REPLY"), 1u);
    EXPECT_EQ(m_log.Count("TIME OUT!!!!"), 1);
    size_t changed = 0;
    for (const sim::Entry& e : m_sim->Parameters()) {
        for (const sim::Entry& b : before)
            changed += b.group == e.group && b.parameter == e.parameter && b.value != e.value;
    }
    EXPECT_LE(changed, 4u);  // Code 39's own options at most
    EXPECT_EQ(m_log.Count("<== REPLY DROPPED: it does not answer the waiting command") +
                  m_log.Count("<== REPLY DROPPED: no command waits for it"),
              1u);
}

TEST_F(OnTheSimulator, VersionTextsComeFromTheEngine) {
    m_sim->SetVersions("FW 9.8.7", "BOOT 0.1", "HW rev Z");
    char16_t fw[256], boot[256], hw[256];
    ASSERT_EQ(QVImagerGetVersion(fw, boot, hw), 1);
    EXPECT_EQ(std::u16string(fw), u"FW 9.8.7");
    EXPECT_EQ(std::u16string(boot), u"BOOT 0.1");
    EXPECT_EQ(std::u16string(hw), u"HW rev Z");
}

TEST_F(OnTheSimulator, ShortEnableFileIsAppliedWholeAtOpenAndRewrittenAtItsSize) {
    ASSERT_EQ(QVImagerClose(), 1);
    Bytes image(100, 0);
    for (size_t slot = 0; slot < 25; ++slot)
        image[4 * slot] = 1;
    WriteFile("BarcodeRO25Enable.dat", image);
    Open();
    EXPECT_EQ(m_sim->Parameter(0x34, 0x40), 1);  // slot 0
    EXPECT_EQ(m_sim->Parameter(0x5A, 0x40), 1);  // slot 24, Han Xin
    EXPECT_EQ(m_sim->Parameter(0x39, 0x40), 0);  // slot 25, Infomail
    const Bytes file = FileBytes("BarcodeRO25Enable.dat");
    ASSERT_EQ(file.size(), 164u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 100), image);
}

}  // namespace
}  // namespace qv

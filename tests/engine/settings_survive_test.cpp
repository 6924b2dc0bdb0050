// Settings as they outlive a session: what one session saves is what the
// next open applies, and an open that changes nothing writes nothing.
#include <filesystem>

#include <chrono>
#include <optional>
#include <vector>

#include "imager_fixture.h"
#include "link/frame.h"
#include "symbology/symbology_table.h"

namespace engine_test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFiles[] = {"BarcodeRO25Enable.dat", "BarcodeRO25Detail.dat",
                                  "BarcodeRO25Other.dat"};

std::vector<std::optional<uint16_t>> EnableFlags(const qv::sim::Simulator& sim) {
    std::vector<std::optional<uint16_t>> flags;
    for (const qv::EnableSlot& slot : qv::kEnableSlots)
        flags.push_back(sim.Parameter(slot.group, slot.param));
    return flags;
}

TEST_F(ImagerScenario, OneFlagSetOnAFreshInstallKeepsEveryOtherFlagAcrossAReopen) {
    ASSERT_EQ(QVImagerOpen(), 1);
    std::vector<std::optional<uint16_t>> expected = EnableFlags(*m_sim);
    // A number that names no symbology saves nothing.
    ASSERT_EQ(QVImagerSetSymboleEnable(5, 1), 1);
    EXPECT_FALSE(fs::exists(SettingsFile(kFiles[0])));

    ASSERT_EQ(QVImagerSetSymboleEnable(QV_SYM_QR, 1), 1);
    ASSERT_EQ(QVImagerClose(), 1);
    ASSERT_TRUE(fs::exists(SettingsFile(kFiles[0])));
    ASSERT_EQ(QVImagerOpen(), 1);
    expected[qv::FindEnableSlot(QV_SYM_QR)] = 1;
    EXPECT_EQ(EnableFlags(*m_sim), expected);
    EXPECT_EQ(m_sim->Parameter(0x42, 0x40), 1);  // Code 39, on at the factory
}

TEST_F(ImagerScenario, MacroPdfChangeSurvivesAReopenWithBothFilesPresent) {
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerSetPDF417Setting(2, 1, 0), 1);  // writes the Detail file, MacroPDF on
    ASSERT_EQ(QVImagerSetSymboleEnable(71, 0), 1);    // MacroPDF off after it
    ASSERT_EQ(QVImagerClose(), 1);
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(m_sim->Parameter(0x4C, 0x41), 0);

    // And the other way round: the Detail setter after the flag.
    ASSERT_EQ(QVImagerSetPDF417Setting(2, 1, 0), 1);
    ASSERT_EQ(QVImagerClose(), 1);
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(m_sim->Parameter(0x4C, 0x41), 1);
    int32_t a = 0, b = 0, c = 0;
    ASSERT_EQ(QVImagerGetPDF417Setting(&a, &b, &c), 1);
    EXPECT_EQ(a, 2);
}

TEST_F(ImagerScenario, OpenWhoseRecordsTheEngineAcceptsUnchangedWritesNoFile) {
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerSetALLSymboleEnable(1), 1);
    ASSERT_EQ(QVImagerSetCode39Setting(1, 0, 1, 0), 1);
    ASSERT_EQ(QVImagerSetSecurtyLevel(2), 1);
    ASSERT_EQ(QVImagerClose(), 1);
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (const char* name : kFiles)
        fs::last_write_time(SettingsFile(name), past);

    const size_t setups = Received(qv::kTypeSetupCommand);
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_GE(Received(qv::kTypeSetupCommand), setups + 3);  // all three applied
    for (const char* name : kFiles)
        EXPECT_EQ(fs::last_write_time(SettingsFile(name)), past) << name;
}

}  // namespace
}  // namespace engine_test

#include "symbology/settings_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <numeric>

#include "platform/storage/files.h"
#include "symbology/settings_test_support.h"

namespace qv {
namespace {

using symbology_test::Bytes;

Bytes Counting(size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), uint8_t{1});
    return b;
}

class SettingsFiles : public symbology_test::SettingsFixture {};

TEST(SettingDirectory, IsTheExecutablesDirectoryUnlessOverridden) {
    const std::u16string dir = GetSettingDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), u'/');
    EXPECT_EQ(dir, platform::ApplicationDirectory());
    SetSettingDirectoryOverride(u"/somewhere/else/");
    EXPECT_EQ(GetSettingDirectory(), u"/somewhere/else/");
    SetSettingDirectoryOverride(std::nullopt);
    EXPECT_EQ(GetSettingDirectory(), dir);
}

TEST_F(SettingsFiles, MissingFileLoadsNothingButIsLogged) {
    EnableRecord record;
    std::memset(&record, 0x77, sizeof record);
    EXPECT_EQ(LoadEnableSetting(record), 0);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&record)[0], 0x77);
    DetailRecord detail{};
    OtherRecord other{};
    EXPECT_EQ(LoadDetailSetting(detail), 0);
    EXPECT_EQ(LoadOtherSetting(other), 0);
    EXPECT_EQ(m_log.Lines(),
              (std::vector<std::string>{"Get Enable Setting : " + PathOf("BarcodeRO25Enable.dat"),
                                        "Get Detail Setting : " + PathOf("BarcodeRO25Detail.dat"),
                                        "Get Other Setting : " + PathOf("BarcodeRO25Other.dat")}));
    EXPECT_TRUE(DirectoryEntries().empty());
}

TEST_F(SettingsFiles, ShortFileFillsTheStartAndLongFileGivesItsFirstBytes) {
    WriteFile("BarcodeRO25Enable.dat", Counting(100));
    EnableRecord record{};
    ASSERT_EQ(LoadEnableSetting(record), 1);
    EXPECT_EQ(std::memcmp(&record, Counting(100).data(), 100), 0);
    EXPECT_EQ(record.INFOMAIL_ENABLE, 0);  // slot 25 on: zero, as the caller left it
    EXPECT_EQ(record.UPC_E1_ENABLE, 0);

    WriteFile("BarcodeRO25Enable.dat", Counting(200));
    ASSERT_EQ(LoadEnableSetting(record), 1);
    EXPECT_EQ(std::memcmp(&record, Counting(164).data(), 164), 0);
}

TEST_F(SettingsFiles, SaveWritesTheRecordImageIncludingCharacterSlotFiller) {
    SymbologySettings store;
    std::memcpy(&store.m_detail, Counting(288).data(), 288);
    SaveDetailSetting(store);
    EXPECT_EQ(FileBytes("BarcodeRO25Detail.dat"), Counting(288));
    std::memcpy(&store.m_other, Counting(100).data(), 100);
    SaveOtherSetting(store);
    EXPECT_EQ(FileBytes("BarcodeRO25Other.dat"), Counting(100));
    DetailRecord back{};
    ASSERT_EQ(LoadDetailSetting(back), 1);
    EXPECT_EQ(std::memcmp(&back, &store.m_detail, 288), 0);
    EXPECT_EQ(m_log.Count("Set Other Setting : " + PathOf("BarcodeRO25Other.dat")), 1u);
}

TEST_F(SettingsFiles, FileHeldByAnotherOpenerIsNeitherLoadedNorOverwritten) {
    WriteFile("BarcodeRO25Enable.dat", Counting(164));
    {
        // Another application loading the same file at the same moment
        // does not keep this one from loading it too, nor from its save of
        // what it just applied.
        platform::File otherLoad = platform::File::OpenForReadingUtf8(
            PathOf("BarcodeRO25Enable.dat"), platform::FileShare::Read);
        ASSERT_TRUE(otherLoad.IsOpen());
        SymbologySettings loaded;
        ASSERT_EQ(LoadEnableSetting(loaded.m_enable), 1);
        EXPECT_EQ(std::memcmp(&loaded.m_enable, Counting(164).data(), 164), 0);
        SaveEnableSetting(loaded);
        EXPECT_EQ(FileBytes("BarcodeRO25Enable.dat"), Counting(164));
    }
    platform::File holder = platform::File::OpenForReadingUtf8(PathOf("BarcodeRO25Enable.dat"),
                                                               platform::FileShare::None);
    ASSERT_TRUE(holder.IsOpen());
    EnableRecord record{};
    EXPECT_EQ(LoadEnableSetting(record), 0);
    EXPECT_EQ(record.AZTEC_ENABLE, 0);

    SymbologySettings store;
    SaveEnableSetting(store);
    holder.Close();
    EXPECT_EQ(FileBytes("BarcodeRO25Enable.dat"), Counting(164));
    EXPECT_EQ(m_log.Count("Set Enable Setting : " + PathOf("BarcodeRO25Enable.dat")), 2u);
    for (const std::string& line : m_log.Lines())
        EXPECT_FALSE(line.starts_with("File Exception"));
}

TEST_F(SettingsFiles, SaveThatFailsMidWayLeavesThePreviousFileWhole) {
    WriteFile("BarcodeRO25Detail.dat", Counting(288));
    SymbologySettings store;
    store.m_detail.Aztec_1 = 0x5555;
    // Files may not grow past 250 bytes: the new 288-byte image cannot be
    // written (this holds for root as well).
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 250;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    SaveDetailSetting(store);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(FileBytes("BarcodeRO25Detail.dat"), Counting(288));
    // No temporary file is left behind.
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"BarcodeRO25Detail.dat"});
    bool named = false;
    for (const std::string& line : m_log.Lines())
        named |= line.starts_with("File Exception [");
    EXPECT_TRUE(named);
}

}  // namespace
}  // namespace qv

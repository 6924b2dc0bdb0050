// A fixture for the settings operations: the settings files go to a
// temporary directory, the log to a file, and waits run twenty times
// faster.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/text/utf.h"
#include "symbology/log_capture.h"
#include "symbology/scripted_engine.h"
#include "symbology/settings_files.h"
#include "test_support/temp_dir.h"

namespace symbology_test {

class SettingsFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        qv::platform::SetClockScale(0.05);
        qv::SetSettingDirectoryOverride(qv::platform::Utf8ToUtf16(m_dir.Path() + "/"));
    }
    void TearDown() override {
        qv::SetSettingDirectoryOverride(std::nullopt);
        qv::platform::SetClockScale(1.0);
    }

    std::string PathOf(const char* name) const { return m_dir.Path() + "/" + name; }

    Bytes FileBytes(const char* name) const {
        std::ifstream in(PathOf(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    bool FileExists(const char* name) const { return std::filesystem::exists(PathOf(name)); }
    void WriteFile(const char* name, const Bytes& bytes) const {
        std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::string> DirectoryEntries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_dir.Path())) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

    test_support::TempDir m_dir;
    LogCapture m_log;
};

}  // namespace symbology_test

// An application's view for end-to-end tests: the library's exports against
// the engine simulator on a real pseudo-terminal, with a private registry,
// private settings files and the debug output captured.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "QV_Rizoviv2I_RO25.h"
#include "link/frame.h"
#include "platform/core/clock.h"
#include "platform/power_notify/power_notify.h"
#include "platform/text/utf.h"
#include "sim/simulator.h"
#include "symbology/settings_files.h"
#include "test_support/log_capture.h"
#include "test_support/temp_dir.h"

namespace engine_test {

// Waits are scaled so a scenario of several opens takes a fraction of a second.
inline constexpr double kClockScale = 0.05;

template <class Pred>
bool Eventually(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

class ImagerScenario : public ::testing::Test {
  protected:
    void SetUp() override {
        qv::platform::SetClockScale(kClockScale);
        ::unsetenv("QV_DRIVER_BAR1");
        ::unsetenv("QV_POWER_NOTIFY");
        qv::SetSettingDirectoryOverride(qv::platform::Utf8ToUtf16(m_dir.Path() + "/"));
        StartSimulator();
    }

    void TearDown() override {
        QVImagerClose();
        if (m_sim) m_sim->Stop();
        qv::SetSettingDirectoryOverride(std::nullopt);
        qv::platform::SetClockScale(1.0);
    }

    virtual qv::sim::Simulator::Options SimulatorOptions() {
        qv::sim::Simulator::Options options;
        options.engine.decodeMs = 20;
        options.driverSocket = false;
        options.powerSocket = false;
        return options;
    }

    void StartSimulator() {
        m_sim = std::make_unique<qv::sim::Simulator>(SimulatorOptions());
        std::string error;
        ASSERT_TRUE(m_sim->Start(&error)) << error;
        ::setenv("QV_PORT_COM2", m_sim->SlavePath().c_str(), 1);
    }

    std::string SettingsFile(const std::string& name) const { return m_dir.Path() + "/" + name; }

    size_t Received(uint8_t type) const { return m_sim->CountReceived(type); }

    test_support::TempDir m_dir;
    test_support::ScopedEnv m_registry{"QV_REGISTRY", m_dir.Path() + "/registry.reg"};
    test_support::LogCapture m_log;
    std::unique_ptr<qv::sim::Simulator> m_sim;
};

}  // namespace engine_test

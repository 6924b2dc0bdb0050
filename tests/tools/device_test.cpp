// The built qvimager against a device of this test process: an engine that
// another process already owns, and an engine on a bench without a driver.
#include <gtest/gtest.h>

#include <optional>

#include "QV_Rizoviv2I_RO25.h"
#include "platform/core/clock.h"
#include "platform/text/utf.h"
#include "sim/simulator.h"
#include "symbology/settings_files.h"
#include "test_support/log_capture.h"
#include "tests/tools/program_runner.h"

namespace tools_test {
namespace {

std::vector<uint8_t> Value(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

TEST(Device, ASecondProcessCannotTakeOrSwitchOffAnEngineInUse) {
    qv::sim::Simulator::Options options;
    options.registerDriver = false;
    options.powerSocket = false;
    qv::sim::Simulator device(options);
    ASSERT_TRUE(device.Start());
    test_support::TempDir dir;
    test_support::LogCapture log;
    test_support::ScopedEnv registry("QV_REGISTRY", dir.Path() + "/registry.reg");
    test_support::ScopedEnv port("QV_PORT_COM2", device.SlavePath());
    test_support::ScopedEnv driver("QV_DRIVER_BAR1", "unix:" + device.DriverSocketPath());
    qv::SetSettingDirectoryOverride(qv::platform::Utf8ToUtf16(dir.Path() + "/"));
    qv::platform::SetClockScale(0.1);
    ASSERT_EQ(QVImagerOpen(), 1) << log.Text();

    Program qvimager;
    qvimager.SetEnv("QV_PORT_COM2", device.SlavePath());
    qvimager.SetEnv("QV_DRIVER_BAR1", "unix:" + device.DriverSocketPath());
    qvimager.SetEnv("QV_DEBUG_OUTPUT", "stderr");
    const Result second = qvimager.Run({"version"});
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(Contains(second.err, "BAR1: is already open in another process")) << second.err;

    EXPECT_TRUE(device.Lines().power) << "the first process's engine stays powered";
    int32_t enabled = -1;
    EXPECT_EQ(QVImagerGetSymboleEnable(QV_SYM_CODE39, &enabled), 1);
    EXPECT_EQ(QVImagerClose(), 1);
    qv::platform::SetClockScale(1.0);
    qv::SetSettingDirectoryOverride(std::nullopt);
}

TEST(Device, ABenchEngineWithoutADriverScans) {
    // Powered all the time and awake whenever spoken to, as on a desk.
    qv::sim::Simulator::Options options;
    options.registerDriver = false;
    options.driverSocket = false;
    options.powerSocket = false;
    options.engine.requireWake = false;
    options.engine.decodeMs = 300;
    qv::sim::Simulator device(options);
    ASSERT_TRUE(device.Start());
    device.DriverRequest(2, Value(1), {});  // the supply, switched on by hand

    Program qvimager;
    qvimager.SetEnv("QV_PORT_COM2", device.SlavePath());
    qvimager.SetEnv("QV_DRIVER_BAR1", "none");
    qvimager.SetEnv("QV_DEBUG_OUTPUT", "stderr");
    bool pressed = false;
    const Result r = qvimager.Run(
        {"scan", "--count", "1", "--timeout", "10"},
        [&](pid_t, const std::string& out) {
            if (pressed || !Contains(out, "scanning (")) return;
            // Nobody switches the trigger line: the person at the desk does.
            pressed = true;
            device.DriverRequest(7, Value(6), {});
            device.QueueBarcode(QV_SYM_CODE39, "DESK-1");
        },
        std::chrono::seconds(30));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "\"DESK-1\"")) << r.out;
    EXPECT_TRUE(Contains(r.err, "QV_DRIVER_BAR1=none: the engine's lines are not switched"))
        << r.err;
}

}  // namespace
}  // namespace tools_test

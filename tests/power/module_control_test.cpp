#include "power/module_control.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "platform/core/clock.h"
#include "platform/text/utf.h"
#include "power/driver_test_support.h"
#include "test_support/temp_dir.h"

namespace qv {
namespace {

using test_support::FakePowerDriver;
using test_support::Le32;
using test_support::RecordedRequest;
using test_support::ScopedEnv;
using test_support::SocketDriverServer;
using test_support::TempDir;
using Requests = std::vector<RecordedRequest>;

using test_support::ReadFile;

size_t Count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

RecordedRequest Set(uint32_t code, uint32_t value) {
    return {code, Le32({value}), {}};
}
RecordedRequest SetLineReq(uint32_t id, uint32_t level) {
    return {1, Le32({id, level}), {}};
}
const RecordedRequest kQueryPower{3, {}, Le32({0})};
const RecordedRequest kReadPowerLine{2, {}, Le32({LINE_POWER, 1})};

TEST(ModelClass, FirstSubstringInTableOrderDecides) {
    struct Case {
        const char16_t* name;
        int32_t expected;
    };
    for (const Case c : {
             Case{u"PL21-A", 3},       // contains "PL2" too, but "PL21" is tried first
             Case{u"XPL2-B", 1},       // anywhere in the name
             Case{u"QV4100N-EX2", 2},  // further characters after the model
             Case{u"PL4", 2},
             Case{u"PL9", 3},
             Case{u"PL6-2", 4},
             Case{u"PL6PL4", 2},  // table order, not position, decides
             Case{u"pl21", -1},   // case-sensitive
             Case{u"qv4100n", -1},
             Case{u"PL", -1},
             Case{u"", -1},
         }) {
        EXPECT_EQ(ModelClassFromName(c.name), c.expected) << platform::Utf16ToUtf8(c.name);
    }
}

TEST(ModelClass, DetectedFromTheRegistry) {
    TempDir dir;
    const std::string path = dir.Path() + "/registry.reg";
    ScopedEnv env("QV_REGISTRY", path);
    auto detect = [&](const std::string& body) {
        std::ofstream(path, std::ios::trunc) << "Windows Registry Editor Version 5.00\n\n" << body;
        return ModuleControl::DetectModelClass();
    };
    const std::string key = "[HKEY_LOCAL_MACHINE\\Ident]\n";
    EXPECT_EQ(detect("[HKEY_LOCAL_MACHINE\\Other]\n\"OrigName\"=\"PL9\"\n"), -1) << "no key";
    EXPECT_EQ(detect(key + "\"Name\"=\"PL9\"\n"), -1) << "no value";
    EXPECT_EQ(detect(key + "\"OrigName\"=\"PL9\"\n"), 3);
    EXPECT_EQ(ModuleControl().m_modelClass, 3) << "detected when the object is created";
    // 29 characters and the terminator fill the 60 bytes; one more does not fit.
    EXPECT_EQ(detect(key + "\"OrigName\"=\"" + std::string(26, 'x') + "PL6\"\n"), 4);
    EXPECT_EQ(detect(key + "\"OrigName\"=\"" + std::string(27, 'x') + "PL6\"\n"), -1);
    EXPECT_EQ(detect(key + "\"OrigName\"=dword:00000000\n"), -1) << "type is not checked";
}

// A power driver registered in-process, or the same driver behind the
// socket binding; the debug output and the trace go to files.
class ModuleControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("QV_DRIVER_BAR1");
        platform::RegisterDriver("BAR1:", m_driver);
        platform::SetClockScale(0.1);
    }
    void TearDown() override {
        platform::UnregisterDriver("BAR1:");
        platform::SetClockScale(1.0);
    }

    // Serves the fake driver over a socket and binds "BAR1:" to it.
    void UseSocket() {
        m_server.emplace(m_dir.Path() + "/bar1.sock", *m_driver);
        m_binding.emplace("QV_DRIVER_BAR1", "unix:" + m_dir.Path() + "/bar1.sock");
    }
    std::string Log() const { return ReadFile(m_dir.Path() + "/debug.txt"); }
    std::string Trace() const { return ReadFile(m_dir.Path() + "/trace.txt"); }

    TempDir m_dir;
    ScopedEnv m_debug{"QV_DEBUG_OUTPUT", m_dir.Path() + "/debug.txt"};
    ScopedEnv m_trace{"QV_PLATFORM_TRACE", m_dir.Path() + "/trace.txt"};
    std::shared_ptr<FakePowerDriver> m_driver = std::make_shared<FakePowerDriver>();
    std::optional<SocketDriverServer> m_server;
    std::optional<ScopedEnv> m_binding;
};

TEST_F(ModuleControlTest, DriverThatCannotBeOpenedLeavesNothingToSwitch) {
    platform::UnregisterDriver("BAR1:");
    ModuleControl module(-1);
    EXPECT_EQ(module.OpenDriver(), 0);
    EXPECT_EQ(module.m_hBAR, nullptr);
    EXPECT_NE(Log().find("[RO25]INVALID_HANDLE_VALUE Error...\r\n"), std::string::npos);

    // What a failed open does next: both report nothing done, without a request.
    int32_t status = 7;
    EXPECT_EQ(module.BarcodeModuleGetPower(&status), 0);
    EXPECT_EQ(module.SetModulePower(0), 0);
    EXPECT_EQ(module.CloseDriver(), 1);
    EXPECT_EQ(Log().find("bRes"), std::string::npos);
}

TEST_F(ModuleControlTest, OpenDriverRestartsTheFrameNumber) {
    ModuleControl module(-1);
    module.m_frameNo = 5;
    EXPECT_EQ(module.OpenDriver(), 1);
    EXPECT_EQ(module.m_frameNo.load(), 0u);
    EXPECT_EQ(module.CloseDriver(), 1);
    EXPECT_EQ(module.m_hBAR, nullptr);
}

// The sequences are the same whether the driver lives in this process or
// behind the socket binding.
class PowerSequence : public ModuleControlTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        ModuleControlTest::SetUp();
        if (GetParam()) UseSocket();
    }
};

TEST_P(PowerSequence, DedicatedRequestsWhenNoModelIsKnown) {
    ModuleControl module(-1);
    ASSERT_EQ(module.OpenDriver(), 1);

    EXPECT_NE(module.SetModulePower(1), 0);
    EXPECT_EQ(m_driver->Requests(), (Requests{kQueryPower, Set(7, 7), Set(2, 1), kQueryPower}));
    EXPECT_EQ(Count(Log(), "[RO25]PW ON!!!\r\n"), 1u);
    EXPECT_EQ(Count(Log(), "[RO25][BarcodeModuleGetPower] ...status : 0, m_hBAR : "), 1u);
    EXPECT_EQ(Count(Log(), "[RO25][BarcodeModuleGetPower] ...status : 1, m_hBAR : "), 1u);
    EXPECT_EQ(Count(Log(), "[RO25][BarcodeModuleGetPower] ...bRes : 1\r\n"), 2u);

    m_driver->ClearRequests();
    EXPECT_NE(module.SetModulePower(0), 0);
    EXPECT_EQ(m_driver->Requests(), (Requests{kQueryPower, Set(2, 0), Set(7, 6), kQueryPower}));

    m_driver->ClearRequests();
    module.WakePulse();
    EXPECT_EQ(module.SetWakeLine(1), 1);
    EXPECT_EQ(m_driver->Requests(), (Requests{Set(6, 5), Set(6, 4), Set(6, 5)}));
}

TEST_P(PowerSequence, LineRecordsForClassThree) {
    ModuleControl module(3);
    ASSERT_EQ(module.OpenDriver(), 1);

    EXPECT_NE(module.SetModulePower(1), 0);
    EXPECT_EQ(m_driver->Requests(), (Requests{kReadPowerLine, SetLineReq(LINE_TRIGGER, 1),
                                              SetLineReq(LINE_POWER, 1), kReadPowerLine}));
    // The line interface logs only the driver result.
    EXPECT_EQ(Count(Log(), "status :"), 0u);
    EXPECT_EQ(Count(Log(), "[RO25][BarcodeModuleGetPower] ...bRes : 1\r\n"), 2u);
    EXPECT_EQ(Count(Log(), "[RO25]PW ON!!!\r\n"), 1u);

    m_driver->ClearRequests();
    EXPECT_NE(module.SetModulePower(0), 0);
    EXPECT_EQ(m_driver->Requests(), (Requests{kReadPowerLine, SetLineReq(LINE_POWER, 0),
                                              SetLineReq(LINE_TRIGGER, 0), kReadPowerLine}));

    m_driver->ClearRequests();
    module.WakePulse();
    EXPECT_EQ(m_driver->Requests(), (Requests{SetLineReq(LINE_WAKE, 1), SetLineReq(LINE_WAKE, 0)}));

    // Only the level's low byte counts.
    m_driver->Change([](auto& s) { s.stuckStatus = 0x101; });
    int32_t status = 0;
    EXPECT_EQ(module.BarcodeModuleGetPower(&status), 1);
    EXPECT_EQ(status, 1);
}

INSTANTIATE_TEST_SUITE_P(Binding, PowerSequence, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Socket" : "InProcess"; });

TEST_F(ModuleControlTest, SupplyAlreadyInTheRequestedStateIsLeftAlone) {
    for (const int32_t modelClass : {-1, 4}) {
        ModuleControl module(modelClass);
        ASSERT_EQ(module.OpenDriver(), 1);
        for (const int32_t state : {1, 0}) {
            m_driver->Change([&](auto& s) { s.power = state; });
            m_driver->ClearRequests();
            EXPECT_NE(module.SetModulePower(state), 0);
            EXPECT_EQ(m_driver->Requests().size(), 1u) << "class " << modelClass;
        }
    }
}

// A failed open switches off only a supply it switched on itself.
TEST_F(ModuleControlTest, FailedOpenLeavesOnASupplyThatWasOnAlready) {
    for (const int32_t before : {1, 0}) {
        SCOPED_TRACE(before);
        ModuleControl module(-1);
        ASSERT_EQ(module.OpenDriver(), 1);
        m_driver->Change([&](auto& s) { s.power = before; });
        EXPECT_NE(module.SetModulePower(1), 0);
        module.PowerOffAfterFailedOpen();
        int32_t after = -1;
        module.BarcodeModuleGetPower(&after);
        EXPECT_EQ(after, before);
    }
}

// What the module drove it takes back before the lines go, whatever the
// status input says: a supply monitor that never comes up, or one that
// dropped while the engine was open.
TEST_F(ModuleControlTest, WhatWasDrivenIsSwitchedOffWhateverTheStatusReads) {
    platform::SetClockScale(0.02);
    struct Case {
        const char* name;
        int32_t powerAtOpen;  // the supply before the module switches anything
        bool statusComesUp;
        bool failedOpen;
    };
    for (const Case& c : {Case{"status never comes up, failed open", 0, false, true},
                          Case{"status dropped before the close", 0, true, false},
                          Case{"on before the open, dropped, trigger driven", 1, true, false}}) {
        SCOPED_TRACE(c.name);
        ModuleControl module(-1);
        ASSERT_EQ(module.OpenDriver(), 1);
        m_driver->Change([&](auto& s) {
            s.power = c.powerAtOpen;
            s.trigger = 0;
            if (!c.statusComesUp) s.stuckStatus = 0;
        });
        EXPECT_EQ(module.SetModulePower(1) != 0, c.statusComesUp);
        if (c.failedOpen) {
            module.PowerOffAfterFailedOpen();
        } else {
            module.SetTriggerLine(1);
            m_driver->Change([](auto& s) { s.stuckStatus = 0; });
            m_driver->ClearRequests();
            EXPECT_NE(module.SetModulePower(0), 0);
            EXPECT_EQ(m_driver->Requests(),
                      (Requests{kQueryPower, Set(2, 0), Set(7, 6), kQueryPower}));
        }
        EXPECT_EQ(m_driver->Snapshot().power, 0);
        EXPECT_EQ(m_driver->Snapshot().trigger, 0);
        // Nothing driven is left: a second switch-off has nothing to do.
        m_driver->ClearRequests();
        EXPECT_NE(module.SetModulePower(0), 0);
        EXPECT_EQ(m_driver->Requests(), (Requests{kQueryPower}));
        m_driver->Change([](auto& s) { s.stuckStatus.reset(); });
    }
}

TEST_F(ModuleControlTest, PowerUpPollsUntilTheStatusIsExactlyOne) {
    ModuleControl module(-1);
    ASSERT_EQ(module.OpenDriver(), 1);
    m_driver->Change([](auto& s) { s.script = {0, 0, 2, 0}; });  // first one: before switching
    EXPECT_NE(module.SetModulePower(1), 0);
    EXPECT_EQ(Count(Log(), "[RO25]PW Off!!!\r\n"), 3u);
    EXPECT_EQ(Count(Log(), "[RO25]PW ON!!!\r\n"), 1u);
    EXPECT_EQ(Count(Log(), "bRes"), 5u);
}

TEST_F(ModuleControlTest, FailedPowerQueryEndsTheSequence) {
    ModuleControl module(-1);
    ASSERT_EQ(module.OpenDriver(), 1);
    m_driver->Change([](auto& s) { s.failPowerQuery = true; });
    EXPECT_EQ(module.SetModulePower(1), 0);
    EXPECT_EQ(m_driver->Requests(), (Requests{kQueryPower})) << "nothing switched";
    EXPECT_EQ(Count(Log(), "[RO25][BarcodeModuleGetPower] ...bRes : 0\r\n"), 1u);
    EXPECT_EQ(Count(Log(), "[RO25][SetModulePower] ...the driver did not answer\r\n"), 1u);

    // A query that fails while polling ends the polls; the first answer stands.
    m_driver->Change([](auto& s) {
        s.failPowerQuery = false;
        s.queriesBeforeFailure = 1;
        s.stuckStatus = 0;
    });
    m_driver->ClearRequests();
    EXPECT_NE(module.SetModulePower(1), 0);
    EXPECT_EQ(m_driver->Requests(), (Requests{kQueryPower, Set(7, 7), Set(2, 1), kQueryPower}));
}

TEST_F(ModuleControlTest, SupplyThatNeverFollowsIsGivenUpAfterTheBound) {
    platform::SetClockScale(0.02);
    ModuleControl module(3);
    ASSERT_EQ(module.OpenDriver(), 1);
    for (const int32_t on : {1, 0}) {
        SCOPED_TRACE(on);
        m_driver->Change([&](auto& s) {
            s.power = on ? 0 : 1;
            s.stuckStatus = on ? 0 : 1;
        });
        m_driver->ClearRequests();
        const size_t linesBefore = Count(Log(), "\n");
        const uint32_t started = platform::GetTickCount();
        EXPECT_EQ(module.SetModulePower(on), 0);
        EXPECT_GE(platform::GetTickCount() - started, kPowerPollLimitMs);
        // The polls pause, and a poll that answers as the one before logs nothing.
        EXPECT_LT(m_driver->Requests().size(), 1000u);
        EXPECT_LT(Count(Log(), "\n") - linesBefore, 50u);
        const std::string expected =
            on ? "[RO25][SetModulePower] ...power still 0, not 1, after 2000 ms\r\n"
               : "[RO25][SetModulePower] ...power still 1, not 0, after 2000 ms\r\n";
        EXPECT_EQ(Count(Log(), expected), 1u);
    }
}

// With QV_DRIVER_BAR1=none the supply reads as on whatever is asked: a
// switch-off is done at once, without waiting for a change that cannot come.
TEST_F(ModuleControlTest, PowerThatCannotChangeIsNotWaitedFor) {
    for (const int32_t modelClass : {-1, 3}) {
        SCOPED_TRACE(modelClass);
        ScopedEnv none("QV_DRIVER_BAR1", "none");
        ModuleControl module(modelClass);
        ASSERT_EQ(module.OpenDriver(), 1);
        EXPECT_NE(module.SetModulePower(0), 0);
        EXPECT_NE(module.SetModulePower(1), 0);
        module.CloseDriver();
    }
    EXPECT_EQ(Log().find("power still"), std::string::npos) << Log();
}

// A driver whose device went away is reported once, from whichever request
// found it, and not met with the trigger's error box.
TEST_F(ModuleControlTest, ADriverDeviceThatWentAwayIsReportedOnceWithoutABox) {
    ModuleControl module(-1);
    int losses = 0;
    module.SetLossHandler([&] { ++losses; });
    ASSERT_EQ(module.OpenDriver(), 1);
    EXPECT_NE(module.SetModulePower(1), 0);
    EXPECT_EQ(losses, 0);
    m_driver->Change([](auto& s) { s.lost = true; });
    module.SetTriggerLine(0);
    EXPECT_EQ(losses, 1);
    module.WakePulse();
    EXPECT_EQ(module.SetModulePower(0), 0);
    EXPECT_EQ(losses, 1);
    EXPECT_EQ(Count(Trace(), "msgbox"), 0u);
}

TEST_F(ModuleControlTest, TriggerRefusedInBothFormsShowsTheBoxOncePerCall) {
    m_driver->Change([](auto& s) {
        s.refuseTrigger = true;
        s.refuseFallbackTrigger = true;
    });
    const std::string box = "msgbox \"Barcode module pins controlled error!\" \"ERROR\" 1\n";
    size_t boxes = 0;
    for (const int32_t modelClass : {-1, 3}) {
        SCOPED_TRACE(modelClass);
        ModuleControl module(modelClass);
        ASSERT_EQ(module.OpenDriver(), 1);
        const RecordedRequest first1 = modelClass == 3 ? SetLineReq(LINE_TRIGGER, 1) : Set(7, 7);
        const RecordedRequest first0 = modelClass == 3 ? SetLineReq(LINE_TRIGGER, 0) : Set(7, 6);

        m_driver->ClearRequests();
        const uint32_t started = platform::GetTickCount();
        module.SetTriggerLine(1);
        EXPECT_GE(platform::GetTickCount() - started, 5u) << "still pauses after the box";
        EXPECT_EQ(Count(Trace(), box), ++boxes);
        module.SetTriggerLine(0);
        EXPECT_EQ(Count(Trace(), box), ++boxes);
        EXPECT_EQ(m_driver->Requests(), (Requests{first1, Set(1, 0), first0, Set(1, 2)}));
    }
    EXPECT_NE(Log().find("Barcode module pins controlled error!"), std::string::npos);

    // The second form alone suffices: no box.
    m_driver->Change([](auto& s) { s.refuseFallbackTrigger = false; });
    ModuleControl module(-1);
    ASSERT_EQ(module.OpenDriver(), 1);
    module.SetTriggerLine(1);
    EXPECT_EQ(Count(Trace(), box), boxes);
    EXPECT_EQ(m_driver->Snapshot().trigger, 1);
}

TEST_F(ModuleControlTest, WakePulseLeavesTheWakeLineLowAfterItsPause) {
    ModuleControl module(-1);
    ASSERT_EQ(module.OpenDriver(), 1);
    const uint32_t started = platform::GetTickCount();
    module.WakePulse();
    EXPECT_GE(platform::GetTickCount() - started, 80u);
    EXPECT_EQ(m_driver->Snapshot().wake, 0);
}

}  // namespace
}  // namespace qv

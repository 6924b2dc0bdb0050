// The symbology and maintenance exports before any engine traffic: the
// guard's refusals and the refusal of null outputs.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "QV_Rizoviv2I_RO25.h"
#include "engine/imager_engine.h"
#include "symbology/log_capture.h"
#include "test_support/temp_dir.h"

namespace qv {
namespace {

std::vector<std::function<int32_t()>> EveryCall() {
    static int32_t i[10];
    static char c[2];
    static char16_t t[3][256];
    static EnableRecord e;
    static DetailRecord d;
    static OtherRecord o;
    return {
        [] { return QVImagerSetALLSymboleEnable(1); },
        [] { return QVImagerSetSymboleEnable(2, 1); },
        [] { return QVImagerGetSymboleEnable(2, &i[0]); },
        [] { return QVImagerSetSymboleEnableByStruct(e); },
        [] { return QVImagerGetSymboleEnableByStruct(&e); },
        [] { return QVImagerSetSymboleDetailByStruct(d); },
        [] { return QVImagerGetSymboleDetailByStruct(&d); },
        [] { return QVImagerSetOtherSettingByStruct(o); },
        [] { return QVImagerGetOtherSettingByStruct(&o); },
        [] { return QVImagerSetAztecSetting(1, 2, 3, 4); },
        [] { return QVImagerGetAztecSetting(&i[0], &i[1], &i[2], &i[3]); },
        [] { return QVImagerSetCode128_GS1_128_ISBTSetting(1, 2, 3, 4, 5, 6, 'c', 8, 9, 10); },
        [] {
            return QVImagerGetCode128_GS1_128_ISBTSetting(&i[0], &i[1], &i[2], &i[3], &i[4], &i[5],
                                                          &c[0], &i[7], &i[8], &i[9]);
        },
        [] { return QVImagerSetTLC39Setting(1, 'x'); },
        [] { return QVImagerGetTLC39Setting(&i[0], &c[1]); },
        [] { return QVImagerSetSecurtyLevel(2); },
        [] { return QVImagerGetDPMSetting(&i[0], &i[1], &i[2]); },
        [] { return QVImagerTestCommand(); },
        [] { return QVImagerFactoryReset(); },
        [] { return QVImagerGetVersion(t[0], t[1], t[2]); },
    };
}

TEST(SymbologyExports, RefusedWithoutAnEngineOrWhileNotUsable) {
    ASSERT_EQ(m_RO25.load(), nullptr);
    for (const auto& call : EveryCall())
        EXPECT_EQ(call(), -1);

    test_support::TempDir dir;
    test_support::ScopedEnv registry("QV_REGISTRY", dir.Path() + "/registry.reg");
    ImagerEngine engine;
    symbology_test::LogCapture log;
    m_RO25.store(&engine);
    engine.m_bActive = 1;  // open failed: m_bEngineOpen stays 0
    for (const auto& call : EveryCall())
        EXPECT_EQ(call(), -1);
    engine.m_bEngineOpen = 1;
    engine.m_bActive = 0;  // suspended
    for (const auto& call : EveryCall())
        EXPECT_EQ(call(), -1);
    m_RO25.store(nullptr);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(SymbologyExports, NullOutputsAreRefusedBeforeAnythingIsSent) {
    test_support::TempDir dir;
    test_support::ScopedEnv registry("QV_REGISTRY", dir.Path() + "/registry.reg");
    ImagerEngine engine;
    symbology_test::LogCapture log;
    engine.m_bActive = 1;
    engine.m_bEngineOpen = 1;
    m_RO25.store(&engine);
    int32_t a = 11, b = 22;
    char ch = 'q';
    char16_t text[256] = u"keep";
    EXPECT_EQ(QVImagerGetSymboleEnable(2, nullptr), -1);
    EXPECT_EQ(QVImagerGetSymboleEnableByStruct(nullptr), -1);
    EXPECT_EQ(QVImagerGetSymboleDetailByStruct(nullptr), -1);
    EXPECT_EQ(QVImagerGetOtherSettingByStruct(nullptr), -1);
    EXPECT_EQ(QVImagerGetTLC39Setting(&a, nullptr), -1);
    EXPECT_EQ(QVImagerGetTLC39Setting(nullptr, &ch), -1);
    EXPECT_EQ(QVImagerGetPlesseySetting(&a, nullptr), -1);
    EXPECT_EQ(QVImagerGetDPMSetting(&a, &b, nullptr), -1);
    EXPECT_EQ(QVImagerGetVersion(text, nullptr, text), -1);
    m_RO25.store(nullptr);
    EXPECT_EQ(a, 11);
    EXPECT_EQ(b, 22);
    EXPECT_EQ(ch, 'q');
    EXPECT_EQ(std::u16string(text), u"keep");
    // No command was tried: the exchange would have logged its failure.
    EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
}  // namespace qv

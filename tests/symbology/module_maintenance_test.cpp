#include "symbology/module_maintenance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "symbology/module_payloads.h"
#include "symbology/settings_test_support.h"

namespace qv {
namespace {

using symbology_test::Bytes;
using symbology_test::Outcome;
using ::testing::ElementsAre;

class ModuleMaintenance : public symbology_test::SettingsFixture {
  protected:
    symbology_test::ScriptedEngine m_engine;
};

TEST_F(ModuleMaintenance, FreshEngineIsInitialisedOnceAndThenRecognised) {
    m_engine.Param(0x49, 0x48) = 'x';  // a factory assignment, not the library's
    EXPECT_EQ(IsInit(m_engine), 0);
    EXPECT_EQ(m_log.Count("IsInit is false"), 0u);

    InitModule(m_engine);
    ASSERT_EQ(m_engine.Sent().size(), 2u);
    EXPECT_EQ(m_engine.Sent()[1].kind, FrameKind::SETUP_COMMAND);
    EXPECT_EQ(m_engine.Sent()[1].payload.size(), 369u);
    EXPECT_EQ(m_log.Count("Init module"), 1u);

    EXPECT_EQ(IsInit(m_engine), 1);
    EXPECT_EQ(m_engine.Sent()[2].kind, FrameKind::SETUP_QUERY);
    EXPECT_THAT(m_engine.Sent()[2].payload, ElementsAre(0x48, 0x48, 0x49, 0x48, 0x4E, 0x48));
    EXPECT_EQ(m_log.Count("IsInit is success"), 1u);
}

TEST_F(ModuleMaintenance, UnansweredInitialisedQueryIsLoggedAsFalse) {
    m_engine.SetDefault(Outcome::Silent);
    EXPECT_EQ(IsInit(m_engine), 0);
    EXPECT_EQ(m_log.Count("IsInit is false"), 1u);
    m_engine.SetDefault(Outcome::Nak);
    EXPECT_EQ(IsInit(m_engine), 0);
    EXPECT_EQ(m_log.Count("IsInit is false"), 2u);
}

TEST_F(ModuleMaintenance, FactoryResetSendsResetThenInitialisationAndLeavesFilesAlone) {
    m_engine.SetDefault(Outcome::Silent);  // answers are not needed
    FactoryReset(m_engine);
    ASSERT_EQ(m_engine.Sent().size(), 2u);
    EXPECT_EQ(m_engine.Sent()[0].kind, FrameKind::RESET_COMMAND);
    EXPECT_THAT(m_engine.Sent()[0].payload, ElementsAre(0x30, 0x40, 0x00, 0x40, 0x06));
    EXPECT_EQ(m_engine.Sent()[1].payload.size(), 369u);
    EXPECT_TRUE(DirectoryEntries().empty());

    SendTestCommand(m_engine);
    EXPECT_EQ(m_engine.Sent()[2].kind, FrameKind::SETUP_COMMAND);
    EXPECT_THAT(m_engine.Sent()[2].payload, ElementsAre(0x70, 0x40, 0x02));
}

Bytes Entry(uint8_t param, const std::string& text) {
    Bytes e{0x30, param, 0x00, 0x00};
    // Appended byte by byte: GCC 12 at -O2 misreads an insert into a short vector.
    for (char c : text)
        e.push_back(static_cast<uint8_t>(c));
    return e;
}

TEST_F(ModuleMaintenance, VersionTextsReachTheCallerZeroTerminated) {
    Bytes reply = Entry(0xC6, "FW 3.1");
    for (const Bytes& more : {Entry(0xC0, "BL 1"), Entry(0xC2, "HW B")}) {
        reply.insert(reply.end(), more.begin(), more.end());
    }
    m_engine.SetStatusReply(reply);
    char16_t a[256], b[256], c[256];
    std::fill(std::begin(b), std::end(b), u'#');
    ASSERT_EQ(ReadVersion(m_engine, a, b, c), 1);
    EXPECT_EQ(std::u16string(a), u"FW 3.1");
    EXPECT_EQ(std::u16string(b), u"BL 1");
    EXPECT_EQ(std::u16string(c), u"HW B");
    EXPECT_EQ(m_engine.Sent()[0].kind, FrameKind::STATUS_QUERY);
    EXPECT_THAT(m_engine.Sent()[0].payload, ElementsAre(0x30, 0xC6, 0x30, 0xC0, 0x30, 0xC2));

    // A reply without the later entries empties their buffers.
    m_engine.SetStatusReply(Entry(0xC6, std::string(300, 'v')));
    ASSERT_EQ(ReadVersion(m_engine, a, b, c), 1);
    EXPECT_EQ(std::u16string(a), std::u16string(255, u'v'));
    EXPECT_EQ(b[0], u'\0');
    EXPECT_EQ(c[0], u'\0');
}

TEST_F(ModuleMaintenance, UnansweredVersionQueryGivesThreeEmptyTexts) {
    m_engine.SetDefault(Outcome::Silent);
    char16_t a[256], b[256], c[256];
    std::fill(std::begin(a), std::end(a), u'#');  // unterminated, as a caller's may be
    std::fill(std::begin(b), std::end(b), u'#');
    std::fill(std::begin(c), std::end(c), u'#');
    EXPECT_EQ(ReadVersion(m_engine, a, b, c), 0);
    EXPECT_EQ(a[0], u'\0');
    EXPECT_EQ(b[0], u'\0');
    EXPECT_EQ(c[0], u'\0');
}

}  // namespace
}  // namespace qv

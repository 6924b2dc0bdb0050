// Registry-held options and the delivery-option exports: defaults of a
// missing key against a missing value, what each setter writes, and the
// frame's refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "QV_Rizoviv2I_RO25.h"
#include "delivery/barcode_delivery.h"
#include "delivery_fixture.h"

using namespace qv;
using ::testing::Optional;

namespace {

using delivery_test::EngineFixture;

class Options : public EngineFixture {
  protected:
    // What an open loads.
    void LoadAll() { Engine().Delivery().Reset(); }
    static std::u16string Path(int32_t which) {
        char16_t path[512] = {u'?'};
        EXPECT_EQ(QVImagerGetSoundPath(which, path), 1);
        return path;
    }
};

TEST_F(Options, NoKeyAtAllGivesTheDefaults) {
    LoadAll();
    Install();
    uint8_t b = 0x55;
    EXPECT_EQ(QVImagerGetPrefix1(&b), 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(QVImagerGetSuffix1(&b), 1);
    EXPECT_EQ(b, 0x0A);
    EXPECT_EQ(QVImagerGetSuffix2(&b), 1);
    EXPECT_EQ(b, 0);
    int32_t v = -1;
    EXPECT_EQ(QVImagerGetReceiveType(&v), 1);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(QVImagerGetSoundType(1, &v), 1);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(QVImagerGetSoundType(0, &v), 1);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(Engine().Delivery().m_bPasteClipboard.load(), 1);
    // The stored good-read path is the default; the process-wide one is empty.
    EXPECT_EQ(Engine().Options().SoundPath(1), u"\\Nand\\QVApp\\QV_Barcode.wav");
    EXPECT_EQ(Path(1), u"");
}

TEST_F(Options, KeyWithOnlyThePasteFlag) {
    WriteDword(kOptionsKey, u"PasteClipboard", 0);
    LoadAll();
    const DeliveryOptions& o = Engine().Options();
    EXPECT_EQ(o.m_suffix1.load(), 0);  // a missing value keeps the construction value
    EXPECT_EQ(o.m_suffix2.load(), 0);
    EXPECT_EQ(o.m_sndManual.load(), 0);
    EXPECT_EQ(o.SoundPath(1), u"");
    EXPECT_EQ(Engine().Delivery().m_bPasteClipboard.load(), 0);
}

TEST_F(Options, StoredValuesAreReadAndFolded) {
    WriteDword(kOptionsKey, u"PREFIX1", 0x1FF);
    WriteDword(kOptionsKey, u"SUFFIX1", 0x0D);
    WriteDword(kOptionsKey, u"RECEIVETYPE", 5);
    WriteDword(kOptionsKey, u"SNDMANUAL", 3);
    WriteDword(kOptionsKey, u"PasteClipboard", 2);
    WriteString(kOptionsKey, u"SNDPATH_FAIL", u"f.wav");
    WriteString(kOptionsKey, u"SUFFIX2", u"not a number");
    LoadAll();
    const DeliveryOptions& o = Engine().Options();
    EXPECT_EQ(o.m_prefix1.load(), 0xFF);
    EXPECT_EQ(o.m_suffix1.load(), 0x0D);
    EXPECT_EQ(o.m_suffix2.load(), 0);
    EXPECT_EQ(o.m_storedRecvType.load(), 2);
    EXPECT_EQ(o.m_sndManual.load(), 3);
    EXPECT_EQ(o.SoundPath(0), u"f.wav");
    EXPECT_EQ(Engine().Delivery().m_bPasteClipboard.load(), 2);  // not 1: no paste

    WriteDword(kOptionsKey, u"RECEIVETYPE", 1);
    Engine().Options().LoadReceiveType();
    EXPECT_EQ(o.m_storedRecvType.load(), 1);
}

TEST_F(Options, ReceiveTypeIsStoredAndTakesEffect) {
    Install();
    EXPECT_EQ(QVImagerSetReceiveType(2), 1);
    EXPECT_EQ(Engine().Delivery().m_recvType.load(), 2);
    EXPECT_THAT(StoredDword(u"RECEIVETYPE"), Optional(2u));
    // At open the stored type is reported but delivery starts as messages.
    Engine().Delivery().m_recvType = 0;
    int32_t v = -1;
    EXPECT_EQ(QVImagerGetReceiveType(&v), 1);
    EXPECT_EQ(v, 2);
}

TEST_F(Options, SoundTypeWritesTheUseValueOnlyForTypes0To2) {
    Install();
    EXPECT_EQ(QVImagerSetSoundType(1, 2), 1);
    EXPECT_THAT(StoredDword(u"SNDMANUAL"), Optional(2u));
    EXPECT_THAT(StoredDword(u"SNDUSE_SUCCESS"), Optional(2u));
    EXPECT_THAT(StoredDword(u"SNDUSE_FAIL"), Optional(0u));
    EXPECT_EQ(Engine().Delivery().m_bUseSuccessSound.load(), 1);
    EXPECT_EQ(Engine().Delivery().m_successSoundType.load(), 2);

    EXPECT_EQ(QVImagerSetSoundType(1, 3), 1);
    EXPECT_THAT(StoredDword(u"SNDMANUAL"), Optional(3u));
    EXPECT_THAT(StoredDword(u"SNDUSE_SUCCESS"), Optional(2u));  // untouched
    EXPECT_EQ(Engine().Delivery().m_successSoundType.load(), 3);

    EXPECT_EQ(QVImagerSetSoundType(7, 0), 1);  // any which but 1 is the failed read
    EXPECT_THAT(StoredDword(u"SNDMANUAL2"), Optional(0u));
    EXPECT_EQ(Engine().Delivery().m_bUseFailSound.load(), 0);
    int32_t v = -1;
    EXPECT_EQ(QVImagerGetSoundType(1, &v), 1);
    EXPECT_EQ(v, 3);
}

TEST_F(Options, DelayIsWrittenLimitedAndNotReadBackAtOpen) {
    Install();
    EXPECT_EQ(QVImagerSetDelay(9, 5000), 1);
    EXPECT_THAT(StoredDword(u"DELAYMODE"), Optional(0u));
    EXPECT_THAT(StoredDword(u"DELAY"), Optional(1000u));
    int32_t mode = -1, ms = -1;
    EXPECT_EQ(QVImagerGetDelay(&mode, &ms), 1);
    EXPECT_EQ(mode, 9);
    EXPECT_EQ(ms, 1000);

    EXPECT_EQ(QVImagerSetDelay(2, 500), 1);
    EXPECT_EQ(QVImagerGetDelay(&mode, &ms), 1);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(ms, 10);

    EXPECT_EQ(QVImagerSetDelay(4, -20), 1);
    EXPECT_EQ(Engine().Delivery().m_delayMs.load(), 0);
    EXPECT_THAT(StoredDword(u"DELAYMODE"), Optional(4u));
    EXPECT_THAT(StoredDword(u"DELAY"), Optional(0u));
}

TEST_F(Options, PrefixAndSuffixSettersWriteTheirPair) {
    Install();
    EXPECT_EQ(QVImagerSetPrefix2(0x156), 1);
    EXPECT_THAT(StoredDword(u"PREFIX1"), Optional(0u));
    EXPECT_THAT(StoredDword(u"PREFIX2"), Optional(0x56u));
    EXPECT_EQ(StoredDword(u"SUFFIX1"), std::nullopt);
    EXPECT_EQ(QVImagerSetSuffix1(0x0D), 1);
    EXPECT_THAT(StoredDword(u"SUFFIX1"), Optional(0x0Du));
    EXPECT_THAT(StoredDword(u"SUFFIX2"), Optional(0u));
    uint8_t b = 0;
    EXPECT_EQ(QVImagerGetPrefix2(&b), 1);
    EXPECT_EQ(b, 0x56);
}

TEST_F(Options, Path255RoundTripsAndLongerIsCutOnlyInStorage) {
    Install();
    const std::u16string path255(255, u'p');
    ASSERT_EQ(QVImagerSetSoundPath(1, path255.c_str()), 1);
    EXPECT_EQ(Path(1), path255);
    EXPECT_THAT(StoredString(u"SNDPATH_SUCCESS"), Optional(path255));
    Engine().Options().SetSoundPath(1, u"");
    Engine().Options().LoadSound();
    EXPECT_EQ(Engine().Options().SoundPath(1), path255);

    std::u16string path300(300, u'q');
    path300[299] = u'Z';
    ASSERT_EQ(QVImagerSetSoundPath(0, path300.c_str()), 1);
    EXPECT_EQ(Path(0), path300);  // whole in memory
    EXPECT_EQ(Engine().Options().SoundPath(0), path300);
    EXPECT_THAT(StoredString(u"SNDPATH_FAIL"), Optional(path300.substr(0, 255)));
    Engine().Options().LoadSound();
    EXPECT_EQ(Engine().Options().SoundPath(0), path300.substr(0, 255));
    EXPECT_EQ(Path(1), path255);  // the other path is untouched

    // A cut that would split a surrogate pair keeps 254 units; the write
    // goes through, where half a pair would be refused and the old path
    // silently kept.
    std::u16string paired(254, u'r');
    paired += u"\U0001F600tail";
    ASSERT_EQ(QVImagerSetSoundPath(0, paired.c_str()), 1);
    EXPECT_THAT(StoredString(u"SNDPATH_FAIL"), Optional(paired.substr(0, 254)));
}

TEST_F(Options, AStoredPathLongerThanTheBufferIsNotRead) {
    WriteString(kOptionsKey, u"SNDPATH_SUCCESS", std::u16string(256, u'x'));
    Engine().Options().SetSoundPath(1, u"kept");
    Engine().Options().LoadSound();
    EXPECT_EQ(Engine().Options().SoundPath(1), u"kept");
}

TEST_F(Options, PathsLongerThanTheBuffersStayBounded) {
    Install();
    const std::u16string huge(2000, u'h');
    ASSERT_EQ(QVImagerSetSoundPath(1, huge.c_str()), 1);
    EXPECT_EQ(Path(1), huge.substr(0, 511));
}

TEST_F(Options, RefusalsFollowTheFrame) {
    uint8_t b = 0x55;
    EXPECT_EQ(QVImagerGetPrefix1(&b), -1);
    EXPECT_EQ(b, 0);  // a refused prefix read leaves 0
    b = 0x55;
    EXPECT_EQ(QVImagerGetSuffix1(&b), -1);
    EXPECT_EQ(b, 0x55);  // a refused suffix read leaves the output
    int32_t mode = 77, ms = 77;
    EXPECT_EQ(QVImagerGetDelay(&mode, &ms), -1);
    EXPECT_EQ(mode, 77);
    EXPECT_EQ(QVImagerSetReceiveType(1), -1);
    EXPECT_EQ(QVImagerSetPrefix1(1), -1);
    EXPECT_EQ(StoredDword(u"PREFIX1"), std::nullopt);

    // An engine whose open failed still reports its delay.
    Install();
    Engine().m_bEngineOpen = 0;
    EXPECT_EQ(QVImagerGetDelay(&mode, &ms), -1);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(ms, 1);
    EXPECT_EQ(QVImagerSetDelay(1, 1), -1);
    EXPECT_EQ(Engine().Delivery().m_delayMode.load(), 3);

    // Null pointers are refused rather than written through.
    Engine().m_bEngineOpen = 1;
    EXPECT_EQ(QVImagerGetReceiveType(nullptr), -1);
    EXPECT_EQ(QVImagerGetSuffix1(nullptr), -1);
    EXPECT_EQ(QVImagerSetSoundPath(1, nullptr), -1);
    EXPECT_EQ(QVImagerGetSoundPath(1, nullptr), -1);
    EXPECT_EQ(QVImagerGetDelay(nullptr, nullptr), 1);
}

TEST_F(Options, RegistryFailuresAreSilent) {
    // A registry file that cannot be parsed is neither read nor overwritten.
    {
        std::ofstream bad(m_dir.Path() + "/registry.reg");
        bad << "this is not a registry file\n";
    }
    LoadAll();
    EXPECT_EQ(Engine().Options().m_suffix1.load(), 0x0A);  // as with no key
    Install();
    EXPECT_EQ(QVImagerSetPrefix1(0x11), 1);  // the value still changes in memory
    uint8_t b = 0;
    EXPECT_EQ(QVImagerGetPrefix1(&b), 1);
    EXPECT_EQ(b, 0x11);
    std::ifstream in(m_dir.Path() + "/registry.reg");
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "this is not a registry file");
}

}  // namespace

// Sound through ALSA (QV_SOUND=alsa[:<device>]), played into ALSA's file
// plugin so the host needs no sound card: what the card would get is on disk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/sound/sound.h"
#include "platform/sound/sound_alsa.h"
#include "platform/text/utf.h"
#include "platform/windows/message_record.h"
#include "test_support/log_capture.h"
#include "test_support/temp_dir.h"
#include "test_support/wav.h"

using namespace qv::platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr uint32_t kFlags = kSoundFileName | kSoundAsync;

TEST(SoundFiles, HandheldPathsAreLookedForOnThisSystem) {
    const std::vector<std::string> dirs = {"/opt/app/", "/home/u/.local/share/qvimager/sounds",
                                           "/usr/share/qvimager/sounds"};
    struct Case {
        const char* path;
        std::vector<std::string> candidates;
    };
    const Case cases[] = {
        {"\\Nand\\QVApp\\QV_Barcode.wav",
         {"/Nand/QVApp/QV_Barcode.wav", "/opt/app/QV_Barcode.wav",
          "/home/u/.local/share/qvimager/sounds/QV_Barcode.wav",
          "/usr/share/qvimager/sounds/QV_Barcode.wav"}},
        {"sounds\\beep.wav",
         {"/opt/app/sounds/beep.wav", "/opt/app/beep.wav",
          "/home/u/.local/share/qvimager/sounds/beep.wav", "/usr/share/qvimager/sounds/beep.wav"}},
        {"/usr/share/qvimager/sounds/ok.wav",
         {"/usr/share/qvimager/sounds/ok.wav", "/opt/app/ok.wav",
          "/home/u/.local/share/qvimager/sounds/ok.wav"}},
        {"", {}},
        // No file name to look for elsewhere.
        {"\\Nand\\", {"/Nand/"}},
        {"..", {"/opt/app/.."}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SoundFileCandidates(c.path, dirs), c.candidates) << c.path;
    }
}

class AlsaSound : public ::testing::Test {
  protected:
    void SetUp() override { ClearRecordedEffects(); }

    // Plays `path` with QV_SOUND set to `sound`, as an open would have read
    // it, and waits until it has been played.
    void Play(const std::string& sound, const std::u16string& path) {
        test_support::ScopedEnv env("QV_SOUND", sound);
        EXPECT_TRUE(PlaySound(path, kFlags));
        EXPECT_TRUE(WaitForAlsaSound(10000));
    }

    std::string FilePcm() const { return "alsa:file:'" + m_out + "',raw"; }

    test_support::TempDir m_dir;
    test_support::LogCapture m_log;
    std::string m_out = m_dir.Path() + "/card.raw";
};

TEST_F(AlsaSound, TheCardGetsTheFilesSamples) {
    struct Case {
        uint32_t rate;
        uint16_t channels;
    };
    for (const Case c : {Case{8000, 1}, Case{44100, 2}, Case{48000, 1}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " channels");
        std::filesystem::remove(m_out);
        // Longer than one chunk, and not a whole number of them.
        const std::vector<int16_t> samples = test_support::Chirp(5000u * c.channels + c.channels);
        test_support::WriteWav(m_dir.Path() + "/ok.wav", samples, c.rate, c.channels);
        Play(FilePcm(), qv::platform::Utf8ToUtf16(m_dir.Path() + "/ok.wav"));
        const std::string raw = test_support::ReadFile(m_out);
        ASSERT_EQ(raw.size(), samples.size() * 2);
        EXPECT_EQ(std::memcmp(raw.data(), samples.data(), raw.size()), 0);
    }
    EXPECT_THAT(RecordedEffects("sound"), IsEmpty());  // not the stand-in
}

TEST_F(AlsaSound, AMissingFileOrCardIsSaidOnceAndSkipped) {
    test_support::WriteWav(m_dir.Path() + "/ok.wav", test_support::Chirp(100), 8000);
    std::ofstream(m_dir.Path() + "/bad.wav") << "RIFF, but not a sound";
    const std::u16string ok = qv::platform::Utf8ToUtf16(m_dir.Path() + "/ok.wav");
    const std::u16string bad = qv::platform::Utf8ToUtf16(m_dir.Path() + "/bad.wav");
    const std::u16string gone = qv::platform::Utf8ToUtf16(m_dir.Path() + "/gone.wav");
    // A FIFO with no writer would block an open, and every sound behind it.
    ASSERT_EQ(::mkfifo((m_dir.Path() + "/fifo.wav").c_str(), 0600), 0);
    const std::u16string fifo = qv::platform::Utf8ToUtf16(m_dir.Path() + "/fifo.wav");
    for (int i = 0; i < 2; ++i) {
        Play(FilePcm(), gone);
        Play(FilePcm(), fifo);
        Play(FilePcm(), bad);
        Play("alsa:hw:CARD=NoSuchCard", ok);
    }
    EXPECT_EQ(m_log.Count("sound: no file " + m_dir.Path() + "/gone.wav; skipped"), 1);
    EXPECT_EQ(m_log.Count("sound: cannot play " + m_dir.Path() + "/bad.wav"), 1);
    EXPECT_EQ(m_log.Count("sound: cannot play " + m_dir.Path() +
                          "/fifo.wav: not a regular file; skipped"),
              1);
    EXPECT_EQ(m_log.Count("sound: cannot open ALSA device hw:CARD=NoSuchCard"), 1);
    EXPECT_FALSE(std::filesystem::exists(m_out));
    // The next sound still plays.
    Play(FilePcm(), ok);
    EXPECT_EQ(std::filesystem::file_size(m_out), 200u);
}

TEST_F(AlsaSound, AnUnknownBindingFallsBackToTheStandIn) {
    EXPECT_EQ(ParseSoundConfig("alsa"), "default");
    Play("pulse", u"\\Nand\\a.wav");
    Play("", u"\\Nand\\b.wav");
    EXPECT_THAT(RecordedEffects("sound"), ElementsAre("sound \"\\\\Nand\\\\a.wav\" 0x00020001",
                                                      "sound \"\\\\Nand\\\\b.wav\" 0x00020001"));
    EXPECT_EQ(m_log.Count("sound: QV_SOUND=pulse is not alsa[:<device>]; using the stand-in"), 1);
}

}  // namespace

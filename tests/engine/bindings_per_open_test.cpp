// Each open takes the LED, sound and power notification bindings from the
// environment it finds, so an application can switch them between opens.
#include <filesystem>
#include <fstream>
#include <optional>

#include "QVPlatform.h"
#include "imager_fixture.h"
#include "platform/sound/sound_alsa.h"
#include "platform/windows/message_record.h"
#include "test_support/wav.h"

namespace engine_test {
namespace {

std::atomic<int> g_barcodes{0};

void OnBarcode(int32_t, const char16_t*) {
    ++g_barcodes;
}

TEST_F(ImagerScenario, EachOpenUsesTheLedAndSoundBindingsItReads) {
    const std::string led = m_dir.Path() + "/leds/green";
    const std::string card = m_dir.Path() + "/card.raw";
    const std::string wav = m_dir.Path() + "/QV_Barcode.wav";
    const std::vector<int16_t> samples = test_support::Chirp(3000);
    test_support::WriteWav(wav, samples, 16000);
    std::filesystem::create_directories(led);
    QVHWND window = QVPlatformCreateWindow(u"BindingsTestWindow", QVPlatformDefWindowProc, nullptr);
    ASSERT_NE(window, nullptr);
    int realOpens = 0;
    for (bool real : {true, false, true}) {
        SCOPED_TRACE(real ? "sysfs and ALSA" : "stand-ins");
        std::ofstream(led + "/trigger") << "none [heartbeat] timer\n";
        std::filesystem::remove(card);
        qv::platform::ClearRecordedEffects();
        std::optional<test_support::ScopedEnv> leds, sound, power;
        if (real) {
            ++realOpens;
            power.emplace("QV_POWER_NOTIFY", "unix:" + m_dir.Path() + "/no-such.sock");
            leds.emplace("QV_LEDS", "sysfs:" + m_dir.Path() + "/leds,0=green");
            sound.emplace("QV_SOUND", "alsa:file:'" + card + "',raw");
        }
        g_barcodes = 0;
        ASSERT_EQ(QVImagerOpen(), 1);
        ASSERT_EQ(QVImagerSetWindow(window), 1);  // a callback is called only with a window
        ASSERT_EQ(QVImagerSetSymboleEnable(QV_SYM_CODE39, 1), 1);
        ASSERT_EQ(QVImagerSetSoundType(1, 3), 1);  // flash and sound
        ASSERT_EQ(QVImagerSetSoundPath(1, qv::platform::Utf8ToUtf16(wav).c_str()), 1);
        ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "PER-OPEN"));
        ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
        ASSERT_TRUE(Eventually([] { return g_barcodes.load() == 1; }));
        if (real) {
            // Lit by the timer, then its own trigger again.
            EXPECT_TRUE(Eventually(
                [&] { return test_support::ReadFile(led + "/trigger") == "heartbeat"; }));
            ASSERT_TRUE(qv::platform::WaitForAlsaSound(10000));
            EXPECT_EQ(test_support::ReadFile(card).size(), samples.size() * 2);
            EXPECT_TRUE(qv::platform::RecordedEffects("led").empty());
            EXPECT_TRUE(qv::platform::RecordedEffects("sound").empty());
        } else {
            EXPECT_TRUE(
                Eventually([] { return qv::platform::RecordedEffects("led").size() == 2; }));
            EXPECT_EQ(qv::platform::RecordedEffects("sound").size(), 1u);
            EXPECT_FALSE(std::filesystem::exists(card));
            EXPECT_EQ(test_support::ReadFile(led + "/trigger"), "none [heartbeat] timer\n");
        }
        // The socket that is not there is tried at each open that names it.
        EXPECT_TRUE(Eventually([&] {
            return m_log.Count("cannot subscribe through QV_POWER_NOTIFY=unix:") == realOpens;
        }));
        EXPECT_EQ(QVImagerClose(), 1);
    }
    QVPlatformDestroyWindow(window);
}

}  // namespace
}  // namespace engine_test

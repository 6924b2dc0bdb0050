// Run inside the kernel rig only (tests/linux/run.sh, `make test-linux`):
// the good-read flash on a kernel LED made through /dev/uleds, with the
// kernel's own heartbeat, pattern, timer, netdev, oneshot and transient
// triggers (one changed by another program mid-flash), and the good-read
// sound played into the ALSA loopback card and captured from its far end.
// Needs the uleds, ledtrig-* and snd-aloop modules the rig loads.
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uleds.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "delivery/barcode_delivery.h"
#include "delivery/delivery_options.h"
#include "delivery/process_items.h"
#include "link/reader_gate.h"
#include "platform/core/configuration.h"
#include "platform/sound/sound_alsa.h"
#include "platform/text/utf.h"
#include "test_support/temp_dir.h"
#include "test_support/wav.h"

namespace {

constexpr char kLedName[] = "rig:green:status";
constexpr unsigned kRate = 48000;
// The loopback drops one timer tick now and then (HZ=250): 4 ms of zeros.
constexpr size_t kGapFrames = kRate * 4 / 1000 + 8;

class NoTrigger final : public qv::TriggerLine {
  public:
    void SetTriggerLine(uint8_t) override {}
};

std::string Attribute(const std::string& name) {
    std::ifstream in(std::string("/sys/class/leds/") + kLedName + "/" + name);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool SetAttribute(const std::string& name, const std::string& value) {
    std::ofstream out(std::string("/sys/class/leds/") + kLedName + "/" + name);
    out << value;
    out.flush();
    return static_cast<bool>(out);
}

// A good read with the flash and the sound on, as the reader hands it over.
class GoodRead : public ::testing::Test {
  protected:
    void Deliver() {
        qv::BarcodeDelivery delivery(m_options, m_trigger, m_gate, 0);
        delivery.m_recvType = 5;  // only the notification
        delivery.m_bUseSuccessSound = 1;
        delivery.m_successSoundType = 3;
        const uint8_t payload[] = {'j', 'O', 'K'};
        delivery.DeliverBarcode(payload, 3);
        delivery.m_ledWorker.Join();
    }

    qv::DeliveryOptions m_options;
    NoTrigger m_trigger;
    qv::ReaderGate m_gate;
    test_support::TempDir m_dir;
};

TEST_F(GoodRead, TheLedsOwnTriggerIsBackWithItsSettingsAfterAFlash) {
    const int uleds = ::open("/dev/uleds", O_RDWR | O_CLOEXEC);
    ASSERT_GE(uleds, 0) << "/dev/uleds: " << std::strerror(errno);
    uleds_user_dev dev{};
    std::strncpy(dev.name, kLedName, sizeof dev.name - 1);
    dev.max_brightness = 255;
    ASSERT_EQ(::write(uleds, &dev, sizeof dev), static_cast<ssize_t>(sizeof dev));
    test_support::ScopedEnv leds("QV_LEDS", std::string("sysfs:/sys/class/leds,0=") + kLedName);
    qv::platform::LoadConfiguration();

    struct Case {
        const char* trigger;
        std::map<std::string, std::string> settings;  // written in this order, then read back
        const char* changeTo;  // selected by another program during the flash
    };
    const Case cases[] = {
        {"heartbeat", {{"invert", "1"}}, nullptr},
        {"pattern", {{"pattern", "0 40 255 40"}}, nullptr},
        {"timer", {{"delay_on", "70"}, {"delay_off", "130"}}, nullptr},
        {"netdev",
         {{"device_name", "lo"}, {"interval", "100"}, {"link", "1"}, {"rx", "1"}, {"tx", "1"}},
         nullptr},
        {"oneshot", {{"delay_off", "30"}, {"delay_on", "20"}, {"invert", "1"}}, nullptr},
        {"transient", {{"duration", "5000"}, {"state", "1"}}, nullptr},
        {"netdev", {{"device_name", "lo"}, {"rx", "1"}}, "heartbeat"},
        {"heartbeat", {{"invert", "0"}}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trigger);
        ASSERT_TRUE(SetAttribute("trigger", c.trigger));
        for (const auto& [name, value] : c.settings)
            ASSERT_TRUE(SetAttribute(name, value)) << name;
        std::thread other;
        if (c.changeTo != nullptr) {
            other = std::thread([&c] {
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                while (Attribute("trigger").find("[timer]") == std::string::npos &&
                       std::chrono::steady_clock::now() < end) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                SetAttribute("trigger", c.changeTo);
            });
        }
        Deliver();
        if (other.joinable()) other.join();
        const std::string expected = c.changeTo != nullptr ? c.changeTo : c.trigger;
        EXPECT_NE(Attribute("trigger").find("[" + expected + "]"), std::string::npos)
            << Attribute("trigger");
        if (c.changeTo != nullptr) {
            EXPECT_EQ(Attribute("invert"), "0");  // heartbeat's own default, not overwritten
            continue;
        }
        for (const auto& [name, value] : c.settings)
            EXPECT_EQ(Attribute(name), value) << name;
    }
    ::close(uleds);
}

TEST_F(GoodRead, TheSoundReachesTheCard) {
    snd_pcm_t* capture = nullptr;
    ASSERT_EQ(snd_pcm_open(&capture, "hw:Loopback,1,0", SND_PCM_STREAM_CAPTURE, 0), 0)
        << "no loopback card (snd-aloop)";
    ASSERT_EQ(snd_pcm_set_params(capture, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                                 kRate, 0, 100000),
              0);
    const std::vector<int16_t> samples = test_support::Chirp(kRate * 3 / 10);
    const std::string wav = m_dir.Path() + "/good.wav";
    test_support::WriteWav(wav, samples, kRate);
    std::vector<int16_t> heard(kRate * 2);
    std::thread recorder([&] {
        for (size_t at = 0; at < heard.size();) {
            snd_pcm_sframes_t n = snd_pcm_readi(capture, heard.data() + at, heard.size() - at);
            if (n < 0) n = snd_pcm_recover(capture, static_cast<int>(n), 1);
            if (n < 0) break;
            at += static_cast<size_t>(n);
        }
    });
    test_support::ScopedEnv sound("QV_SOUND", "alsa:hw:Loopback,0,0");
    qv::platform::LoadConfiguration();
    const std::u16string path = qv::platform::Utf8ToUtf16(wav);
    std::copy(path.begin(), path.end(), qv::g_successSoundPath);
    qv::g_successSoundPath[path.size()] = u'\0';
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Deliver();
    EXPECT_TRUE(qv::platform::WaitForAlsaSound(10000));
    recorder.join();
    snd_pcm_close(capture);

    // Where the sound starts in the capture, found from a stretch of it that
    // a dropped tick may not reach.
    size_t start = SIZE_MAX;
    for (size_t probe : {size_t{1000}, samples.size() / 2, samples.size() - 2000}) {
        const auto at = std::search(heard.begin(), heard.end(), samples.begin() + probe,
                                    samples.begin() + probe + 512);
        if (at != heard.end() && static_cast<size_t>(at - heard.begin()) >= probe) {
            start = static_cast<size_t>(at - heard.begin()) - probe;
            break;
        }
    }
    ASSERT_NE(start, SIZE_MAX) << "the sound is not in the capture";
    ASSERT_LE(start + samples.size(), heard.size());
    std::vector<size_t> wrong;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (heard[start + i] != samples[i]) wrong.push_back(i);
    }
    if (!wrong.empty()) {
        EXPECT_LE(wrong.back() - wrong.front(), kGapFrames) << wrong.size() << " frames differ";
        for (size_t i : wrong)
            EXPECT_EQ(heard[start + i], 0) << "frame " << i;
    }
}

}  // namespace

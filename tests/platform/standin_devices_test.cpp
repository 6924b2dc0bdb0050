// Clipboard, sound and LED stand-ins, the record of effects, the trace file
// and the C interface.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "QVPlatform.h"
#include "platform/driver/device_driver.h"
#include "platform/led/led.h"
#include "platform/power_notify/power_notify.h"
#include "platform/sound/sound.h"
#include "platform/windows/clipboard.h"
#include "platform/windows/message.h"
#include "platform/windows/message_record.h"
#include "platform/windows/window.h"
#include "test_support/temp_dir.h"

using namespace qv::platform;
using ::testing::ElementsAre;

namespace {

std::unique_ptr<MemoryBlock> TextBlock(std::u16string_view text, size_t bytes) {
    auto block = MemoryBlock::Allocate(bytes);
    std::copy(text.begin(), text.end(), block->Units());
    return block;
}

class StandInDevices : public ::testing::Test {
  protected:
    void SetUp() override { ClearRecordedEffects(); }
};

TEST_F(StandInDevices, ClipboardTakesTheBlockOnlyWhenOpen) {
    auto block = TextBlock(u"A1", 6);
    EXPECT_FALSE(SetClipboardData(kClipboardUnicodeText, block));
    EXPECT_NE(block, nullptr);  // refused: still the caller's

    ASSERT_TRUE(OpenClipboard());
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(SetClipboardData(kClipboardUnicodeText, block));
    EXPECT_EQ(block, nullptr);  // accepted: the clipboard's now
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(GetClipboardText(), u"A1");
    EXPECT_THAT(RecordedEffects(), ElementsAre("clipboard 13 \"A1\""));

    ASSERT_TRUE(OpenClipboard());
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(GetClipboardText().has_value());
}

TEST_F(StandInDevices, ClipboardIsOneThreadsAtATimeAndFreedWhenItEnds) {
    std::thread holder([] { EXPECT_TRUE(OpenClipboard()); });  // ends without closing
    holder.join();
    std::thread other([] {
        EXPECT_TRUE(OpenClipboard());
        std::thread third([] { EXPECT_FALSE(OpenClipboard()); });
        third.join();
        EXPECT_TRUE(CloseClipboard());
    });
    other.join();
}

TEST_F(StandInDevices, UnterminatedTextIsReadOnlyToTheBlocksEnd) {
    auto block = MemoryBlock::Allocate(5);  // two whole units and an odd byte
    block->Units()[0] = u'x';
    block->Units()[1] = u'"';
    block->Units()[2] = u'z';  // beyond the block's two units
    ASSERT_TRUE(OpenClipboard());
    ASSERT_TRUE(SetClipboardData(kClipboardUnicodeText, block));
    CloseClipboard();
    EXPECT_EQ(GetClipboardText(), u"x\"");
    EXPECT_THAT(RecordedEffects(), ElementsAre("clipboard 13 \"x\\\"\""));
}

TEST_F(StandInDevices, SoundAndLedRequestsAreRecorded) {
    EXPECT_TRUE(PlaySound(u"\\Nand\\a.wav", kSoundFileName | kSoundAsync));
    EXPECT_TRUE(LedSetDevice(kLedSettingsRequest, LedSettings{3, 1, 10000000, 0, 0, 0, 0}));
    EXPECT_FALSE(LedSetDevice(1, LedSettings{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_THAT(RecordedEffects(),
                ElementsAre("sound \"\\\\Nand\\\\a.wav\" 0x00020001", "led 3 1 10000000"));
    EXPECT_THAT(RecordedEffects("led"), ElementsAre("led 3 1 10000000"));
}

TEST_F(StandInDevices, TraceFileHoldsTheSameLinesInOrder) {
    test_support::TempDir dir;
    const std::string path = dir.Path() + "/trace.txt";
    {
        test_support::ScopedEnv trace("QV_PLATFORM_TRACE", path);
        PlaySound(u"a\tb", 1);
        LedSetDevice(kLedSettingsRequest, LedSettings{0, 0, 10000000, 0, 0, 0, 0});
    }
    PlaySound(u"untraced", 1);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "sound \"a\\tb\" 0x00000001\nled 0 0 10000000\n");
    EXPECT_EQ(RecordedEffects().size(), 3u);
}

TEST_F(StandInDevices, RecordKeepsOnlyTheNewestLines) {
    for (size_t i = 0; i < kMaxRecordedEffects + 2; ++i)
        RecordEffect("x " + std::to_string(i));
    const auto lines = RecordedEffects();
    ASSERT_EQ(lines.size(), kMaxRecordedEffects);
    EXPECT_EQ(lines.front(), "x 2");
}

intptr_t CountingProc(QVHWND window, uint32_t message, uintptr_t, intptr_t) {
    if (message == 0x0464) ++*static_cast<int*>(QVPlatformGetWindowUserData(window));
    return 0;
}

TEST_F(StandInDevices, CInterface) {
    int count = 0;
    QVHWND w = QVPlatformCreateWindow(u"CAPP", CountingProc, &count);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(QVPlatformFindWindow(u"capp"), w);
    EXPECT_EQ(QVPlatformPostMessage(w, 0x0464, 1, 0), 1);
    EXPECT_EQ(QVPlatformPumpMessagesFor(0), 1);
    EXPECT_EQ(count, 1);

    char line[8];
    EXPECT_EQ(QVPlatformRecordedEffectCount(), 1u);
    EXPECT_GT(QVPlatformGetRecordedEffect(0, line, sizeof line), 7);
    EXPECT_STREQ(line, "post 0x");  // cut and terminated
    EXPECT_EQ(QVPlatformGetRecordedEffect(1, line, sizeof line), -1);

    auto block = TextBlock(u"hello", 12);
    ASSERT_TRUE(OpenClipboard());
    EmptyClipboard();
    SetClipboardData(kClipboardUnicodeText, block);
    CloseClipboard();
    char16_t text[4];
    EXPECT_EQ(QVPlatformGetClipboardText(text, 4), 5);
    EXPECT_EQ(std::u16string(text), u"hel");

    EXPECT_EQ(QVPlatformDestroyWindow(w), 1);
    EXPECT_EQ(QVPlatformIsWindow(w), 0);
    QVPlatformClearRecordedEffects();
    EXPECT_EQ(QVPlatformRecordedEffectCount(), 0u);
}

int32_t EchoDriver(void* context, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                   uint32_t outSize, uint32_t* returned) {
    *static_cast<uint32_t*>(context) = code;
    // Claims more than the buffer holds: the platform keeps to the buffer.
    for (uint32_t i = 0; i < outSize && i < inSize; ++i)
        out[i] = static_cast<uint8_t>(in[i] + 1);
    *returned = outSize + 10;
    return code == 7 ? 1 : 0;
}

TEST_F(StandInDevices, CInterfacePlaysTheDevice) {
    uint32_t lastCode = 0;
    ASSERT_EQ(QVPlatformRegisterDriver("BAR1:", EchoDriver, &lastCode), 1);
    EXPECT_EQ(QVPlatformRegisterDriver("BAR1:", nullptr, nullptr), 0);
    auto handle = DriverHandle::Open("BAR1:");
    ASSERT_NE(handle, nullptr);
    const uint8_t in[2] = {1, 2};
    uint8_t out[3] = {9, 9, 9};
    EXPECT_EQ(handle->IoControl(7, in, 2, out, 3), 1);
    EXPECT_EQ(lastCode, 7u);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 3);
    EXPECT_EQ(handle->IoControl(3, in, 2, out, 3), 0);
    handle.reset();
    QVPlatformUnregisterDriver("BAR1:");
    EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr);

    auto queue = PowerMessageQueue::Create(4, 64);
    ASSERT_NE(queue, nullptr);
    auto subscription = PowerNotifications::Request(queue.get(), 0xFFFFFFFF);
    ASSERT_NE(subscription, nullptr);
    QVPlatformInjectPowerNotification(QV_PBT_TRANSITION, QV_POWER_STATE_SUSPEND, u"suspend");
    uint8_t message[64] = {};
    uint32_t read = 0;
    ASSERT_TRUE(queue->Read(message, sizeof message, &read, 5000));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(message), read),
              EncodePowerBroadcast(QV_PBT_TRANSITION, QV_POWER_STATE_SUSPEND, u"suspend"));
    subscription->Stop();
}

}  // namespace

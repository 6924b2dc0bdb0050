// Barcode delivery, as the stand-ins record it: the pure mappings, each
// receive type, prefix and suffix keys, the pauses, the notifications.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "delivery/barcode_delivery.h"
#include "delivery/process_items.h"
#include "delivery_fixture.h"
#include "platform/windows/clipboard.h"
#include "platform/windows/window.h"
#include "power/module_control.h"

using namespace qv;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

using delivery_test::DeliveryFixture;

std::string Hex(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lX",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
    return text;
}

TEST(CodeIdToSymbology, TableCharactersAndOthers) {
    EXPECT_EQ(CodeIdToSymbology('j'), 132);
    EXPECT_EQ(CodeIdToSymbology('1'), 1);
    EXPECT_EQ(CodeIdToSymbology('B'), 134);
    EXPECT_EQ(CodeIdToSymbology('9'), 0);
    EXPECT_EQ(CodeIdToSymbology(0), 0);
    EXPECT_EQ(CodeIdToSymbology(0xFF), 0);
    int known = 0;
    for (int c = 0; c < 256; ++c)
        known += CodeIdToSymbology(static_cast<uint8_t>(c)) != 0;
    EXPECT_EQ(known, 38);
}

TEST(CharToVirtualKey, EveryAsciiCharacterIsTypeableAndNothingAbove) {
    for (int c = 0; c < 0x80; ++c) {
        EXPECT_TRUE(CharToVirtualKey(static_cast<uint8_t>(c)).has_value()) << c;
    }
    for (int c = 0x80; c < 0x100; ++c) {
        EXPECT_FALSE(CharToVirtualKey(static_cast<uint8_t>(c)).has_value()) << c;
    }
    EXPECT_EQ(CharToVirtualKey('7'), (KeyStroke{0x37, false}));
    EXPECT_EQ(CharToVirtualKey('B'), (KeyStroke{0x42, true}));
    EXPECT_EQ(CharToVirtualKey('a'), (KeyStroke{0x41, false}));
    EXPECT_EQ(CharToVirtualKey('\r'), (KeyStroke{0x0D, false}));
    EXPECT_EQ(CharToVirtualKey(0x7F), (KeyStroke{0x7F, false}));
    EXPECT_EQ(CharToVirtualKey('&'), (KeyStroke{0x37, true}));
    EXPECT_EQ(CharToVirtualKey(')'), (KeyStroke{0x30, true}));
    EXPECT_EQ(CharToVirtualKey('@'), (KeyStroke{0x32, true}));
    EXPECT_EQ(CharToVirtualKey(':'), (KeyStroke{0xBA, true}));
    EXPECT_EQ(CharToVirtualKey('\''), (KeyStroke{0xDE, false}));
    EXPECT_EQ(CharToVirtualKey('"'), (KeyStroke{0xDE, true}));
    EXPECT_EQ(CharToVirtualKey('~'), (KeyStroke{0xC0, true}));
    EXPECT_EQ(CharToVirtualKey(' '), (KeyStroke{0x20, false}));
}

TEST(Delay, ModesGiveTheirDelays) {
    EXPECT_EQ(DelayForMode(2, 500), 10);
    EXPECT_EQ(EffectiveDelay(2, DelayForMode(2, 500)), 10);
    EXPECT_EQ(DelayForMode(7, 5000), 1000);
    EXPECT_EQ(EffectiveDelay(7, 1000), 1000);
    EXPECT_EQ(DelayForMode(4, 250), 250);
    // One huge pause would hold the reader, and a close, for as long.
    EXPECT_EQ(DelayForMode(4, 5000), 1000);
    EXPECT_EQ(DelayForMode(4, INT32_MAX), 1000);
    EXPECT_EQ(DelayForMode(0, 77), 0);
    EXPECT_EQ(DelayForMode(1, 77), 100);
    EXPECT_EQ(DelayForMode(3, 77), 1);
    EXPECT_EQ(DelayForMode(-1, -5), 0);
    // A negative delay in mode 4 would be an endless pause of the reader.
    EXPECT_EQ(DelayForMode(4, -1), 0);
    EXPECT_EQ(DelayForMode(4, INT32_MIN), 0);
    // The getter reports the mode's own delay for modes 0 to 3.
    EXPECT_EQ(EffectiveDelay(3, 999), 1);
}

class Delivery : public DeliveryFixture {
  protected:
    void Deliver(std::string_view payload) {
        Deliverer().DeliverBarcode(reinterpret_cast<const uint8_t*>(payload.data()),
                                   static_cast<int32_t>(payload.size()));
    }
    void KeyboardWithoutAffixes() {
        Deliverer().m_recvType = 1;
        SetAffixes(0, 0, 0, 0);
    }
    void SetAffixes(uint8_t p1, uint8_t p2, uint8_t s1, uint8_t s2) {
        Options().m_prefix1 = p1;
        Options().m_prefix2 = p2;
        Options().m_suffix1 = s1;
        Options().m_suffix2 = s2;
    }
    static std::vector<std::string> Keys() { return platform::RecordedEffects("key"); }
};

TEST_F(Delivery, KeyboardTypesEachCharacterWithShiftWhereNeeded) {
    KeyboardWithoutAffixes();
    platform::SetClockScale(0.05);
    Deliverer().SetDelay(4, 40);
    const uint32_t start = platform::GetTickCount();
    Deliver("ja&B");
    const uint32_t elapsed = platform::GetTickCount() - start;
    EXPECT_THAT(Keys(), ElementsAre("key 0x41 0 4", "key 0x41 0 2",                  // a
                                    "key 0x10 0 4", "key 0x37 0 4", "key 0x37 0 2",  // &
                                    "key 0x10 0 2",                                  //
                                    "key 0x10 0 4", "key 0x42 0 4", "key 0x42 0 2",  // B
                                    "key 0x10 0 2"));
    // One pause after "a", two each after "&" and "B".
    EXPECT_GE(elapsed, 5u * 40u);
    EXPECT_THAT(Log(), HasSubstr("[RO25]m_recvType : 1\r\n"));
}

TEST_F(Delivery, BytesThatCannotBeTypedAreSkipped) {
    KeyboardWithoutAffixes();
    Deliver(
        "j1\xE9\x80"
        "2");
    EXPECT_THAT(Keys(),
                ElementsAre("key 0x31 0 4", "key 0x31 0 2", "key 0x32 0 4", "key 0x32 0 2"));
    EXPECT_EQ(std::u16string(g_barcodeText), u"1\u00E9\u20AC2");  // CP1252 text
}

TEST_F(Delivery, ChordPrefixIsSentWithoutPauses) {
    KeyboardWithoutAffixes();
    SetAffixes(0x11, 0x56, 0, 0);
    Deliverer().SetDelay(4, 1000);
    const uint32_t start = platform::GetTickCount();
    Deliver("j");  // no text: only the chord
    EXPECT_LT(platform::GetTickCount() - start, 1000u);
    EXPECT_THAT(Keys(),
                ElementsAre("key 0x11 0 4", "key 0x56 0 4", "key 0x56 0 2", "key 0x11 0 2"));
}

TEST_F(Delivery, RawKeyPrefixAndTypedSuffix) {
    KeyboardWithoutAffixes();
    SetAffixes(0xFF, 0x0D, 0x0D, 0);
    Deliver("j7");
    EXPECT_THAT(Keys(), ElementsAre("key 0x0D 0 4", "key 0x0D 0 2",  // raw key before
                                    "key 0x37 0 4", "key 0x37 0 2",  // the text
                                    "key 0x0D 0 4", "key 0x0D 0 2"));
    platform::ClearRecordedEffects();
    SetAffixes(0xFF, 0, 0, 0);  // nothing to send
    Deliver("j");
    EXPECT_THAT(Keys(), IsEmpty());
}

TEST_F(Delivery, WithoutARegistryKeyEveryKeyboardOrClipboardBarcodeEndsWithLineFeed) {
    Options().LoadPrefix();
    Options().LoadSuffix();
    Deliverer().m_recvType = 1;
    Deliver("j1");
    EXPECT_THAT(Keys(),
                ElementsAre("key 0x31 0 4", "key 0x31 0 2", "key 0x0A 0 4", "key 0x0A 0 2"));
    platform::ClearRecordedEffects();
    Deliverer().m_recvType = 2;
    Deliver("j1");
    EXPECT_THAT(Keys(), ElementsAre("key 0x0A 0 4", "key 0x0A 0 2"));
}

intptr_t ShellProc(QVHWND, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

TEST_F(Delivery, ClipboardWithTheShellInFront) {
    QVHWND shell = platform::CreateWindow(u"TSSHELLWND", ShellProc);
    ASSERT_TRUE(platform::SetForegroundWindow(shell));
    Deliverer().m_recvType = 2;
    Deliverer().m_bPasteClipboard = 1;
    SetAffixes(0, 0, 0x0D, 0);
    Deliver("jAb-1");
    EXPECT_EQ(platform::GetClipboardText(), u"Ab-1");
    EXPECT_THAT(platform::RecordedEffects(),
                ElementsAre("clipboard 13 \"Ab-1\"",
                            "post " + Hex(shell) + " 0x0006 1 0x0 1",  // activation
                            "key 0x11 29 4", "key 0x56 47 4", "key 0x56 47 6",
                            "key 0x11 29 6",                                             // paste
                            "send 0xFFFF 0x0308 0 0", "key 0x0D 0 4", "key 0x0D 0 2"));  // suffix
    EXPECT_THAT(Log(), HasSubstr("[RO25]WM_ACTIVATE POSTMESSAE SUCCESS\r\n"));
    platform::DestroyWindow(shell);
}

TEST_F(Delivery, ClipboardWithoutPasteOrWithoutShell) {
    QVHWND other = platform::CreateWindow(u"APP", ShellProc);
    QVHWND shell = platform::CreateWindow(u"TSSHELLWND", ShellProc);
    ASSERT_TRUE(platform::SetForegroundWindow(other));  // the shell is behind
    Deliverer().m_recvType = 2;
    Deliverer().m_bPasteClipboard = 0;
    SetAffixes(0, 0, 0, 0);
    Deliver("jX");
    EXPECT_THAT(platform::RecordedEffects(),
                ElementsAre("clipboard 13 \"X\"", "send 0xFFFF 0x0308 0 0"));

    platform::DestroyWindow(shell);
    platform::ClearRecordedEffects();
    Deliverer().m_bPasteClipboard = 1;
    Deliver("jY");
    // No shell: no activation and no broadcast, but the paste still goes.
    EXPECT_THAT(platform::RecordedEffects(),
                ElementsAre("clipboard 13 \"Y\"", "key 0x11 29 4", "key 0x56 47 4", "key 0x56 47 6",
                            "key 0x11 29 6"));
    EXPECT_EQ(platform::GetClipboardText(), u"Y");
    platform::DestroyWindow(other);
}

TEST_F(Delivery, ClipboardRefusedKeepsGoing) {
    // Another thread holds the clipboard open for the whole delivery.
    platform::Event opened, release;
    std::thread holder([&] {
        platform::OpenClipboard();
        opened.Set();
        release.Wait(platform::kInfinite);
        platform::CloseClipboard();
    });
    opened.Wait(platform::kInfinite);
    Deliverer().m_recvType = 2;
    Deliverer().m_bPasteClipboard = 1;
    SetAffixes(0, 0, 0x0D, 0);
    Deliver("jZ");
    release.Set();
    holder.join();
    EXPECT_THAT(platform::RecordedEffects("clipboard"), IsEmpty());
    EXPECT_EQ(Keys().size(), 6u);  // the paste and the suffix still went
}

TEST_F(Delivery, ABlockedWindowCannotHoldTheReaderForEver) {
    // The shell's thread is blocked (as an application closing the imager
    // would be) and never takes the clipboard-change message.
    platform::SetClockScale(0.05);
    platform::Event created, release;
    std::thread shellThread([&] {
        platform::CreateWindow(u"TSSHELLWND", ShellProc);
        created.Set();
        release.Wait(platform::kInfinite);
    });
    created.Wait(platform::kInfinite);
    Deliverer().m_recvType = 2;
    SetAffixes(0, 0, 0x0D, 0);
    Deliver("jX");
    release.Set();
    shellThread.join();
    EXPECT_THAT(Log(),
                HasSubstr("[RO25]WM_DRAWCLIPBOARD not handled by every window within 5000 ms\r\n"));
    EXPECT_THAT(Keys(), ElementsAre("key 0x0D 0 4", "key 0x0D 0 2"));  // the suffix still went
}

struct Received {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::u16string text;
};

intptr_t AppProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_IMAGER_DATA) {
        auto* r = static_cast<Received*>(platform::GetWindowUserData(window));
        *r = Received{message, wParam, lParam, reinterpret_cast<const char16_t*>(lParam)};
    }
    return 0;
}

TEST_F(Delivery, WindowMessageCarriesSymbologyAndTheTextsAddress) {
    Received received;
    QVHWND app = platform::CreateWindow(u"APP", AppProc, &received);
    Deliverer().m_hWnd = app;
    Deliver("jHELLO");
    EXPECT_EQ(received.message, 0u);  // posted, not sent
    platform::PumpMessagesFor(0);
    EXPECT_EQ(received.message, static_cast<uint32_t>(WM_IMAGER_DATA));
    EXPECT_EQ(received.wParam, 132u);
    EXPECT_NE(received.lParam, reinterpret_cast<intptr_t>(g_barcodeText));  // its own copy
    EXPECT_EQ(received.text, u"HELLO");
    EXPECT_EQ(std::u16string(g_barcodeText), u"HELLO");
    EXPECT_THAT(Keys(), IsEmpty());
    platform::DestroyWindow(app);
}

// A loop busy while barcodes come back to back takes every text late, once
// and in order, each still its own while later ones arrive.
TEST_F(Delivery, ALoopThatTakesItsMessagesLateGetsEveryTextInOrder) {
    std::vector<std::u16string> texts;
    QVHWND app = platform::CreateWindow(
        u"APP",
        [](QVHWND window, uint32_t message, uintptr_t, intptr_t lParam) -> intptr_t {
            if (message == WM_IMAGER_DATA) {
                static_cast<std::vector<std::u16string>*>(platform::GetWindowUserData(window))
                    ->emplace_back(reinterpret_cast<const char16_t*>(lParam));
            }
            return 0;
        },
        &texts);
    Deliverer().m_hWnd = app;
    std::thread reader([this] {
        for (int i = 1; i <= 20; ++i)
            Deliver("jITEM-" + std::to_string(1000 + i));
    });
    reader.join();  // the loop was busy meanwhile
    platform::Message m{};
    ASSERT_TRUE(platform::PeekMessage(&m, nullptr, true));
    const auto* first = reinterpret_cast<const char16_t*>(m.lParam);
    std::thread more([this] { Deliver("jLATER"); });
    more.join();
    EXPECT_EQ(std::u16string(first), u"ITEM-1001");  // unchanged until the next take
    platform::DispatchMessage(m);
    platform::PumpMessagesFor(0);
    ASSERT_EQ(texts.size(), 21u);
    for (size_t i = 0; i < 20; ++i) {
        const std::string expected = "ITEM-" + std::to_string(1001 + i);
        EXPECT_EQ(texts[i], std::u16string(expected.begin(), expected.end()));
    }
    EXPECT_EQ(texts.back(), u"LATER");
    platform::DestroyWindow(app);
}

std::thread::id g_callbackThread;
int32_t g_callbackSymbology = -1;
std::u16string g_callbackText;

void Callback(int32_t symbology, const char16_t* text) {
    g_callbackThread = std::this_thread::get_id();
    g_callbackSymbology = symbology;
    g_callbackText = text;
}

TEST_F(Delivery, CallbackRunsOnTheDeliveringThreadInsteadOfAPost) {
    Received received;
    QVHWND app = platform::CreateWindow(u"APP", AppProc, &received);
    Deliverer().m_hWnd = app;
    Deliverer().m_bUseCallback = 1;
    g_pfnBarcodeCallback = Callback;
    Deliver("9abc");
    EXPECT_EQ(g_callbackThread, std::this_thread::get_id());
    EXPECT_EQ(g_callbackSymbology, 0);  // '9' names no symbology
    EXPECT_EQ(g_callbackText, u"abc");
    EXPECT_THAT(platform::RecordedEffects("post"), IsEmpty());
    platform::DestroyWindow(app);
}

TEST_F(Delivery, NoWindowMeansNeitherPostNorCallback) {
    Deliverer().m_bUseCallback = 1;
    g_callbackSymbology = -1;
    g_pfnBarcodeCallback = Callback;
    Deliver("jkept");
    EXPECT_EQ(g_callbackSymbology, -1);
    EXPECT_THAT(platform::RecordedEffects("post"), IsEmpty());
    EXPECT_THAT(Log(), HasSubstr("[RO25]m_hWnd == NULL\r\n"));
    EXPECT_EQ(std::u16string(g_barcodeText), u"kept");
}

TEST_F(Delivery, OtherReceiveTypesOnlyNotify) {
    Deliverer().m_recvType = 3;
    Deliverer().m_bUseSuccessSound = 1;
    Deliverer().m_successSoundType = 1;
    SetProcessSoundPath(1, u"\\Nand\\ok.wav");
    SetAffixes(0x31, 0, 0x0D, 0);
    Deliver("j1");
    EXPECT_THAT(platform::RecordedEffects(),
                ElementsAre("sound \"\\\\Nand\\\\ok.wav\" 0x00020001"));
    EXPECT_THAT(Log(), HasSubstr("[RO25]m_recvType : 3\r\n"));
}

TEST_F(Delivery, FailedReadTypeAloneGivesNoSound) {
    Deliverer().m_hWnd = nullptr;
    Deliverer().m_bUseFailSound = 1;
    Deliverer().m_failSoundType = 1;
    SetProcessSoundPath(0, u"fail.wav");
    Deliver("j1");
    EXPECT_THAT(platform::RecordedEffects("sound"), IsEmpty());
    EXPECT_THAT(platform::RecordedEffects("led"), IsEmpty());
}

TEST_F(Delivery, TriggerLineIsReleasedOnEveryBarcode) {
    Deliverer().m_recvType = 5;
    Deliver("j1");
    Deliver("j2");
    EXPECT_THAT(m_trigger.Levels(), ElementsAre(1, 1));
}

TEST_F(Delivery, LongestPayloadKeepsTheTextTerminated) {
    std::string payload(1024, 'x');
    payload[0] = 'j';
    Deliverer().m_recvType = 5;
    std::fill(std::begin(g_barcodeText), std::end(g_barcodeText), u'Q');
    Deliver(payload);
    EXPECT_EQ(std::u16string(g_barcodeText).size(), 1023u);
    Deliverer().DeliverBarcode(reinterpret_cast<const uint8_t*>("jab"), 2);  // only "a" counts
    EXPECT_EQ(std::u16string(g_barcodeText), u"a");
}

TEST_F(Delivery, LedFlashesOnceForTwoBarcodesWithin300Ms) {
    platform::SetClockScale(0.2);  // 300 ms last 60 ms
    Deliverer().m_recvType = 5;
    Deliverer().m_bUseSuccessSound = 1;
    Deliverer().m_successSoundType = 2;
    Deliver("j1");
    Deliver("j2");
    Deliverer().m_ledWorker.Join();
    EXPECT_THAT(platform::RecordedEffects("led"),
                ElementsAre("led 0 1 10000000", "led 0 0 10000000"));
    EXPECT_EQ(Deliverer().m_bLedBusy.load(), 0);
    Deliver("j3");  // the flash has ended: a new one starts
    Deliverer().m_ledWorker.Join();
    EXPECT_EQ(platform::RecordedEffects("led").size(), 4u);
}

TEST_F(Delivery, LedAndSoundForType3) {
    Deliverer().m_recvType = 5;
    Deliverer().m_bUseSuccessSound = 1;
    Deliverer().m_successSoundType = 3;
    SetProcessSoundPath(1, u"a.wav");
    Deliver("j1");
    Deliverer().m_ledWorker.Join();
    EXPECT_THAT(platform::RecordedEffects("led"),
                ElementsAre("led 0 1 10000000", "led 0 0 10000000"));
    EXPECT_THAT(platform::RecordedEffects("sound"), ElementsAre("sound \"a.wav\" 0x00020001"));
}

TEST_F(Delivery, ModelClass4FlashesLed3OnEveryBarcode) {
    WriteString(u"Ident", u"OrigName", u"PL6-2");
    platform::SetClockScale(0.1);
    ASSERT_EQ(ModuleControl::DetectModelClass(), 4);
    Deliverer().m_recvType = 5;
    for (int i = 0; i < 2; ++i) {
        Deliver("j1");
        Deliverer().m_modelLedWorker.Join();
    }
    EXPECT_THAT(platform::RecordedEffects("led"),
                ElementsAre("led 3 1 10000000", "led 3 0 10000000", "led 3 1 10000000",
                            "led 3 0 10000000"));
}

// Through the engine object: its model class reaches delivery, and
// destroying it waits for both flashes.
class EngineDelivery : public delivery_test::EngineFixture {};

TEST_F(EngineDelivery, DestroyingTheEngineWaitsForItsFlashes) {
    WriteString(u"Ident", u"OrigName", u"PL6-2");
    Engine().Delivery().m_recvType = 5;
    Engine().Delivery().m_bUseSuccessSound = 1;
    Engine().Delivery().m_successSoundType = 2;
    platform::SetClockScale(0.1);
    Engine().Delivery().DeliverBarcode(reinterpret_cast<const uint8_t*>("j1"), 2);
    m_engine.reset();  // with both flashes running
    EXPECT_THAT(platform::RecordedEffects("led"),
                ::testing::UnorderedElementsAre("led 3 1 10000000", "led 3 0 10000000",
                                                "led 0 1 10000000", "led 0 0 10000000"));
}

}  // namespace

// Scanning, with each way a barcode reaches the application.
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "QVPlatform.h"
#include "imager_fixture.h"
#include "platform/core/configuration.h"
#include "platform/driver/device_driver.h"

namespace engine_test {
namespace {

struct Received {
    std::mutex mutex;
    std::vector<std::pair<int32_t, std::u16string>> barcodes;

    void Add(int32_t symbology, const char16_t* text) {
        std::lock_guard lock(mutex);
        barcodes.emplace_back(symbology, text);
    }
    size_t Count() {
        std::lock_guard lock(mutex);
        return barcodes.size();
    }
};

Received g_received;

void OnBarcode(int32_t symbology, const char16_t* text) {
    g_received.Add(symbology, text);
}

std::function<void()> g_slowCallback;

void OnSlowBarcode(int32_t symbology, const char16_t* text) {
    g_received.Add(symbology, text);
    if (g_slowCallback) g_slowCallback();
}

std::atomic<bool> g_deviceLost{false};

intptr_t WindowProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_IMAGER_DEVICE_LOST) g_deviceLost = true;
    if (message == WM_IMAGER_DATA) {
        g_received.Add(static_cast<int32_t>(wParam), reinterpret_cast<const char16_t*>(lParam));
        return 0;
    }
    return QVPlatformDefWindowProc(window, message, wParam, lParam);
}

class ScanScenario : public ImagerScenario {
  protected:
    void SetUp() override {
        ImagerScenario::SetUp();
        {
            std::lock_guard lock(g_received.mutex);
            g_received.barcodes.clear();
        }
        QVPlatformClearRecordedEffects();
        g_deviceLost = false;
        m_window = QVPlatformCreateWindow(u"ScanTestWindow", WindowProc, nullptr);
        ASSERT_NE(m_window, nullptr);
        ASSERT_EQ(QVImagerOpen(), 1);
        ASSERT_EQ(QVImagerSetWindow(m_window), 1);
        ASSERT_EQ(QVImagerSetSymboleEnable(QV_SYM_CODE39, 1), 1);
        ASSERT_EQ(QVImagerSetSymboleEnable(QV_SYM_QR, 1), 1);
    }

    void TearDown() override {
        ImagerScenario::TearDown();
        QVPlatformDestroyWindow(m_window);
    }

    // Dispatches this thread's messages until `count` barcodes have arrived.
    bool PumpUntil(size_t count) {
        return Eventually([count] {
            QVPlatformPumpMessagesFor(5);
            return g_received.Count() >= count;
        });
    }

    std::vector<std::string> KeyLines() {
        std::vector<std::string> lines;
        char line[256];
        for (uint32_t i = 0; i < QVPlatformRecordedEffectCount(); ++i) {
            QVPlatformGetRecordedEffect(i, line, sizeof line);
            if (std::string(line).rfind("key ", 0) == 0) lines.emplace_back(line);
        }
        return lines;
    }

    QVHWND m_window = nullptr;
};

TEST_F(ScanScenario, CallbackGetsTheSymbologyAndTextOnTheReaderThread) {
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "ABC-123"));
    ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
    ASSERT_TRUE(Eventually([] { return g_received.Count() == 1; }));
    EXPECT_EQ(g_received.barcodes[0],
              std::make_pair(int32_t{QV_SYM_CODE39}, std::u16string(u"ABC-123")));
    // A decoded barcode ends the scan: the trigger is released again.
    EXPECT_TRUE(Eventually([this] { return m_sim->Lines().trigger; }));
}

TEST_F(ScanScenario, WindowMessageCarriesTheSymbologyAndTheTextsAddress) {
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_QR, "https://example.invalid/q"));
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    ASSERT_TRUE(PumpUntil(1));
    EXPECT_EQ(g_received.barcodes[0],
              std::make_pair(int32_t{QV_SYM_QR}, std::u16string(u"https://example.invalid/q")));
}

TEST_F(ScanScenario, NullCallbackAfterACallbackSwitchesBackToMessages) {
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "ONE"));
    ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
    ASSERT_TRUE(Eventually([] { return g_received.Count() == 1; }));
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "TWO"));
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    ASSERT_TRUE(PumpUntil(2));
    EXPECT_EQ(g_received.barcodes[1].second, u"TWO");
}

TEST_F(ScanScenario, KeyStrokesTypeTheTextAndTheSuffix) {
    ASSERT_EQ(QVImagerSetReceiveType(1), 1);
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "A1"));
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    // Shift+A, 1, then the default suffix 0x0A; each key pressed and released.
    const std::vector<std::string> expected = {"0x10", "0x41", "0x41", "0x10",
                                               "0x31", "0x31", "0x0A", "0x0A"};
    ASSERT_TRUE(Eventually([&] { return KeyLines().size() >= expected.size(); }));
    std::vector<std::string> codes;
    for (const auto& line : KeyLines())
        codes.push_back(line.substr(4, 4));
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(g_received.Count(), 0u);
}

TEST_F(ScanScenario, ClipboardReceivesTheText) {
    ASSERT_EQ(QVImagerSetReceiveType(2), 1);
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "CLIP-42"));
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    char16_t text[64] = {};
    ASSERT_TRUE(Eventually([&] {
        return QVPlatformGetClipboardText(text, 64) > 0 && std::u16string(text) == u"CLIP-42";
    }));
}

// A query made while the engine decodes: its answer arrives while the
// reader acknowledges and delivers the barcode, and is still taken. The
// waits are in the scaled clock, as the decode is.
TEST_F(ScanScenario, AQueryDuringAScanIsAnsweredAndTheBarcodeDelivered) {
    m_sim->SetDecodeTime(200);
    for (const uint32_t delayMs : {160u, 200u, 240u}) {
        const size_t before = g_received.Count();
        ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "SCAN-" + std::to_string(delayMs)));
        ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
        qv::platform::Sleep(delayMs);
        int32_t options[4] = {};
        EXPECT_EQ(QVImagerGetCode39Setting(&options[0], &options[1], &options[2], &options[3]), 1)
            << delayMs;
        EXPECT_TRUE(Eventually([before] { return g_received.Count() == before + 1; })) << delayMs;
    }
    EXPECT_EQ(m_log.Count("TIME OUT"), 0);
}

// While a slow callback or slow typing holds the reader, the engine's next
// barcode is acknowledged late and sent again, unchanged: each barcode
// still arrives exactly once, none lost, in order.
TEST_F(ScanScenario, BarcodesSentAgainAreDeliveredOnceInOrder) {
    m_sim->SetAckResendTime(100);
    m_sim->SetDecodeTime(50);
    for (const int32_t receiveType : {0, 1}) {
        QVPlatformClearRecordedEffects();
        const int before = m_log.Count("READ DATA[");
        ASSERT_EQ(QVImagerSetReceiveType(receiveType), 1);
        ASSERT_EQ(QVImagerSetDelay(4, 100), 1);  // keyboard: 100 ms a key
        for (const char* text : {"ITEM-A", "ITEM-B", "ITEM-C"})
            ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, text));
        if (receiveType == 0) {
            // Works 300 ms, re-arming the scan first, so the engine decodes
            // the next barcode while this one is still being taken.
            g_slowCallback = [] {
                QVImagerScanStart(OnSlowBarcode);
                qv::platform::Sleep(300);
            };
            ASSERT_EQ(QVImagerScanStart(OnSlowBarcode), 1);
        } else {
            // Re-armed as soon as each barcode is read, while it is typed.
            for (int i = 1; i <= 3; ++i) {
                ASSERT_EQ(QVImagerScanStart(nullptr), 1);
                ASSERT_TRUE(Eventually([&] { return m_log.Count("READ DATA[") >= before + i; }));
            }
        }
        ASSERT_TRUE(Eventually([&] { return m_log.Count("READ DATA[") == before + 3; }));
        qv::platform::Sleep(1500);  // long enough for any resend to be read
        EXPECT_EQ(m_log.Count("READ DATA["), before + 3) << receiveType;
        EXPECT_GE(m_log.Count("SENT AGAIN"), 1) << receiveType;
        if (receiveType == 0) {
            std::lock_guard lock(g_received.mutex);
            ASSERT_EQ(g_received.barcodes.size(), 3u);
            EXPECT_EQ(g_received.barcodes[0].second, u"ITEM-A");
            EXPECT_EQ(g_received.barcodes[1].second, u"ITEM-B");
            EXPECT_EQ(g_received.barcodes[2].second, u"ITEM-C");
            g_slowCallback = nullptr;
        } else {
            // Five shifted letters, the hyphen and the suffix each.
            EXPECT_EQ(KeyLines().size(), 3u * (5 * 4 + 2 + 2)) << receiveType;
        }
        ASSERT_EQ(QVImagerScanStop(), 1);
    }
}

TEST_F(ScanScenario, ScanStopReleasesTheTrigger) {
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    EXPECT_FALSE(m_sim->Lines().trigger);
    ASSERT_EQ(QVImagerScanStop(), 1);
    EXPECT_TRUE(m_sim->Lines().trigger);
    EXPECT_EQ(m_log.Count("[RO25]STOP SCAN\r\n"), 1);
}

TEST_F(ScanScenario, ALineThatHangsUpMidScanIsSaidOnceAndFailsLaterCommandsAtOnce) {
    ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
    m_sim->Stop();  // the line goes away, as an unplugged adapter does
    const std::string hungUp = "serial: " + std::string(::getenv("QV_PORT_COM2")) + " hung up";
    ASSERT_TRUE(Eventually([&] { return m_log.Count(hungUp) == 1; })) << m_log.Text();
    // The application's window is told.
    EXPECT_TRUE(Eventually([] {
        QVPlatformPumpMessagesFor(5);
        return g_deviceLost.load();
    }));
    qv::platform::SetClockScale(1.0);  // the wake pulse it must not pay is real time
    int32_t enabled = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QVImagerGetSymboleEnable(QV_SYM_CODE39, &enabled), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));
    EXPECT_EQ(m_log.Count(hungUp), 1);
}

// Whether this process still holds a descriptor of `path`.
bool HoldsOpen(const std::string& path) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) return true;
    }
    return false;
}

// The far end goes away while a command waits for its reply: the command
// fails then, not at its time-out; the application is told; every export
// gives -1 until a close; the tty is let go of at once; a new open works.
TEST_F(ScanScenario, ALineThatGoesAwayMidCommandIsOverAtOnce) {
    qv::platform::SetClockScale(1.0);  // a 3000 ms time-out that shows when it is run out
    const std::string slave = m_sim->SlavePath();
    ASSERT_TRUE(HoldsOpen(slave));
    qv::sim::Faults silent;
    silent.silent = true;
    m_sim->SetFaults(silent);
    const size_t queries = m_sim->CountReceived(qv::kTypeSetupQuery);
    std::atomic<int32_t> result{0};
    std::thread command([&] {
        int32_t enabled = 0;
        result = QVImagerGetSymboleEnable(QV_SYM_CODE39, &enabled);
    });
    ASSERT_TRUE(m_sim->WaitForReceived(qv::kTypeSetupQuery, queries + 1, 5000));
    const auto gone = std::chrono::steady_clock::now();
    m_sim->Stop();
    command.join();
    EXPECT_EQ(result.load(), -1);
    // Generous against the real 3000 ms the command would otherwise have waited.
    EXPECT_LT(std::chrono::steady_clock::now() - gone, std::chrono::milliseconds(2000));
    EXPECT_EQ(m_log.Count("TIME OUT"), 0) << m_log.Text();
    EXPECT_TRUE(Eventually([] {
        QVPlatformPumpMessagesFor(5);
        return g_deviceLost.load();
    }));
    EXPECT_FALSE(HoldsOpen(slave)) << "the tty is still open";
    EXPECT_EQ(QVImagerScanStart(nullptr), -1);
    EXPECT_EQ(QVImagerSetReceiveType(1), -1);
    EXPECT_EQ(m_log.Count("DEVICE LOST: the serial line went away"), 1) << m_log.Text();

    EXPECT_EQ(QVImagerClose(), 1);
    qv::platform::SetClockScale(kClockScale);
    StartSimulator();
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(QVImagerScanStart(nullptr), 1);
}

// The simulator's driver, until its device goes away (a GPIO chip removed).
class VanishingDriver final : public qv::platform::DeviceDriver {
  public:
    explicit VanishingDriver(std::shared_ptr<qv::platform::DeviceDriver> inner)
        : m_inner(std::move(inner)) {}
    int32_t IoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                      uint32_t* returned) override {
        *returned = 0;
        return gone ? 0 : m_inner->IoControl(code, in, out, returned);
    }
    bool Lost() const override { return gone.load(); }
    std::atomic<bool> gone{false};

  private:
    std::shared_ptr<qv::platform::DeviceDriver> m_inner;
};

TEST_F(ScanScenario, APowerDriverWhoseDeviceGoesAwayEndsTheImagerAndTellsTheWindow) {
    ASSERT_EQ(QVImagerClose(), 1);
    auto driver = std::make_shared<VanishingDriver>(m_sim->Driver());
    qv::platform::RegisterDriver("BAR1:", driver);
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerSetWindow(m_window), 1);
    driver->gone = true;
    EXPECT_EQ(QVImagerScanStart(nullptr), -1) << "the press that found it gone";
    EXPECT_TRUE(Eventually([] {
        QVPlatformPumpMessagesFor(5);
        return g_deviceLost.load();
    }));
    EXPECT_EQ(QVImagerScanStop(), -1);
    int32_t enabled = 0;
    EXPECT_EQ(QVImagerGetSymboleEnable(QV_SYM_CODE39, &enabled), -1);
    EXPECT_EQ(m_log.Count("DEVICE LOST: the power driver's device went away"), 1) << m_log.Text();
    EXPECT_EQ(m_log.Count("Barcode module pins controlled error!"), 0);

    EXPECT_EQ(QVImagerClose(), 1);
    qv::platform::RegisterDriver("BAR1:", m_sim->Driver());
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(QVImagerScanStart(nullptr), 1);
}

// The application changes the environment on its own thread while the
// reader delivers: the library reads it only when the imager is opened.
TEST_F(ScanScenario, TheEnvironmentMayChangeWhileBarcodesAreDelivered) {
    const std::string debug = ::getenv("QV_DEBUG_OUTPUT");
    const uint64_t reads = qv::platform::EnvironmentReads();
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; !done.load(); ++i) {
            ::setenv("QV_DEBUG_OUTPUT", i % 2 == 0 ? "/dev/null" : debug.c_str(), 1);
            ::setenv("QV_ANSI_CODEPAGE", i % 2 == 0 ? "CP1251" : "CP1252", 1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (size_t n = 1; n <= 3; ++n) {
        ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "ENV-" + std::to_string(n)));
        ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
        ASSERT_TRUE(Eventually([n] { return g_received.Count() == n; }));
    }
    done = true;
    changer.join();
    ::setenv("QV_DEBUG_OUTPUT", debug.c_str(), 1);
    ::unsetenv("QV_ANSI_CODEPAGE");
    EXPECT_EQ(qv::platform::EnvironmentReads(), reads);
    // The log kept going where it went when the imager was opened.
    EXPECT_EQ(m_log.Count("[RO25]\t----> [ThreadComProc] Start"), 1);
    EXPECT_GE(m_log.Count("[RO25]==> ACK SEND"), 3);
}

}  // namespace
}  // namespace engine_test

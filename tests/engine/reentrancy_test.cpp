// What an application may do from its barcode callback, its window
// procedures and its closing thread: calls that cannot work are refused at
// once, close stays bounded, and a callback that outlives the close is left
// to finish without touching anything that was freed.
#include <dirent.h>

#include <atomic>
#include <filesystem>
#include <functional>

#include "QVPlatform.h"
#include "imager_fixture.h"

namespace engine_test {
namespace {

constexpr uint32_t kCallMessage = QV_WM_USER + 1;  // posted: re-enter open and close
constexpr uint32_t kSentMessage = QV_WM_USER + 2;  // sent by a callback to the closer
constexpr uint32_t kCloseBoundMs = 1500;

size_t Count(const char* directory) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory))
        ++n;
    return n;
}

uint32_t Ticks() {
    return qv::platform::GetTickCount();
}

// What the callback and the window procedure do, set by each test.
struct Reentry {
    std::function<void()> inCallback;
    std::atomic<const char16_t*> text{nullptr};
    std::atomic<int> entered{0};
    std::atomic<int> returned{0};
    std::atomic<int> handledSends{0};
    std::atomic<int32_t> openFromWindow{0};
    std::atomic<int32_t> closeFromWindow{0};
    std::atomic<bool> closing{false};
};
Reentry* g_reentry = nullptr;

void Callback(int32_t, const char16_t* text) {
    g_reentry->text = text;
    ++g_reentry->entered;
    if (g_reentry->inCallback) g_reentry->inCallback();
    ++g_reentry->returned;
}

intptr_t WindowProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kCallMessage) {
        g_reentry->closeFromWindow = QVImagerClose();
        g_reentry->openFromWindow = QVImagerOpen();
        return 0;
    }
    if (message == kSentMessage) {
        // Handled inside the close's wait, which cannot be entered again.
        g_reentry->closeFromWindow = QVImagerClose();
        ++g_reentry->handledSends;
        return 42;
    }
    return QVPlatformDefWindowProc(window, message, wParam, lParam);
}

class ReentryScenario : public ImagerScenario {
  protected:
    void SetUp() override {
        ImagerScenario::SetUp();
        // Slower than the other scenarios, so the bounds in library time
        // leave room for the real time that file and socket work takes.
        qv::platform::SetClockScale(0.25);
        g_reentry = &m_reentry;
        m_window = QVPlatformCreateWindow(u"ReentryTestWindow", WindowProc, nullptr);
        ASSERT_NE(m_window, nullptr);
    }
    void TearDown() override {
        ImagerScenario::TearDown();
        QVPlatformDestroyWindow(m_window);
        g_reentry = nullptr;
    }

    void OpenForCallbacks() {
        ASSERT_EQ(QVImagerOpen(), 1);
        ASSERT_EQ(QVImagerSetWindow(m_window), 1);
        ASSERT_EQ(QVImagerSetSymboleEnable(QV_SYM_CODE39, 1), 1);
    }

    // Starts a scan that delivers one barcode to Callback and waits until the
    // callback has been entered.
    void ScanIntoCallback(const std::string& text = "R1") {
        const int before = m_reentry.entered;
        ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, text));
        ASSERT_EQ(QVImagerScanStart(Callback), 1);
        ASSERT_TRUE(Eventually([&] { return m_reentry.entered > before; }));
    }

    // Runs QVImagerClose; its duration in library milliseconds.
    uint32_t TimedClose() {
        const uint32_t start = Ticks();
        EXPECT_EQ(QVImagerClose(), 1);
        return Ticks() - start;
    }

    Reentry m_reentry;
    QVHWND m_window = nullptr;
};

TEST_F(ReentryScenario, CallsFromTheCallbackAreRefusedAtOnceOrWork) {
    OpenForCallbacks();
    struct Case {
        const char* name;
        std::function<int32_t()> call;
        int32_t expected;
    };
    char16_t version[3][256] = {};
    int32_t level = 0;
    const Case cases[] = {
        {"close", [] { return QVImagerClose(); }, -1},
        {"open", [] { return QVImagerOpen(); }, -1},
        {"get", [&] { return QVImagerGetSecurtyLevel(&level); }, -1},
        {"version", [&] { return QVImagerGetVersion(version[0], version[1], version[2]); }, -1},
        {"set", [] { return QVImagerSetCode39Setting(1, 0, 1, 0); }, -1},
        {"delivery option", [] { return QVImagerSetReceiveType(0); }, 1},
        {"delay", [] { return QVImagerSetDelay(4, 20); }, 1},
        {"scan stop", [] { return QVImagerScanStop(); }, 1},
    };
    for (const Case& c : cases) {
        std::atomic<int32_t> result{0};
        std::atomic<uint32_t> took{0};
        m_reentry.inCallback = [&] {
            const uint32_t start = Ticks();
            result = c.call();
            took = Ticks() - start;
        };
        const int before = m_reentry.returned;
        ScanIntoCallback();
        ASSERT_TRUE(Eventually([&] { return m_reentry.returned > before; })) << c.name;
        EXPECT_EQ(result.load(), c.expected) << c.name;
        // A refused command never waits for the reply time-out of 3000 ms.
        if (c.expected == -1) {
            EXPECT_LT(took.load(), 100u) << c.name;
        }
    }
    EXPECT_EQ(m_log.Count("[RO25]QVImagerClose refused: called on the reader thread"), 1);
    EXPECT_EQ(m_log.Count("[RO25]QVImagerOpen refused: called on the reader thread"), 1);
    EXPECT_EQ(m_log.Count("[RO25]Command refused: called on the reader thread"), 3);

    // The refused close left the imager open and working.
    m_reentry.inCallback = nullptr;
    EXPECT_EQ(QVImagerGetSecurtyLevel(&level), 1);
    ScanIntoCallback("R2");
    EXPECT_EQ(QVImagerClose(), 1);
    EXPECT_EQ(QVImagerClose(), 1);
}

TEST_F(ReentryScenario, WindowProcedureDuringTheOpensWaitCannotCloseOrReopen) {
    // Dispatched by the open's 300 ms wait; the quit message is the
    // application's and must still be there afterwards.
    ASSERT_EQ(QVPlatformPostMessage(m_window, kCallMessage, 0, 0), 1);
    QVPlatformPostQuitMessage(7);
    ASSERT_EQ(QVImagerOpen(), 1);
    EXPECT_EQ(m_reentry.closeFromWindow.load(), -1);
    EXPECT_EQ(m_reentry.openFromWindow.load(), -1);
    EXPECT_EQ(m_log.Count("QVImagerClose refused: an open or close is already under way"), 1);
    QVMSG msg{};
    ASSERT_EQ(QVPlatformPeekMessage(&msg, nullptr, 1), 1);
    EXPECT_EQ(msg.message, static_cast<uint32_t>(QV_WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);

    // The open went on with its own engine, which works and closes.
    EXPECT_EQ(QVImagerTestCommand(), 1);
    EXPECT_EQ(QVImagerClose(), 1);
}

TEST_F(ReentryScenario, CallbackThatSendsToTheClosingThreadDoesNotHoldTheClose) {
    OpenForCallbacks();
    std::atomic<intptr_t> answer{0};
    m_reentry.inCallback = [&] {
        while (!m_reentry.closing)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Handled only if the closing thread handles sent messages while it waits.
        answer = QVPlatformSendMessage(m_window, kSentMessage, 0, 0);
    };
    ScanIntoCallback();
    m_reentry.closing = true;
    EXPECT_LT(TimedClose(), kCloseBoundMs);
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(m_reentry.handledSends.load(), 1);
    EXPECT_EQ(m_reentry.closeFromWindow.load(), -1);
    // The reader ended in time; it was not left behind.
    EXPECT_EQ(m_log.Count("ThreadComProc is still in the application's code"), 0);
}

TEST_F(ReentryScenario, CallbackThatOutlivesTheCloseIsLeftToFinishSafely) {
    m_reentry.inCallback = [] { qv::platform::Sleep(5000); };
    qv::platform::SetClockScale(kClockScale);
    // The first open initialises the engine; the counts are taken after it.
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerClose(), 1);
    const size_t fds = Count("/proc/self/fd");
    const size_t threads = Count("/proc/self/task");
    // Unscaled for the cycle whose close is timed: the real time a close
    // spends on files and sockets would weigh too much in scaled time.
    qv::platform::SetClockScale(1.0);

    for (int i = 0; i < 50; ++i) {
        // The bound is checked on the first cycle; the others run faster.
        if (i == 1) qv::platform::SetClockScale(kClockScale);
        OpenForCallbacks();
        ScanIntoCallback("C" + std::to_string(i));
        const uint32_t took = TimedClose();
        if (i == 0) {
            EXPECT_LT(took, kCloseBoundMs);
        }
        // Returned while this cycle's callback still sleeps.
        EXPECT_LE(m_reentry.returned.load(), i) << "cycle " << i;
    }
    EXPECT_EQ(m_log.Count("ThreadComProc is still in the application's code"), 50);
    ASSERT_TRUE(Eventually([this] { return m_reentry.returned == 50; }, std::chrono::seconds(30)));
    EXPECT_TRUE(Eventually([fds] { return Count("/proc/self/fd") == fds; }));
    // Each reader left behind ends, and frees its engine, once its callback returns.
    EXPECT_TRUE(Eventually([threads] { return Count("/proc/self/task") == threads; }));
    EXPECT_EQ(m_log.Count("[ThreadComProc] Stop!!!!!!!"), 51);
}

// A callback left behind by a close goes on while the application has
// opened again: nothing it calls reaches the new session, and the text it
// was handed stays its own while a new barcode arrives.
TEST_F(ReentryScenario, ACallbackLeftBehindCannotReachTheNextSession) {
    std::atomic<bool> release{false};
    std::u16string before, after;
    int32_t results[3] = {};
    m_reentry.inCallback = [&] {
        before = m_reentry.text.load();
        ASSERT_TRUE(Eventually([&] { return release.load(); }));
        after = m_reentry.text.load();
        int32_t level = 0;
        results[0] = QVImagerScanStart(Callback);
        results[1] = QVImagerGetSecurtyLevel(&level);
        results[2] = QVImagerSetWindow(m_window);
    };
    OpenForCallbacks();
    ScanIntoCallback("FIRST-BARCODE");
    ASSERT_EQ(QVImagerClose(), 1);
    ASSERT_EQ(m_log.Count("ThreadComProc is still in the application's code"), 1);

    OpenForCallbacks();
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "SECOND"));
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    ASSERT_TRUE(Eventually([this] { return m_log.Count("SECOND]\r\n") == 1; }));
    // Decoded only if a scan were started from the old callback.
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "THIRD"));
    release = true;
    ASSERT_TRUE(Eventually([this] { return m_reentry.returned == 1; }));
    qv::platform::Sleep(400);
    EXPECT_EQ(before, u"FIRST-BARCODE");
    EXPECT_EQ(after, u"FIRST-BARCODE");
    EXPECT_EQ(results[0], -1);
    EXPECT_EQ(results[1], -1);
    EXPECT_EQ(results[2], -1);
    EXPECT_EQ(m_log.Count("Call refused: from a barcode callback that an earlier close"), 2);
    EXPECT_EQ(m_log.Count("THIRD]\r\n"), 0);
    EXPECT_TRUE(m_sim->Lines().trigger);  // released: no scan in the new session
}

TEST_F(ReentryScenario, CloseDuringSlowKeyStrokesEndsThePausesAndTypesTheRest) {
    ASSERT_EQ(QVImagerOpen(), 1);
    ASSERT_EQ(QVImagerSetSymboleEnable(QV_SYM_CODE39, 1), 1);
    ASSERT_EQ(QVImagerSetReceiveType(1), 1);
    // 3000 ms is more than one pause may last; it is held to 1000 ms.
    ASSERT_EQ(QVImagerSetDelay(4, 3000), 1);
    int32_t mode = 0, ms = 0;
    ASSERT_EQ(QVImagerGetDelay(&mode, &ms), 1);
    EXPECT_EQ(ms, 1000);

    QVPlatformClearRecordedEffects();
    const auto keys = [] {
        int n = 0;
        char line[128];
        for (uint32_t i = 0; i < QVPlatformRecordedEffectCount(); ++i) {
            QVPlatformGetRecordedEffect(i, line, sizeof line);
            if (std::string(line).rfind("key ", 0) == 0) ++n;
        }
        return n;
    };
    // Eight capitals, two pauses each: 16 s of typing at this delay.
    ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "ABCDEFGH"));
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    ASSERT_TRUE(Eventually([&] { return keys() > 0; }));
    EXPECT_LT(TimedClose(), kCloseBoundMs);
    // Nothing lost: Shift, key down, key up, Shift up for each letter, and the suffix.
    EXPECT_EQ(keys(), 8 * 4 + 2);
}

}  // namespace
}  // namespace engine_test

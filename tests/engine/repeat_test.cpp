// Many opens, scans and closes in one process leave nothing behind.
#include <dirent.h>

#include <atomic>
#include <filesystem>

#include "QVPlatform.h"
#include "imager_fixture.h"

namespace engine_test {
namespace {

size_t Count(const char* directory) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory))
        ++n;
    return n;
}

std::atomic<int> g_delivered{0};
void OnBarcode(int32_t, const char16_t*) {
    ++g_delivered;
}

TEST_F(ImagerScenario, TwoHundredOpenScanCloseCyclesLeakNoDescriptorOrThread) {
    // Barcodes reach a callback only while a target window is named.
    const QVHWND window =
        QVPlatformCreateWindow(u"RepeatTestWindow", QVPlatformDefWindowProc, nullptr);
    ASSERT_EQ(QVImagerOpen(), 1);  // the engine gets initialised once
    ASSERT_EQ(QVImagerSetSymboleEnable(QV_SYM_CODE39, 1), 1);
    ASSERT_EQ(QVImagerClose(), 1);
    const size_t fds = Count("/proc/self/fd");
    const size_t threads = Count("/proc/self/task");

    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(QVImagerOpen(), 1) << "cycle " << i;
        ASSERT_EQ(QVImagerSetWindow(window), 1);
        ASSERT_TRUE(m_sim->QueueBarcode(QV_SYM_CODE39, "R" + std::to_string(i)));
        ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
        ASSERT_TRUE(Eventually([i] { return g_delivered.load() == i + 1; })) << "cycle " << i;
        ASSERT_EQ(QVImagerClose(), 1);
    }
    EXPECT_EQ(Count("/proc/self/fd"), fds);
    // Threads that ended are gone from the task list once joined.
    EXPECT_TRUE(Eventually([threads] { return Count("/proc/self/task") == threads; }));
    QVPlatformDestroyWindow(window);
}

}  // namespace
}  // namespace engine_test

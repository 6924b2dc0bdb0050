// Target window, open, close and scan, and the close of an imager that a
// process leaves open when it exits.
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

#include "interface/export_guard.h"
#include "link/reader_gate.h"
#include "log/write_log.h"
#include "platform/core/clock.h"

using namespace qv;

std::atomic<int32_t> qv::g_enginePid{0};

namespace {

// How long the close at exit waits for an open or close of another thread.
constexpr uint32_t kExitLockWaitMs = 2000;
constexpr uint32_t kExitLockPollMs = 10;

// The owner of the current engine object; m_RO25 is its plain view for the
// exports. Shared so the reader can keep the object alive past a close that
// had to leave it in the application's callback. Never destroyed: an engine
// left open at exit is not taken down while the process ends.
std::shared_ptr<ImagerEngine>& g_engine = *new std::shared_ptr<ImagerEngine>;

// One open or close at a time in the process. A window procedure run by an
// open's or close's own wait (same thread) is refused instead of waiting on
// itself; see LifecycleCall.
std::mutex g_lifecycleLock;
thread_local bool t_inLifecycle = false;

// Why an open or close cannot run here, or null when it can.
const char16_t* RefusalOfLifecycleCall() {
    if (OnReaderThread()) {
        return u"called on the reader thread (from the barcode callback), which the close "
               u"would have to wait for";
    }
    if (t_inLifecycle) {
        return u"an open or close is already under way on this thread (called from a window "
               u"procedure during its wait)";
    }
    return nullptr;
}

// Runs `step` as the one open or close under way, or refuses with -1 and
// a log line naming `name` and the cause.
template <class Step>
int32_t LifecycleCall(const char16_t* name, Step&& step) noexcept {
    try {
        platform::ClearLastFailure();
        if (InForkedChild()) return RefuseInForkedChild();
        if (const char16_t* why = RefusalOfLifecycleCall()) {
            WriteLog(u"%s refused: %s\r\n", name, why);
            return Fail(EDEADLK,
                        "an open or close cannot run from the barcode callback or "
                        "from a window procedure during an open or close");
        }
        std::lock_guard lock(g_lifecycleLock);
        t_inLifecycle = true;
        struct Leave {
            ~Leave() { t_inLifecycle = false; }
        } leave;
        const int32_t result = step();
        if (result != 1 && platform::LastFailureCode() == 0) {
            platform::SetLastFailure(EIO,
                                     "the imager could not be opened; the library's log "
                                     "names the step");
        }
        return result;
    } catch (...) {
        return -1;
    }
}

// Takes the engine out of m_RO25 first, so an export re-entered while it
// closes finds no engine, then closes it. The object goes when its last
// owner lets go: here, or on a reader left behind, when its callback returns.
void CloseAndRelease() {
    std::shared_ptr<ImagerEngine> engine = std::move(g_engine);
    m_RO25.store(nullptr);
    engine->Close();
    g_enginePid.store(0);
}

// At normal process exit (return from main, exit()): an imager left open is
// closed as QVImagerClose would, so the engine is not left powered with its
// trigger asserted. Bounded: the close itself waits at most a second for
// the reader, and an open or close of another thread is waited for at most
// kExitLockWaitMs. Not in a forked child (the imager is the parent's), not
// on the reader thread (the close would wait for itself), not from inside
// an open or close of this thread.
void CloseAtExit() noexcept {
    try {
        if (InForkedChild() || OnReaderThread() || t_inLifecycle) return;
        std::unique_lock lock(g_lifecycleLock, std::try_to_lock);
        const uint32_t started = platform::GetTickCount();
        while (!lock.owns_lock() && platform::GetTickCount() - started < kExitLockWaitMs) {
            platform::Sleep(kExitLockPollMs);
            (void)lock.try_lock();
        }
        if (!lock.owns_lock()) {
            WriteLog(
                u"Process exit: an open or close of another thread is still under way; "
                u"the imager is left as it is\r\n");
            return;
        }
        if (!g_engine || g_engine->m_bEngineOpen.load() == 0) return;
        WriteLog(u"Process exit: closing the imager left open\r\n");
        g_engine->SetReceiveWnd(nullptr);
        CloseAndRelease();
    } catch (...) {
    }
}

// Registered by the first open, after the library's own statics exist, so
// it runs before they go.
void CloseAtExitOnce() {
    static std::once_flag registered;
    std::call_once(registered, [] { (void)std::atexit(CloseAtExit); });
}

}  // namespace

QV_EXPORT int32_t QVImagerSetWindow(QVHWND window) {
    WriteLog(u"QVImagerSetWindow 0x%X\r\n", window);
    return Guarded([window](ImagerEngine& engine) {
        engine.SetReceiveWnd(window);
        return true;
    });
}

QV_EXPORT int32_t QVImagerOpen(void) {
    return LifecycleCall(u"QVImagerOpen", [] {
        if (g_engine) CloseAndRelease();
        std::shared_ptr<ImagerEngine> engine;
        try {
            engine = std::make_shared<ImagerEngine>();
        } catch (const std::bad_alloc&) {
            return -1;
        }
        CloseAtExitOnce();
        g_engine = engine;
        g_enginePid.store(platform::CurrentProcessId());
        m_RO25.store(engine.get());
        return engine->Open(engine);
    });
}

QV_EXPORT int32_t QVImagerClose(void) {
    return LifecycleCall(u"QVImagerClose", [] {
        ImagerEngine* engine = g_engine.get();
        if (engine == nullptr) return 1;
        if (engine->m_bEngineOpen.load() == 0)
            return Fail(ENODEV, "no imager is open (its open failed)");
        engine->SetReceiveWnd(nullptr);
        CloseAndRelease();
        return 1;
    });
}

QV_EXPORT int32_t QVImagerScanStart(BarcodeCallback callback) {
    return Guarded([callback](ImagerEngine& engine) {
        engine.StartScan(callback);
        return true;
    });
}

QV_EXPORT int32_t QVImagerScanStop(void) {
    return Guarded([](ImagerEngine& engine) {
        engine.StopScan();
        return true;
    });
}

// The guard around every export but QVImagerOpen and QVImagerClose: no
// engine, or an engine that is not usable (closed, suspended, a device gone),
// gives -1 and changes nothing; otherwise the operation runs and its success
// gives 1, its failure (or a device found gone meanwhile) -1.
// No exception crosses the C boundary.
//
// Exports that exchange a command with the engine use GuardedCommand: on
// the reader thread (from the barcode callback) they are refused at once,
// since only that thread reads the engine's reply, so they could only run
// into the time-out. The delivery options, the target window and scan
// start and stop work from there.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string_view>
#include <utility>

#include "engine/imager_engine.h"
#include "link/reader_gate.h"
#include "log/write_log.h"
#include "platform/core/last_failure.h"
#include "platform/core/thread.h"

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

namespace qv {

// The process that opened the current engine object; 0 while there is none.
extern std::atomic<int32_t> g_enginePid;

// Keeps `why` as the calling thread's last failure; -1 for the export.
inline int32_t Fail(int code, std::string_view why) noexcept {
    platform::SetLastFailure(code, why);
    return -1;
}

// A child made with fork() while its parent had the imager open shares the
// parent's devices but not its threads: whatever it did would drive the
// parent's engine behind the parent's back, so it does nothing.
inline bool InForkedChild() noexcept {
    const int32_t owner = g_enginePid.load();
    return owner != 0 && owner != platform::CurrentProcessId();
}

inline int32_t RefuseInForkedChild() noexcept {
    return Fail(ECHILD,
                "called in a child made with fork(): the imager belongs to the parent process");
}

// A callback that a close left behind runs on a reader of an engine that is
// gone; the current engine, opened since, is not its to use.
inline bool RefusedForLeftBehindReader() noexcept {
    if (!OnLeftBehindReader()) return false;
    try {
        WriteLog(u"Call refused: from a barcode callback that an earlier close left behind\r\n");
    } catch (...) {
    }
    platform::SetLastFailure(EDEADLK,
                             "called from a barcode callback that an earlier close left behind");
    return true;
}

// Every export starts with no failure of its own, so after a -1 the cause
// is this call's.
template <class Op>
int32_t Guarded(Op&& op) noexcept {
    try {
        platform::ClearLastFailure();
        if (InForkedChild()) return RefuseInForkedChild();
        if (RefusedForLeftBehindReader()) return -1;
        ImagerEngine* engine = m_RO25.load();
        if (engine == nullptr) return Fail(ENODEV, "no imager is open");
        if (engine->m_bDeviceLost.load() != 0) {
            return Fail(ENODEV, "the engine's device went away; close and open the imager again");
        }
        if (engine->m_bActive.load() != 1) {
            return Fail(EAGAIN, "the device is suspended; the imager works again after the resume");
        }
        if (!engine->IsUsable()) return Fail(ENODEV, "no imager is open (its open failed)");
        const bool done = op(*engine);
        // A device found gone on the way did not do what was asked.
        if (done && engine->m_bDeviceLost.load() == 0) return 1;
        if (engine->m_bDeviceLost.load() != 0 && platform::LastFailureCode() == 0) {
            platform::SetLastFailure(ENODEV, "the engine's device went away");
        }
        // A step that found a cause has kept it; anything else is named here.
        if (platform::LastFailureCode() == 0) {
            platform::SetLastFailure(EIO, "the operation failed; the library's log names the step");
        }
        return -1;
    } catch (...) {
        return -1;
    }
}

template <class Op>
int32_t GuardedCommand(Op&& op) noexcept {
    if (OnReaderThread()) {
        platform::ClearLastFailure();
        try {
            WriteLog(
                u"Command refused: called on the reader thread (from the barcode "
                u"callback), which alone could read the engine's reply\r\n");
        } catch (...) {
        }
        return Fail(EDEADLK,
                    "a command cannot run from the barcode callback: only its thread could read "
                    "the engine's reply");
    }
    return Guarded(std::forward<Op>(op));
}

}  // namespace qv

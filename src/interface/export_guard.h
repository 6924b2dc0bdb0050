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

#include <cstdint>
#include <utility>

#include "engine/imager_engine.h"
#include "link/reader_gate.h"
#include "log/write_log.h"

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

namespace qv {

// A callback that a close left behind runs on a reader of an engine that is
// gone; the current engine, opened since, is not its to use.
inline bool RefusedForLeftBehindReader() noexcept {
    if (!OnLeftBehindReader()) return false;
    try {
        WriteLog(u"Call refused: from a barcode callback that an earlier close left behind\r\n");
    } catch (...) {
    }
    return true;
}

template <class Op>
int32_t Guarded(Op&& op) noexcept {
    try {
        if (RefusedForLeftBehindReader()) return -1;
        ImagerEngine* engine = m_RO25.load();
        if (engine == nullptr || !engine->IsUsable()) return -1;
        const bool done = op(*engine);
        // A device found gone on the way did not do what was asked.
        return done && engine->m_bDeviceLost.load() == 0 ? 1 : -1;
    } catch (...) {
        return -1;
    }
}

template <class Op>
int32_t GuardedCommand(Op&& op) noexcept {
    if (OnReaderThread()) {
        try {
            WriteLog(
                u"Command refused: called on the reader thread (from the barcode "
                u"callback), which alone could read the engine's reply\r\n");
        } catch (...) {
        }
        return -1;
    }
    return Guarded(std::forward<Op>(op));
}

}  // namespace qv

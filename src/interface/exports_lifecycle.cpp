// Target window, open, close and scan.
#include <new>

#include "interface/export_frame.h"
#include "interface/lifecycle.h"
#include "engine/write_log.h"

using namespace qv;

namespace {

// Trigger released then asserted: a fresh edge starts the engine's decode.
void StartScan(ImagerEngine& engine) {
    engine.m_serial.Purge();
    engine.m_module.SetTriggerLine(1);
    engine.m_module.SetTriggerLine(0);
}

}  // namespace

QV_EXPORT int32_t QVImagerSetWindow(QVHWND window) {
    WriteLog(u"QVImagerSetWindow 0x%X\r\n", window);
    return InFrame([window](ImagerEngine& engine) {
        engine.SetReceiveWnd(window);
        return true;
    });
}

QV_EXPORT int32_t QVImagerOpen(void) {
    try {
        if (ImagerEngine* old = m_RO25.load()) {
            CloseEngine(*old);
            m_RO25.store(nullptr);
            delete old;
        }
        auto* engine = new (std::nothrow) ImagerEngine();
        if (engine == nullptr) return -1;
        m_RO25.store(engine);
        return OpenImager(*engine);
    } catch (...) {
        return -1;
    }
}

QV_EXPORT int32_t QVImagerClose(void) {
    try {
        ImagerEngine* engine = m_RO25.load();
        if (engine == nullptr) return 1;
        if (engine->m_bEngineOpen.load() == 0) return -1;
        engine->SetReceiveWnd(nullptr);
        CloseEngine(*engine);
        m_RO25.store(nullptr);
        delete engine;
        return 1;
    } catch (...) {
        return -1;
    }
}

QV_EXPORT int32_t QVImagerScanStart(BarcodeCallback callback) {
    return InFrame([callback](ImagerEngine& engine) {
        if (callback != nullptr) {
            // Recorded before the trigger is asserted, so the barcode finds it.
            engine.m_bUseCallback = 1;
            g_pfnBarcodeCallback.store(callback);
        } else {
            engine.m_bUseCallback = 0;
            WriteLog(u"START SCAN\r\n");
        }
        StartScan(engine);
        return true;
    });
}

QV_EXPORT int32_t QVImagerScanStop(void) {
    return InFrame([](ImagerEngine& engine) {
        WriteLog(u"STOP SCAN\r\n");
        engine.m_module.SetTriggerLine(1);
        return true;
    });
}

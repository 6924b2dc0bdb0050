// Target window, open, close and scan.
#include "interface/export_frame.h"
#include "interface/lifecycle.h"
#include "interface/write_log.h"

using namespace qv;

QV_EXPORT int32_t QVImagerSetWindow(QVHWND window) {
    WriteLog(u"QVImagerSetWindow 0x%X\r\n", window);
    return InFrame([window](ImagerEngine& engine) {
        engine.SetReceiveWnd(window);
        return true;
    });
}

QV_EXPORT int32_t QVImagerOpen(void) {
    try {
        if (ImagerEngine* old = m_RO25.exchange(nullptr)) {
            CloseEngine(*old);
            delete old;
        }
        auto* engine = new (std::nothrow) ImagerEngine();
        if (engine == nullptr) return -1;
        m_RO25.store(engine);
        if (OpenEngine(*engine) == 0) return -1;
        return 1;
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
    (void)callback;
    return InFrame([](ImagerEngine&) { return false; });
}

QV_EXPORT int32_t QVImagerScanStop(void) {
    return InFrame([](ImagerEngine&) { return false; });
}

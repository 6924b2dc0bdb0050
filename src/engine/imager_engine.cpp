#include "engine/imager_engine.h"

#include "engine/write_log.h"
#include "power/power_watcher.h"

namespace qv {

std::atomic<ImagerEngine*> m_RO25{nullptr};
char16_t g_barcodeText[kTextUnits] = {};
std::atomic<BarcodeCallback> g_pfnBarcodeCallback{nullptr};
char16_t g_successSoundPath[kPathUnits] = {};
char16_t g_failSoundPath[kPathUnits] = {};

ImagerEngine::ImagerEngine() = default;

// The watcher uses the engine object until it ends, so it is ended first.
ImagerEngine::~ImagerEngine() {
    StopPowerWatcher(*this);
}

void ImagerEngine::SetReceiveWnd(QVHWND window) {
    m_hWnd.store(window);
    WriteLog(u"SetReceiveWnd 0x%X\r\n", window);
}

}  // namespace qv

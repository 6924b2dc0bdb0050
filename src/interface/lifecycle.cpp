#include "interface/lifecycle.h"

namespace qv {

void ResetEngineState(ImagerEngine& engine) {
    engine.m_bEngineOpen = 0;
    engine.m_hWnd = nullptr;
    engine.m_hRespEvent.reset();
    engine.m_delayMs = 1;
    engine.m_delayMode = 3;
    engine.m_bLedBusy = 0;
    engine.m_bModelLedBusy = 0;
    engine.m_recvType = 0;
    engine.m_bActive = 1;
    std::fill(std::begin(engine.m_recvData), std::end(engine.m_recvData), uint8_t{0});
    engine.m_recvLen = 0;
}

int32_t OpenEngine(ImagerEngine& engine) {
    ResetEngineState(engine);
    // No power driver binding exists yet, so the module cannot be powered.
    const int32_t result = 0;
    engine.m_bEngineOpen = result;
    return result;
}

void CloseEngine(ImagerEngine& engine) {
    engine.m_bIdle = 1;
}

}  // namespace qv

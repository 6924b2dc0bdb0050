// Placeholder until the power-line driver binding lands: every request fails.
#include "power/module_control.h"

namespace qv {

ModuleControl::ModuleControl() : m_modelClass(DetectModelClass()) {}
ModuleControl::~ModuleControl() = default;

int32_t ModuleControl::DetectModelClass() {
    return -1;
}
int32_t ModuleControl::OpenDriver() {
    return 0;
}
int32_t ModuleControl::CloseDriver() {
    m_hBAR.reset();
    return 1;
}
int32_t ModuleControl::BarcodeModuleGetPower(int32_t*) {
    return 0;
}
int32_t ModuleControl::BarcodeModuleSetPower(int32_t) {
    return 0;
}
int32_t ModuleControl::SetModulePower(int32_t) {
    return 0;
}
void ModuleControl::SetTriggerLine(uint8_t) {}
int32_t ModuleControl::SetWakeLine(uint8_t) {
    return 0;
}
void ModuleControl::WakePulse() {}
int32_t ModuleControl::SetLine(uint32_t, uint32_t) {
    return 0;
}
int32_t ModuleControl::GetLine(uint32_t, uint8_t*) {
    return 0;
}

}  // namespace qv

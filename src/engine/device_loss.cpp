#include "engine/device_loss.h"

#include "link/command_exchange.h"
#include "log/write_log.h"

namespace qv {

void DeviceLoss::Report(const char16_t* what) {
    if (m_lost.exchange(1) != 0) return;
    WriteLog(
        u"DEVICE LOST: %s went away; the imager is unusable until closed and opened "
        u"again\r\n",
        what);
    m_exchange.DeviceLost();
    m_application.DeviceLost();
}

}  // namespace qv

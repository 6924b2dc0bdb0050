#include "engine/device_loss.h"

#include "link/command_exchange.h"
#include "log/write_log.h"

namespace qv {

void DeviceLoss::Report(const char16_t* what) {
    if (m_reported.exchange(1) != 0) return;
    WriteLog(
        u"DEVICE LOST: %s went away; the imager is unusable until closed and opened "
        u"again\r\n",
        what);
    // The message is queued before any export can fail for the loss, so an
    // application that looks for it after a -1 finds it.
    m_application.DeviceLost();
    m_lost = 1;
    m_exchange.DeviceLost();
}

}  // namespace qv

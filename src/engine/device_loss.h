// What a device that went away ends, once per open: the engine stops being
// usable (every export gives -1 until a close and a new open), the command
// waiting for its reply fails at once, and the application's window is told
// with WM_IMAGER_DEVICE_LOST. The serial line and the power driver both
// report here.
#pragma once

#include <atomic>
#include <cstdint>

#include "link/reader_actions.h"

namespace qv {

class CommandExchange;

class DeviceLoss final : public LinkLossSink {
  public:
    DeviceLoss(std::atomic<int32_t>& lost, CommandExchange& exchange, BarcodeSink& application)
        : m_lost(lost), m_exchange(exchange), m_application(application) {}
    DeviceLoss(const DeviceLoss&) = delete;
    DeviceLoss& operator=(const DeviceLoss&) = delete;

    void LinkLost() override { Report(u"the serial line"); }
    void DriverLost() { Report(u"the power driver's device"); }

  private:
    void Report(const char16_t* what);

    std::atomic<int32_t>& m_lost;
    CommandExchange& m_exchange;
    BarcodeSink& m_application;
    std::atomic<int32_t> m_reported{0};
};

}  // namespace qv

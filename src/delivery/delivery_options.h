// Delivery options kept in the registry key "VARN\QV_BarcodeAPI".
#pragma once

#include <cstdint>

namespace qv {

class DeliveryOptions {
  public:
    DeliveryOptions() = default;

    uint8_t m_prefix1 = 0;
    uint8_t m_prefix2 = 0;
    uint8_t m_suffix1 = 0;
    uint8_t m_suffix2 = 0;
    int32_t m_receiveType = 0;
};

}  // namespace qv

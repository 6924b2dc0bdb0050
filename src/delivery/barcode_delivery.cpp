// Placeholder until barcode delivery lands.
#include "delivery/barcode_delivery.h"

namespace qv {

void DeliverBarcode(ImagerEngine&, const uint8_t*, int32_t) {}

}  // namespace qv

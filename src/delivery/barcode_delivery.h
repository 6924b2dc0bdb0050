// Hands a decoded barcode to the application: trigger release, good-read
// notification, code-ID to symbology number, and the active receive type.
#pragma once

#include <cstdint>

namespace qv {

class ImagerEngine;

// Called on the reader thread with the BARCODE_DATA payload (code-ID
// character first, then the text in the device's ANSI code page), 1..1024 bytes.
void DeliverBarcode(ImagerEngine& engine, const uint8_t* payload, int32_t n);

}  // namespace qv

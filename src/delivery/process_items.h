// Process-wide items of delivery that outlive each engine object: the text
// of the last barcode, the callback named by the last scan start that named
// one, and the sound paths.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "QV_Rizoviv2I_RO25.h"

namespace qv {

inline constexpr size_t kTextUnits = 1024;
inline constexpr size_t kPathUnits = 512;

// Text of the last decoded barcode, handed to the application by address.
extern char16_t g_barcodeText[kTextUnits];
extern std::atomic<BarcodeCallback> g_pfnBarcodeCallback;
extern char16_t g_successSoundPath[kPathUnits];
extern char16_t g_failSoundPath[kPathUnits];

// The sound paths, which the reader reads while the application may change
// them. which 1: good read, any other: failed read.
void SetProcessSoundPath(int32_t which, std::u16string_view path);
// Copies the path with its terminator into `out`, which holds 512 units.
void CopyProcessSoundPath(int32_t which, char16_t* out);

}  // namespace qv

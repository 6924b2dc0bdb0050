// What every binding of the "BAR1:" driver shares: its cause lines and the
// check of a request's buffers.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv::platform {

// The cause line every driver binding writes: "<device> <what>".
void DiagnoseDriver(std::string_view device, std::string_view what);

inline bool ValidBuffers(const void* in, uint32_t inSize, const void* out, uint32_t outSize) {
    return (in != nullptr || inSize == 0) && (out != nullptr || outSize == 0);
}

}  // namespace qv::platform

// What every binding of the "BAR1:" driver shares: its cause lines and the
// check of a request's buffers.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv::platform {

// A line about the driver that is no failure: "<device> <what>".
void NoteDriver(std::string_view device, std::string_view what);

// The cause line every driver binding writes for a failure, "<device>
// <what>", which also becomes the calling thread's last failure with
// `code`. Code 0 takes it from the line: errno when the line carries the
// system's text for it, EINVAL when it quotes a binding's value, EBUSY for
// a device held by another opener, else ENODEV (the driver cannot switch
// the lines).
void DiagnoseDriver(std::string_view device, std::string_view what, int code = 0);

// The code DiagnoseDriver gives a line without one, with `error` the errno
// of the moment.
int DriverFailureCode(std::string_view what, int error);

inline bool ValidBuffers(const void* in, uint32_t inSize, const void* out, uint32_t outSize) {
    return (in != nullptr || inSize == 0) && (out != nullptr || outSize == 0);
}

}  // namespace qv::platform

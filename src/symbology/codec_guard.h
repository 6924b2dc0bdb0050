// The codecs must never let an exception out: one is caught, named in the
// log by its kind and message, and the codec reports failure (0).
#pragma once

#include <cstdint>
#include <exception>
#include <utility>

namespace qv {

// Writes "Memory Exception [...]", "File Exception [...]" or
// "Exception [...]" for the exception in flight, with its message cut to
// 512 characters.
void LogCodecException(std::exception_ptr error) noexcept;

template <class Op>
int32_t GuardCodec(Op&& op) noexcept {
    try {
        return std::forward<Op>(op)();
    } catch (...) {
        LogCodecException(std::current_exception());
        return 0;
    }
}

}  // namespace qv

// The stand-in clipboard: one thread at a time opens it, empties it and puts
// data on it. Setting Unicode text (format 13) is recorded and traced as
// clipboard 13 "<text>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform_api.h"

namespace qv::platform {

inline constexpr uint32_t kClipboardUnicodeText = 13;

// A zero-filled block of memory that data is handed to the clipboard in.
class QV_PLATFORM_API MemoryBlock {
  public:
    // Null when the memory cannot be had.
    static std::unique_ptr<MemoryBlock> Allocate(size_t bytes);

    size_t Size() const { return m_bytes; }
    // Room for Size() / 2 UTF-16 units.
    char16_t* Units() { return m_units.get(); }
    const char16_t* Units() const { return m_units.get(); }

  private:
    MemoryBlock(std::unique_ptr<char16_t[]> units, size_t bytes)
        : m_units(std::move(units)), m_bytes(bytes) {}
    std::unique_ptr<char16_t[]> m_units;
    size_t m_bytes;
};

// Opens the clipboard for the calling thread, without an owner window; false
// while another thread has it open. A thread that ends leaves it closed.
QV_PLATFORM_API bool OpenClipboard();
// Needs the clipboard open by the calling thread.
QV_PLATFORM_API bool EmptyClipboard();
// Needs the clipboard open by the calling thread. On success the clipboard
// owns the block and `block` is left null; on failure the caller keeps it.
QV_PLATFORM_API bool SetClipboardData(uint32_t format, std::unique_ptr<MemoryBlock>& block);
QV_PLATFORM_API bool CloseClipboard();

// Whether the clipboard is the system's, where other applications paste
// from; the stand-in's is the library's own.
QV_PLATFORM_API bool ClipboardReachesSystem();

// The Unicode text on the clipboard (up to its terminator), if any.
QV_PLATFORM_API std::optional<std::u16string> GetClipboardText();

}  // namespace qv::platform

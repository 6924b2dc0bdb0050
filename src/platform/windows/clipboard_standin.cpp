#include <mutex>
#include <new>
#include <thread>

#include "platform/log/trace.h"
#include "platform/windows/clipboard.h"
#include "platform/windows/message_record.h"

namespace qv::platform {
namespace {

struct Clipboard {
    std::mutex mutex;
    std::thread::id opener;  // default id: closed
    uint32_t format = 0;
    std::unique_ptr<MemoryBlock> data;
};

Clipboard& TheClipboard() {
    static Clipboard* clipboard = new Clipboard;
    return *clipboard;
}

// The text of a block: its units up to the terminator, never past its end.
std::u16string TextOf(const MemoryBlock& block) {
    const size_t units = block.Size() / 2;
    size_t length = 0;
    while (length < units && block.Units()[length] != 0)
        ++length;
    return std::u16string(block.Units(), length);
}

bool OpenedByThisThread(const Clipboard& clipboard) {
    return clipboard.opener == std::this_thread::get_id();
}

struct ThreadExit {
    ~ThreadExit() {
        Clipboard& clipboard = TheClipboard();
        std::lock_guard lock(clipboard.mutex);
        if (OpenedByThisThread(clipboard)) clipboard.opener = std::thread::id();
    }
};

}  // namespace

std::unique_ptr<MemoryBlock> MemoryBlock::Allocate(size_t bytes) {
    const size_t units = bytes / 2 + 1;
    std::unique_ptr<char16_t[]> memory(new (std::nothrow) char16_t[units]());
    if (!memory) return nullptr;
    return std::unique_ptr<MemoryBlock>(new (std::nothrow) MemoryBlock(std::move(memory), bytes));
}

bool OpenClipboard() {
    thread_local ThreadExit exitGuard;
    (void)exitGuard;
    Clipboard& clipboard = TheClipboard();
    std::lock_guard lock(clipboard.mutex);
    if (clipboard.opener != std::thread::id() && !OpenedByThisThread(clipboard)) return false;
    clipboard.opener = std::this_thread::get_id();
    return true;
}

bool EmptyClipboard() {
    Clipboard& clipboard = TheClipboard();
    std::lock_guard lock(clipboard.mutex);
    if (!OpenedByThisThread(clipboard)) return false;
    clipboard.data.reset();
    clipboard.format = 0;
    return true;
}

bool SetClipboardData(uint32_t format, std::unique_ptr<MemoryBlock>& block) {
    Clipboard& clipboard = TheClipboard();
    std::lock_guard lock(clipboard.mutex);
    if (!OpenedByThisThread(clipboard) || !block) return false;
    const std::u16string text = format == kClipboardUnicodeText ? TextOf(*block) : std::u16string();
    clipboard.format = format;
    clipboard.data = std::move(block);
    RecordEffect("clipboard " + std::to_string(format) + " " + QuoteTraceString(text));
    return true;
}

bool CloseClipboard() {
    Clipboard& clipboard = TheClipboard();
    std::lock_guard lock(clipboard.mutex);
    if (!OpenedByThisThread(clipboard)) return false;
    clipboard.opener = std::thread::id();
    return true;
}

bool ClipboardReachesSystem() {
    return false;
}

std::optional<std::u16string> GetClipboardText() {
    Clipboard& clipboard = TheClipboard();
    std::lock_guard lock(clipboard.mutex);
    if (!clipboard.data || clipboard.format != kClipboardUnicodeText) return std::nullopt;
    return TextOf(*clipboard.data);
}

}  // namespace qv::platform

#include "delivery/process_items.h"

#include <algorithm>
#include <mutex>

#include "platform/text/utf.h"

namespace qv {

char16_t g_barcodeText[kTextUnits] = {};
std::atomic<BarcodeCallback> g_pfnBarcodeCallback{nullptr};
char16_t g_successSoundPath[kPathUnits] = {};
char16_t g_failSoundPath[kPathUnits] = {};

namespace {

std::mutex& SoundPathLock() {
    static std::mutex lock;
    return lock;
}

char16_t* ProcessSoundPath(int32_t which) {
    return which == 1 ? g_successSoundPath : g_failSoundPath;
}

}  // namespace

void SetProcessSoundPath(int32_t which, std::u16string_view path) {
    std::lock_guard lock(SoundPathLock());
    char16_t* target = ProcessSoundPath(which);
    const size_t length = platform::CutUnits(path, kPathUnits - 1);
    std::fill(target, target + kPathUnits, u'\0');
    std::copy_n(path.data(), length, target);
}

void CopyProcessSoundPath(int32_t which, char16_t* out) {
    std::lock_guard lock(SoundPathLock());
    const char16_t* source = ProcessSoundPath(which);
    const size_t length = std::find(source, source + kPathUnits - 1, u'\0') - source;
    std::copy_n(source, length, out);
    out[length] = u'\0';
}

}  // namespace qv

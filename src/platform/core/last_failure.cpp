#include "platform/core/last_failure.h"

#include <algorithm>

namespace qv::platform {
namespace {

// A line, not a report: longer texts are cut at a whole character.
constexpr size_t kMaxTextBytes = 512;

// Nothing to destroy, so it may still be set while the process exits, after
// the thread's other storage has gone.
struct LastFailure {
    int code;
    size_t length;
    char text[kMaxTextBytes];
};

thread_local LastFailure t_failure{};

}  // namespace

std::string_view CutUtf8(std::string_view text, size_t bytes) {
    if (text.size() <= bytes) return text;
    size_t end = bytes;
    // Back off over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

void SetLastFailure(int code, std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    text = CutUtf8(text, kMaxTextBytes);
    t_failure.code = code;
    t_failure.length = text.size();
    std::copy(text.begin(), text.end(), t_failure.text);
}

void ClearLastFailure() {
    t_failure.code = 0;
    t_failure.length = 0;
}

int LastFailureCode() {
    return t_failure.code;
}

std::string LastFailureText() {
    return std::string(t_failure.text, t_failure.length);
}

}  // namespace qv::platform

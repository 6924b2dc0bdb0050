#include "link/repeat_filter.h"

#include <algorithm>

namespace qv {

bool RepeatFilter::IsRepeat(uint8_t sequence, std::span<const uint8_t> data, uint32_t now) {
    const size_t length = std::min(data.size(), kReceiveBufferSize);
    for (const Seen& s : m_seen) {
        if (s.used && s.sequence == sequence && s.length == length &&
            now - s.at < kRepeatWindowMs &&
            std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length),
                       s.bytes.begin())) {
            return true;
        }
    }
    Seen& slot = m_seen[m_next];
    m_next = (m_next + 1) % kKept;
    slot.used = true;
    slot.sequence = sequence;
    slot.at = now;
    slot.length = length;
    std::copy_n(data.begin(), length, slot.bytes.begin());
    return false;
}

}  // namespace qv

#include "bench/line_tally.h"

#include <algorithm>

#include "link/frame.h"
#include "symbology/symbology_settings.h"

namespace qv::bench {
namespace {

constexpr uint8_t kBarcodeDataType = 0x60;
constexpr uint8_t kSetupQueryType = 0x40;
// Start, sequence, type and the length field: two bytes, three when escaped.
constexpr size_t kLengthFieldEnd = 6;

}  // namespace

bool BarcodeEndTracker::Feed(std::span<const uint8_t> bytes) {
    if (m_left == 0) {
        // A frame begins here, or a barcode frame's first bytes go on.
        if (m_head.empty() && (bytes.empty() || bytes[0] != kStartByte)) return false;
        const size_t take = std::min(bytes.size(), kLengthFieldEnd - m_head.size());
        m_head.insert(m_head.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(take));
        bytes = bytes.subspan(take);
        if (m_head.size() >= 3 && m_head[2] != kBarcodeDataType) {
            m_head.clear();
            return false;
        }
        const auto length = DecodeBarcodeLength(m_head.data(), m_head.size());
        if (!length) {
            if (m_head.size() >= kLengthFieldEnd) m_head.clear();  // no length field to read
            return false;
        }
        // The whole frame: header and data, management, checksum, stop.
        const size_t total = length->dataOffset + length->length + 4;
        m_left = total - std::min(total, m_head.size());
        m_head.clear();
        if (m_left == 0) return true;
    }
    const size_t take = std::min(m_left, bytes.size());
    m_left -= take;
    return take > 0 && m_left == 0;
}

bool IsRecordQuery(uint8_t type, size_t payloadLength) {
    if (type != kSetupQueryType) return false;
    const auto n = static_cast<int32_t>(payloadLength);
    return n == kEnableQueryLength || n == kDetailQueryLength || n == kOtherQueryLength;
}

}  // namespace qv::bench

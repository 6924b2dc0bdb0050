#include "sim/frame_codec.h"

#include <algorithm>
#include <cstdio>

#include "sim/parameter_table.h"

namespace qv::sim {
namespace {

bool IsShortType(uint8_t type) {
    return type == frame_type::kAck || type == frame_type::kNak || type == frame_type::kBusy ||
           type == frame_type::kResend;
}

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
    return text;
}

// Printable ASCII as is, everything else as \xNN, cut after `limit` bytes.
std::string Quote(std::span<const uint8_t> bytes, size_t limit = 64) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
            out += static_cast<char>(b);
        } else {
            out += "\\x" + Hex2(b);
        }
    }
    out += "\"";
    if (bytes.size() > limit) out += "...";
    return out;
}

std::string DescribeEntries(std::span<const uint8_t> payload) {
    bool complete = true;
    const auto entries = ParseEntries(payload, &complete);
    std::string out = "{";
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (i > 0) out += ", ";
        out += Hex2(e.group) + " " + Hex2(e.parameter) + "=" +
               (ValueWidth(e.parameter) == 2 ? Hex4(e.value) : Hex2(e.value));
    }
    if (!complete) out += " + incomplete entry";
    return out + "}";
}

std::string DescribePairs(std::span<const uint8_t> payload) {
    bool complete = true;
    const auto pairs = ParsePairs(payload, &complete);
    std::string out = "{";
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0) out += ", ";
        out += Hex2(pairs[i].first) + " " + Hex2(pairs[i].second);
    }
    if (!complete) out += " + odd byte";
    return out + "}";
}

// Version entries: group 0x30, a parameter of 0x80 and above, two filler
// bytes, then the text up to the next such entry.
std::string DescribeStatus(std::span<const uint8_t> p) {
    auto isEntry = [&](size_t i) { return i + 1 < p.size() && p[i] == 0x30 && p[i + 1] >= 0x80; };
    std::string out = "{";
    size_t pos = 0;
    while (pos < p.size()) {
        if (!isEntry(pos) || pos + 4 > p.size()) {
            out += "+ " + HexBytes(p.subspan(pos));
            break;
        }
        size_t end = pos + 4;
        while (end < p.size() && !isEntry(end))
            ++end;
        if (pos > 0) out += ", ";
        out +=
            Hex2(p[pos]) + " " + Hex2(p[pos + 1]) + " " + Quote(p.subspan(pos + 4, end - pos - 4));
        pos = end;
    }
    return out + "}";
}

std::string DescribeBarcode(std::span<const uint8_t> p) {
    if (p.size() < 2) return "{" + HexBytes(p) + "}";
    size_t offset = 2;
    unsigned low = p[1];
    if (low == kEscape && p.size() >= 3) {
        low = static_cast<uint8_t>(p[2] - 0x40);
        offset = 3;
    }
    const size_t length = static_cast<size_t>(p[0]) * 256 + low;
    const auto data = p.subspan(offset);
    std::string out = "len=" + std::to_string(length);
    if (data.size() != length) out += " (carries " + std::to_string(data.size()) + ")";
    if (!data.empty()) out += " id=" + Quote(data.first(1)) + " " + Quote(data.subspan(1));
    return out;
}

}  // namespace

uint16_t Checksum(std::span<const uint8_t> bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 1; i < count && i < bytes.size(); ++i) {
        sum += static_cast<uint32_t>(bytes[i]) * static_cast<uint32_t>(count - i);
    }
    return static_cast<uint16_t>(sum);
}

std::vector<uint8_t> BuildFrame(uint8_t sequence, uint8_t type, std::span<const uint8_t> payload,
                                uint8_t management) {
    std::vector<uint8_t> f{kStart, sequence, type};
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(management);
    const uint16_t sum = Checksum(f, f.size());
    f.push_back(static_cast<uint8_t>(sum >> 8));
    f.push_back(static_cast<uint8_t>(sum));
    f.push_back(kStop);
    return f;
}

std::vector<uint8_t> BuildShortFrame(uint8_t sequence, uint8_t type, uint8_t argument) {
    return {kStart, sequence, type, argument, kStop};
}

std::vector<uint8_t> BuildBarcodeFrame(uint8_t sequence, uint8_t management,
                                       std::span<const uint8_t> data) {
    std::vector<uint8_t> payload;
    const auto high = static_cast<uint8_t>(data.size() >> 8);
    const auto low = static_cast<uint8_t>(data.size());
    payload.push_back(high);
    if (low == kStart || low == kStop || low == kEscape) {
        payload.push_back(kEscape);
        payload.push_back(static_cast<uint8_t>(low + 0x40));
    } else {
        payload.push_back(low);
    }
    payload.insert(payload.end(), data.begin(), data.end());
    return BuildFrame(sequence, frame_type::kBarcodeData, payload, management);
}

std::optional<Frame> DecodeFrame(std::span<const uint8_t> raw) {
    if (raw.size() < 5 || raw.front() != kStart || raw.back() != kStop || raw.size() == 6) {
        return std::nullopt;
    }
    Frame f;
    f.raw.assign(raw.begin(), raw.end());
    f.sequence = raw[1];
    f.type = raw[2];
    if (raw.size() == 5) {
        f.isShort = true;
        f.argument = raw[3];
        return f;
    }
    const size_t count = raw.size() - 3;
    f.payload.assign(raw.begin() + 3, raw.begin() + static_cast<std::ptrdiff_t>(count) - 1);
    f.management = raw[count - 1];
    f.checksumFound = static_cast<uint16_t>(raw[count] << 8 | raw[count + 1]);
    f.checksumWanted = Checksum(raw, count);
    f.checksumOk = f.checksumFound == f.checksumWanted;
    return f;
}

std::string TypeName(uint8_t type) {
    switch (type) {
        case frame_type::kResend:
            return "RESEND";
        case frame_type::kAck:
            return "ACK";
        case frame_type::kNak:
            return "NAK";
        case frame_type::kBusy:
            return "BUSY";
        case frame_type::kSetupQuery:
            return "SETUP_QUERY";
        case frame_type::kSetupCommand:
            return "SETUP_COMMAND";
        case frame_type::kResetCommand:
            return "RESET_COMMAND";
        case frame_type::kStatusQuery:
            return "STATUS_QUERY";
        case frame_type::kSetupReply:
            return "SETUP_REPLY";
        case frame_type::kResult:
            return "RESULT";
        case frame_type::kStatusReply:
            return "STATUS_REPLY";
        case 0x54:
            return "SETUP_PERMISSION_REPLY";
        case frame_type::kBarcodeData:
            return "BARCODE_DATA";
        case frame_type::kEventNotification:
            return "EVENT_NOTIFICATION";
        case 0x62:
            return "SETUP_BARCODE_DATA";
        default:
            return "TYPE_" + Hex2(type);
    }
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out += ' ';
        out += Hex2(bytes[i]);
    }
    return out;
}

std::string DescribeFrame(const Frame& frame, Direction direction) {
    std::string out = direction == Direction::HostToEngine ? "H->E #" : "E->H #";
    out += Hex2(frame.sequence) + " " + TypeName(frame.type);
    if (frame.isShort) {
        if (frame.type == frame_type::kNak) out += " reason " + Hex2(frame.argument);
        return out;
    }
    const std::span<const uint8_t> p = frame.payload;
    out += ' ';
    switch (frame.type) {
        case frame_type::kSetupCommand:
        case frame_type::kSetupReply:
            out += DescribeEntries(p);
            break;
        case frame_type::kSetupQuery:
        case frame_type::kStatusQuery:
            out += DescribePairs(p);
            break;
        case frame_type::kStatusReply:
            out += DescribeStatus(p);
            break;
        case frame_type::kBarcodeData:
            out += DescribeBarcode(p);
            break;
        default:
            out += "{" + HexBytes(p) + "}";
            break;
    }
    out += " fm=" + Hex2(frame.management);
    if (frame.checksumOk) {
        out += " checksum ok";
    } else {
        out += " checksum BAD (found " + Hex4(frame.checksumFound) + ", expected " +
               Hex4(frame.checksumWanted) + ")";
    }
    return out;
}

void HostFrameSplitter::Feed(std::span<const uint8_t> bytes, uint32_t now) {
    if (bytes.empty()) return;
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    m_lastByte = now;
}

void HostFrameSplitter::Clear() {
    m_buffer.clear();
    m_scanned = 0;
}

std::optional<uint32_t> HostFrameSplitter::Deadline() const {
    if (m_buffer.empty()) return std::nullopt;
    return m_lastByte + m_gapMs;
}

std::optional<HostFrameSplitter::Item> HostFrameSplitter::Next(uint32_t now) {
    if (m_buffer.empty()) return std::nullopt;
    auto take = [&](size_t count) {
        std::vector<uint8_t> bytes(m_buffer.begin(),
                                   m_buffer.begin() + static_cast<std::ptrdiff_t>(count));
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(count));
        m_scanned = 0;
        return bytes;
    };
    if (m_buffer[0] != kStart) {
        size_t start = 1;
        while (start < m_buffer.size() && m_buffer[start] != kStart)
            ++start;
        return Item{std::nullopt, take(start)};
    }
    const std::vector<uint8_t>& b = m_buffer;
    if (b.size() >= 5 && IsShortType(b[2]) && b[4] == kStop) {
        return Item{DecodeFrame(take(5)), {}};
    }
    for (size_t e = std::max<size_t>(m_scanned, 6); e < b.size() && e < kMaxFrame; ++e) {
        if (b[e] != kStop) continue;
        const uint16_t found = static_cast<uint16_t>(b[e - 2] << 8 | b[e - 1]);
        if (Checksum(b, e - 2) == found) return Item{DecodeFrame(take(e + 1)), {}};
    }
    m_scanned = b.size();
    const bool quiet = TickDiff(now, m_lastByte) >= static_cast<int32_t>(m_gapMs);
    if (!quiet && b.size() < kMaxFrame) return std::nullopt;
    // No checksum fits: the frame is damaged. It ends at the first stop byte
    // that is followed by a start byte or by nothing.
    for (size_t e = 6; e < b.size() && e < kMaxFrame; ++e) {
        if (b[e] == kStop && (e + 1 == b.size() || b[e + 1] == kStart)) {
            return Item{DecodeFrame(take(e + 1)), {}};
        }
    }
    return Item{std::nullopt, take(std::min(b.size(), kMaxFrame))};
}

}  // namespace qv::sim

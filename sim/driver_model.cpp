#include "sim/driver_model.h"

#include <cstdio>

namespace qv::sim {
namespace {

uint32_t ReadU32(std::span<const uint8_t> b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

const char* LineName(uint32_t line) {
    switch (line) {
        case kLinePower:
            return "power";
        case kLineTrigger:
            return "trigger";
        case kLineWake:
            return "wake";
        default:
            return nullptr;
    }
}

std::string Hex8(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

}  // namespace

bool DriverModel::SetLine(uint32_t line, bool level) {
    switch (line) {
        case kLinePower:
            m_levels.power = level;
            return true;
        case kLineTrigger:
            m_levels.trigger = level;
            return true;
        case kLineWake:
            m_levels.wake = level;
            return true;
        default:
            return false;
    }
}

DriverReply DriverModel::Request(uint32_t code, std::span<const uint8_t> in,
                                 std::span<const uint8_t> out, uint32_t refusedCodes) {
    DriverReply r;
    const std::string what = "BAR1 request " + std::to_string(code);
    if (code < 32 && (refusedCodes & (1u << code)) != 0) {
        r.description = what + " refused (fault)";
        return r;
    }
    auto set = [&](uint32_t line, bool level) {
        r.result = SetLine(line, level) ? 1 : 0;
        r.description = what + ": " + LineName(line) + " " + (level ? "1" : "0");
    };
    const bool value4 = in.size() == 4;
    const uint32_t value = value4 ? ReadU32(in) : 0;
    switch (code) {
        case 1:
            if (in.size() == 8 && LineName(ReadU32(in)) != nullptr) {
                set(ReadU32(in), ReadU32(in.subspan(4)) != 0);
            } else if (value4 && (value == 0 || value == 2)) {
                set(kLineTrigger, value == 0);
            }
            break;
        case 2:
            if (in.empty() && out.size() >= 8 && LineName(ReadU32(out)) != nullptr) {
                const uint32_t line = ReadU32(out);
                const bool level = line == kLinePower     ? m_levels.power
                                   : line == kLineTrigger ? m_levels.trigger
                                                          : m_levels.wake;
                AppendU32(r.returned, line);
                AppendU32(r.returned, level ? 1 : 0);
                r.result = 1;
            } else if (value4) {
                set(kLinePower, value != 0);
            }
            break;
        case 3:
            if (out.size() >= 4) {
                AppendU32(r.returned, m_levels.power ? 1 : 0);
                r.result = 1;
            }
            break;
        case 6:
            if (value4 && (value == 5 || value == 4)) set(kLineWake, value == 5);
            break;
        case 7:
            if (value4 && (value == 7 || value == 6)) set(kLineTrigger, value == 7);
            break;
        default:
            break;
    }
    if (r.result == 0) {
        r.description = what + " failed: input " + std::to_string(in.size()) + " bytes" +
                        (in.size() >= 4 ? " (" + Hex8(ReadU32(in)) + ")" : std::string()) +
                        ", output " + std::to_string(out.size()) + " bytes";
    }
    return r;
}

std::vector<uint8_t> PowerBroadcastRecord(uint32_t kind, uint32_t flags, std::u16string_view name) {
    std::vector<uint8_t> record;
    AppendU32(record, kind);
    AppendU32(record, flags);
    AppendU32(record, static_cast<uint32_t>(name.size() * 2));
    for (char16_t c : name) {
        record.push_back(static_cast<uint8_t>(c));
        record.push_back(static_cast<uint8_t>(c >> 8));
    }
    return record;
}

std::vector<uint8_t> PowerMessage(std::span<const uint8_t> record) {
    std::vector<uint8_t> message;
    AppendU32(message, static_cast<uint32_t>(record.size()));
    message.insert(message.end(), record.begin(), record.end());
    return message;
}

}  // namespace qv::sim

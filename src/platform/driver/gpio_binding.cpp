#include "platform/driver/gpio_binding.h"

#include <charconv>

namespace qv::platform {
namespace {

constexpr uint32_t kLinePower = 0x04414108;
constexpr uint32_t kLineTrigger = 0x04214104;
constexpr uint32_t kLineWake = 0x04114104;

uint32_t ReadU32(std::span<const uint8_t> b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

std::optional<GpioRole> RoleOfLineId(uint32_t id) {
    switch (id) {
        case kLinePower:
            return GpioRole::Power;
        case kLineTrigger:
            return GpioRole::Trigger;
        case kLineWake:
            return GpioRole::Wake;
        default:
            return std::nullopt;
    }
}

bool Printable(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

// "<offset or name>[:low|:high]"
std::optional<GpioLineRef> ParseLine(std::string_view text, std::string& error) {
    GpioLineRef line;
    if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        const std::string_view level = text.substr(colon + 1);
        if (level == "low") {
            line.activeLow = true;
        } else if (level != "high") {
            error = "active level \"" + std::string(level) + "\" is neither low nor high";
            return std::nullopt;
        }
        text = text.substr(0, colon);
    }
    if (text.empty()) {
        error = "a line is empty";
        return std::nullopt;
    }
    if (!Printable(text)) {
        error = "a line name holds a control character";
        return std::nullopt;
    }
    uint32_t offset = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), offset);
    if (ec == std::errc() && end == text.data() + text.size()) {
        line.offset = offset;
    } else if (text.front() >= '0' && text.front() <= '9' && ec != std::errc()) {
        error = "line offset " + std::string(text) + " is out of range";
        return std::nullopt;
    } else {
        line.name = std::string(text);
    }
    return line;
}

bool SameLine(const GpioLineRef& a, const GpioLineRef& b) {
    return a.offset == b.offset && a.name == b.name;
}

}  // namespace

GpioBindingParse ParseGpioBinding(std::string_view value) {
    GpioBindingParse result;
    const size_t colon = value.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        result.error = "no chip: expected gpio:<chip>:power=<line>,trigger=<line>,wake=<line>";
        return result;
    }
    GpioBinding binding;
    binding.chip = std::string(value.substr(0, colon));
    if (!Printable(binding.chip)) {
        result.error = "the chip holds a control character";
        return result;
    }
    std::optional<GpioLineRef> power, trigger, wake;
    bool consumerSeen = false;
    std::string_view rest = value.substr(colon + 1);
    for (;;) {
        const size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            result.error = "\"" + std::string(item) + "\" is not <role>=<line>";
            return result;
        }
        const std::string_view key = item.substr(0, equals);
        const std::string_view text = item.substr(equals + 1);
        if (key == "consumer") {
            if (consumerSeen) {
                result.error = "consumer is given twice";
                return result;
            }
            if (text.empty() || text.size() > kGpioConsumerMax || !Printable(text)) {
                result.error = "consumer must be 1 to 31 printable characters";
                return result;
            }
            consumerSeen = true;
            binding.consumer = std::string(text);
        } else {
            std::optional<GpioLineRef>* slot = key == "power"     ? &power
                                               : key == "trigger" ? &trigger
                                               : key == "wake"    ? &wake
                                               : key == "status"  ? &binding.status
                                                                  : nullptr;
            if (slot == nullptr) {
                result.error = "unknown role \"" + std::string(key) +
                               "\" (power, trigger, wake, status, consumer)";
                return result;
            }
            if (slot->has_value()) {
                result.error = std::string(key) + " is given twice";
                return result;
            }
            *slot = ParseLine(text, result.error);
            if (!slot->has_value()) {
                result.error = std::string(key) + ": " + result.error;
                return result;
            }
        }
        if (comma == std::string_view::npos) break;
    }
    if (!power || !trigger || !wake) {
        result.error = std::string("missing ") + (!power ? "power" : !trigger ? "trigger" : "wake");
        return result;
    }
    binding.power = *power;
    binding.trigger = *trigger;
    binding.wake = *wake;
    const GpioLineRef* lines[] = {&binding.power, &binding.trigger, &binding.wake,
                                  binding.status ? &*binding.status : nullptr};
    for (size_t i = 0; i < 4; ++i) {
        for (size_t j = i + 1; j < 4; ++j) {
            if (lines[i] != nullptr && lines[j] != nullptr && SameLine(*lines[i], *lines[j])) {
                result.error = "one line is given two roles";
                return result;
            }
        }
    }
    result.binding = std::move(binding);
    return result;
}

GpioAction DecodeGpioRequest(uint32_t code, std::span<const uint8_t> in,
                             std::span<const uint8_t> out) {
    GpioAction action;
    auto set = [&](GpioRole role, bool level) {
        action.kind = GpioAction::Kind::Set;
        action.role = role;
        action.level = level;
    };
    const bool value4 = in.size() == 4;
    const uint32_t value = value4 ? ReadU32(in) : 0;
    switch (code) {
        case 1:
            if (in.size() == 8) {
                // Only the outputs may be set; a record naming anything else fails.
                if (const auto role = RoleOfLineId(ReadU32(in)))
                    set(*role, ReadU32(in.subspan(4)) != 0);
            } else if (value4 && (value == 0 || value == 2)) {
                set(GpioRole::Trigger, value == 0);
            }
            break;
        case 2:
            if (in.empty() && out.size() >= 8) {
                if (const auto role = RoleOfLineId(ReadU32(out))) {
                    action.kind = GpioAction::Kind::Read;
                    action.role = *role;
                    action.lineRecord = true;
                    action.lineId = ReadU32(out);
                }
            } else if (value4) {
                set(GpioRole::Power, value != 0);
            }
            break;
        case 3:
            if (in.empty() && out.size() >= 4) {
                action.kind = GpioAction::Kind::Read;
                action.role = GpioRole::Power;
            }
            break;
        case 6:
            if (value4 && (value == 5 || value == 4)) set(GpioRole::Wake, value == 5);
            break;
        case 7:
            if (value4 && (value == 7 || value == 6)) set(GpioRole::Trigger, value == 7);
            break;
        default:
            break;
    }
    return action;
}

std::vector<uint8_t> GpioReadReply(const GpioAction& action, bool level) {
    std::vector<uint8_t> reply;
    if (action.lineRecord) AppendU32(reply, action.lineId);
    AppendU32(reply, level ? 1 : 0);
    return reply;
}

}  // namespace qv::platform

#include "sim/gpio_trace.h"

#include <charconv>

namespace qv::sim {
namespace {

template <typename T>
bool Number(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

std::optional<TracedLevel> ParseGpioTraceLine(std::string_view line) {
    constexpr std::string_view kEvent = ": gpio_value: ";
    const size_t at = line.find(kEvent);
    if (at == std::string_view::npos) return std::nullopt;
    TracedLevel traced;

    // "<task>-<pid> [cpu] flags <seconds>.<micros>" before the event; a task
    // name may hold dashes and blanks, the pid is after the last dash before "[".
    const std::string_view head = line.substr(0, at);
    const size_t cpu = head.find(" [");
    const size_t dash = head.substr(0, cpu).rfind('-');
    const size_t time = head.rfind(' ');
    if (cpu == std::string_view::npos || dash == std::string_view::npos ||
        time == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view pid = head.substr(dash + 1, cpu - dash - 1);
    while (!pid.empty() && pid.back() == ' ')
        pid.remove_suffix(1);
    const std::string_view stamp = head.substr(time + 1);
    const size_t point = stamp.find('.');
    int64_t seconds = 0, micros = 0;
    if (!Number(pid, traced.thread) || point == std::string_view::npos ||
        stamp.size() - point - 1 != 6 || !Number(stamp.substr(0, point), seconds) ||
        !Number(stamp.substr(point + 1), micros)) {
        return std::nullopt;
    }
    traced.micros = seconds * 1000000 + micros;

    // "<gpio> set <0|1>"; reads are traced as "get".
    const std::string_view event = line.substr(at + kEvent.size());
    const size_t space = event.find(' ');
    if (space == std::string_view::npos || !Number(event.substr(0, space), traced.gpio)) {
        return std::nullopt;
    }
    const std::string_view rest = event.substr(space + 1);
    if (rest == "set 1" || rest == "set 0") {
        traced.level = rest.back() == '1';
        return traced;
    }
    return std::nullopt;
}

std::vector<uint8_t> SetLineRequest(uint32_t lineId, bool level) {
    std::vector<uint8_t> request;
    AppendU32(request, 1);  // set a line
    AppendU32(request, 8);  // the record in
    AppendU32(request, 0);  // nothing out
    AppendU32(request, lineId);
    AppendU32(request, level ? 1 : 0);
    return request;
}

}  // namespace qv::sim

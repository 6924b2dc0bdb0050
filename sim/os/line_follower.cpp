#include "sim/os/line_follower.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "sim/driver_model.h"
#include "sim/gpio_trace.h"

namespace qv::sim::os {
namespace {

constexpr char kTracing[] = "/sys/kernel/tracing";

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

bool LineFollower::Start(const GpioSimChip& chip, std::vector<FollowedLine> lines,
                         std::optional<unsigned> supplyMonitor, const std::string& driverSocket,
                         std::string* error) {
    auto failed = [&](const std::string& why) {
        if (error) *error = why;
        Stop();
        return false;
    };
    m_chip = &chip;
    m_lines = std::move(lines);
    m_monitor = supplyMonitor;
    const std::string tracing = kTracing;
    // Old events of the chip would be handed on as new ones.
    if (!WriteText(tracing + "/trace", "") ||
        !WriteText(tracing + "/events/gpio/gpio_value/enable", "1")) {
        return failed("cannot enable the gpio trace events under " + tracing);
    }
    m_trace = ::open((tracing + "/trace_pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_trace < 0) return failed("cannot open " + tracing + "/trace_pipe");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (driverSocket.size() >= sizeof address.sun_path) return failed("socket path too long");
    std::memcpy(address.sun_path, driverSocket.data(), driverSocket.size());
    m_sim = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_sim < 0 || ::connect(m_sim, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return failed("cannot connect to " + driverSocket + ": " + std::strerror(errno));
    }
    if (::pipe2(m_stop, O_CLOEXEC) != 0) return failed("no pipe");
    m_thread = std::thread([this] { Run(); });
    return true;
}

void LineFollower::Stop() {
    if (m_stop[1] >= 0) ::close(m_stop[1]);
    if (m_thread.joinable()) m_thread.join();
    for (int* fd : {&m_trace, &m_sim, &m_stop[0]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    m_stop[1] = -1;
    if (m_chip != nullptr) WriteText(std::string(kTracing) + "/events/gpio/gpio_value/enable", "0");
    m_chip = nullptr;
}

void LineFollower::Run() {
    std::string pending;
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{m_stop[0], POLLIN, 0}, {m_trace, POLLIN, 0}};
        // The pipe's readiness is not promised for every event: look anyway.
        if (::poll(fds, 2, 20) < 0 && errno != EINTR) return;
        if (fds[0].revents != 0) return;
        const ssize_t n = ::read(m_trace, buffer, sizeof buffer);
        if (n <= 0) continue;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            Handle(std::string_view(pending).substr(0, end));
            pending.erase(0, end + 1);
        }
    }
}

void LineFollower::Handle(std::string_view text) {
    const auto traced = ParseGpioTraceLine(text);
    if (!traced || m_chip == nullptr || traced->gpio < static_cast<uint32_t>(m_chip->Base())) {
        return;
    }
    const uint32_t offset = traced->gpio - static_cast<uint32_t>(m_chip->Base());
    for (const FollowedLine& line : m_lines) {
        if (line.offset != offset) continue;
        const bool level = traced->level != line.activeLow;
        if (line.lineId == kLinePower && m_monitor && m_mirror) m_chip->Pull(*m_monitor, level);
        Forward(line.lineId, level);
        std::lock_guard lock(m_mutex);
        m_levels.push_back({line.lineId, level, traced->micros, traced->thread});
    }
}

bool LineFollower::Forward(uint32_t lineId, bool level) {
    std::lock_guard lock(m_sendMutex);
    const auto request = SetLineRequest(lineId, level);
    bool taken = ::send(m_sim, request.data(), request.size(), MSG_NOSIGNAL) ==
                 static_cast<ssize_t>(request.size());
    // The reply: result, then no bytes.
    uint8_t reply[8];
    size_t got = 0;
    while (taken && got < sizeof reply) {
        pollfd p{m_sim, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        const ssize_t n = ::recv(m_sim, reply + got, sizeof reply - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    taken = taken && got == sizeof reply && (reply[0] | reply[1] | reply[2] | reply[3]) != 0;
    if (!taken) m_failures = m_failures + 1;
    return taken;
}

std::vector<FollowedLevel> LineFollower::Take(std::chrono::milliseconds quiet) {
    size_t seen = SIZE_MAX;
    for (;;) {
        std::this_thread::sleep_for(quiet);
        std::lock_guard lock(m_mutex);
        if (m_levels.size() == seen) return std::exchange(m_levels, {});
        seen = m_levels.size();
    }
}

}  // namespace qv::sim::os

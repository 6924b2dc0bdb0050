// The host's end of the simulated line for tests: the slave side of the
// pseudo-terminal set up as the library sets it up, hand-built frames out,
// and the engine's frames read back. Its frame code is written here on
// purpose, apart from the simulator's and the library's.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim_test {

using Bytes = std::vector<uint8_t>;

inline uint16_t WeightedSum(const Bytes& f, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 1; i < count; ++i)
        sum += f[i] * static_cast<uint32_t>(count - i);
    return static_cast<uint16_t>(sum);
}

// A host command frame: 02 seq type payload fm sum sum 03.
inline Bytes HostFrame(uint8_t seq, uint8_t type, const Bytes& payload, uint8_t fm = 0x61) {
    // Built in a sized vector: GCC 12 at -O2 misreads an insert into a
    // three-element vector as out of bounds.
    Bytes f(3 + payload.size());
    f[0] = 0x02;
    f[1] = seq;
    f[2] = type;
    std::copy(payload.begin(), payload.end(), f.begin() + 3);
    f.push_back(fm);
    const uint16_t sum = WeightedSum(f, f.size());
    f.push_back(static_cast<uint8_t>(sum >> 8));
    f.push_back(static_cast<uint8_t>(sum));
    f.push_back(0x03);
    return f;
}

// Payload of an engine frame (bytes between the type and the management byte).
inline Bytes PayloadOf(const Bytes& frame) {
    return Bytes(frame.begin() + 3, frame.end() - 4);
}

class HostLine {
  public:
    explicit HostLine(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::cfsetspeed(&tio, B57600);
            tio.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
            tio.c_cflag |= CS8 | CLOCAL | CREAD;
            ::tcsetattr(m_fd, TCSANOW, &tio);
            ::tcflush(m_fd, TCIOFLUSH);
        }
    }
    ~HostLine() {
        if (m_fd >= 0) ::close(m_fd);
    }
    HostLine(const HostLine&) = delete;
    HostLine& operator=(const HostLine&) = delete;

    bool Ok() const { return m_fd >= 0; }

    bool Write(const Bytes& bytes) {
        return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // The next engine frame: a five-byte acknowledgement form, or a full
    // frame ending at a stop byte where its checksum fits.
    std::optional<Bytes> ReadFrame(int timeoutMs = 5000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            DropLeadingNoise();
            if (auto frame = CutFrame()) return frame;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            uint8_t chunk[2048];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n > 0) m_held.insert(m_held.end(), chunk, chunk + n);
        }
    }

    // Everything that arrives within `ms`, raw.
    Bytes Drain(int ms) {
        Bytes all = std::exchange(m_held, {});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return all;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            uint8_t chunk[2048];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n > 0) all.insert(all.end(), chunk, chunk + n);
        }
    }

    const Bytes& Noise() const { return m_noise; }

  private:
    void DropLeadingNoise() {
        size_t i = 0;
        while (i < m_held.size() && m_held[i] != 0x02)
            ++i;
        m_noise.insert(m_noise.end(), m_held.begin(), m_held.begin() + i);
        m_held.erase(m_held.begin(), m_held.begin() + i);
    }

    std::optional<Bytes> CutFrame() {
        const Bytes& h = m_held;
        if (h.size() >= 5 && (h[2] == 0x06 || h[2] == 0x15 || h[2] == 0x1B || h[2] == 0x05) &&
            h[4] == 0x03) {
            return Take(5);
        }
        for (size_t e = 6; e < h.size(); ++e) {
            if (h[e] == 0x03 && WeightedSum(h, e - 2) == (h[e - 2] << 8 | h[e - 1])) {
                return Take(e + 1);
            }
        }
        return std::nullopt;
    }

    Bytes Take(size_t n) {
        Bytes frame(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(n));
        m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(n));
        return frame;
    }

    int m_fd = -1;
    Bytes m_held;
    Bytes m_noise;
};

}  // namespace sim_test

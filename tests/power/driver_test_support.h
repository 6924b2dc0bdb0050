// A scriptable stand-in for the power-line driver, and a small server that
// plays an outside driver process on a Unix socket for the "unix:" binding.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/driver/device_driver.h"

namespace test_support {

inline std::vector<uint8_t> Le32(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (const uint32_t v : values) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    return out;
}

inline uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct RecordedRequest {
    uint32_t code;
    std::vector<uint8_t> in;
    std::vector<uint8_t> outBefore;

    bool operator==(const RecordedRequest&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const RecordedRequest& r) {
    os << "{code " << r.code << ", in [";
    for (const uint8_t b : r.in)
        os << ' ' << static_cast<int>(b);
    os << " ], out [";
    for (const uint8_t b : r.outBefore)
        os << ' ' << static_cast<int>(b);
    return os << " ]}";
}

// Models both driver interfaces of the power driver: dedicated requests
// (4-byte values) and line records (8 bytes). Records every request. All
// state is behind one lock, since a socket server thread may drive it.
class FakePowerDriver : public qv::platform::DeviceDriver {
  public:
    struct State {
        int32_t power = 0;
        int32_t wake = 0;
        int32_t trigger = 0;
        bool refuseTrigger = false;          // request 7, or the trigger line record
        bool refuseFallbackTrigger = false;  // request 1 with a 4-byte value
        bool failPowerQuery = false;
        bool lost = false;                   // the device went away: every request fails
        int32_t queriesBeforeFailure = -1;   // >= 0: power queries fail after that many
        std::optional<int32_t> stuckStatus;  // the supply never follows a switch
        std::deque<int32_t> script;          // statuses reported before the real one
    };

    int32_t IoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                      uint32_t* returned) override {
        std::lock_guard lock(m_mutex);
        m_requests.push_back({code, {in.begin(), in.end()}, {out.begin(), out.end()}});
        *returned = 0;
        State& s = m_state;
        if (s.lost) return 0;
        if (in.size() == 8 || out.size() == 8) {
            const std::span<const uint8_t> rec = in.size() == 8 ? in : out;
            const uint32_t id = ReadLe32(rec.data());
            const auto level = static_cast<int32_t>(ReadLe32(rec.data() + 4));
            if (code == 1 && in.size() == 8) {
                if (id == kTrigger && s.refuseTrigger) return 0;
                if (id == kPower) s.power = level;
                if (id == kWake) s.wake = level;
                if (id == kTrigger) s.trigger = level;
                return 1;
            }
            if (code == 2 && out.size() == 8) {
                if (id == kPower && QueryFails()) return 0;
                int32_t value = 0;
                if (id == kPower) value = ReportedPower();
                if (id == kWake) value = s.wake;
                if (id == kTrigger) value = s.trigger;
                Put(out.subspan(4), static_cast<uint32_t>(value));
                *returned = 8;
                return 1;
            }
            return 0;
        }
        const uint32_t value = in.size() == 4 ? ReadLe32(in.data()) : 0;
        switch (code) {
            case 1:  // fallback trigger: 0 = level 1, 2 = level 0
                if (s.refuseFallbackTrigger) return 0;
                s.trigger = value == 0 ? 1 : 0;
                return 1;
            case 2:
                s.power = static_cast<int32_t>(value);
                return 1;
            case 3:
                if (QueryFails() || out.size() != 4) return 0;
                Put(out, static_cast<uint32_t>(ReportedPower()));
                *returned = 4;
                return 1;
            case 6:
                s.wake = value == 5 ? 1 : 0;
                return 1;
            case 7:
                if (s.refuseTrigger) return 0;
                s.trigger = value == 7 ? 1 : 0;
                return 1;
            default:
                return 0;
        }
    }

    template <class F>
    void Change(F&& change) {
        std::lock_guard lock(m_mutex);
        change(m_state);
        m_lost = m_state.lost;
    }
    bool Lost() const override { return m_lost.load(); }
    State Snapshot() {
        std::lock_guard lock(m_mutex);
        return m_state;
    }
    std::vector<RecordedRequest> Requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    void ClearRequests() {
        std::lock_guard lock(m_mutex);
        m_requests.clear();
    }

  private:
    static constexpr uint32_t kPower = 0x04414108;
    static constexpr uint32_t kTrigger = 0x04214104;
    static constexpr uint32_t kWake = 0x04114104;

    static void Put(std::span<uint8_t> out, uint32_t v) {
        for (size_t i = 0; i < 4; ++i)
            out[i] = static_cast<uint8_t>(v >> (8 * i));
    }
    bool QueryFails() {
        if (m_state.failPowerQuery) return true;
        if (m_state.queriesBeforeFailure < 0) return false;
        if (m_state.queriesBeforeFailure == 0) return true;
        --m_state.queriesBeforeFailure;
        return false;
    }
    int32_t ReportedPower() {
        if (!m_state.script.empty()) {
            const int32_t s = m_state.script.front();
            m_state.script.pop_front();
            return s;
        }
        return m_state.stuckStatus.value_or(m_state.power);
    }

    std::mutex m_mutex;
    State m_state;
    std::atomic<bool> m_lost{false};
    std::vector<RecordedRequest> m_requests;
};

// Plays an outside driver process: accepts connections on a Unix socket and
// answers each request through `driver`, or misbehaves as told.
class SocketDriverServer {
  public:
    enum class Mode {
        Serve,            // answer every request
        CloseMidRequest,  // read the request's header, then close the connection
        NeverAnswer,      // read the request, then say nothing
        OneByteAtATime,   // answer, one byte per write
        OverlongReply,    // claim more returned bytes than the output length
    };

    SocketDriverServer(const std::string& path, qv::platform::DeviceDriver& driver,
                       Mode mode = Mode::Serve)
        : m_driver(driver), m_mode(mode) {
        m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        ::bind(m_listen, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
        ::listen(m_listen, 4);
        if (::pipe(m_stop) != 0) m_stop[0] = m_stop[1] = -1;
        m_thread = std::thread([this] { Run(); });
    }
    ~SocketDriverServer() {
        const char c = 'x';
        [[maybe_unused]] const ssize_t n = ::write(m_stop[1], &c, 1);
        m_thread.join();
        ::close(m_listen);
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }
    SocketDriverServer(const SocketDriverServer&) = delete;
    SocketDriverServer& operator=(const SocketDriverServer&) = delete;

    int Connections() const { return m_connections.load(); }

  private:
    bool WaitReadable(int fd) {
        pollfd p[2] = {{fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        while (true) {
            if (::poll(p, 2, -1) < 0) continue;
            if (p[1].revents != 0) return false;
            if (p[0].revents != 0) return true;
        }
    }
    bool ReadAll(int fd, uint8_t* data, size_t size) {
        size_t done = 0;
        while (done < size) {
            if (!WaitReadable(fd)) return false;
            const ssize_t n = ::read(fd, data + done, size - done);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    void WriteAll(int fd, const std::vector<uint8_t>& data) {
        if (m_mode == Mode::OneByteAtATime) {
            for (const uint8_t b : data) {
                if (::send(fd, &b, 1, MSG_NOSIGNAL) != 1) return;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            return;
        }
        [[maybe_unused]] const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    }
    void Run() {
        while (WaitReadable(m_listen)) {
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++m_connections;
            Serve(fd);
            ::close(fd);
        }
    }
    void Serve(int fd) {
        while (true) {
            uint8_t header[12];
            if (!ReadAll(fd, header, sizeof header)) return;
            if (m_mode == Mode::CloseMidRequest) return;
            const uint32_t code = ReadLe32(header);
            std::vector<uint8_t> in(ReadLe32(header + 4));
            std::vector<uint8_t> out(ReadLe32(header + 8));
            if (!ReadAll(fd, in.data(), in.size()) || !ReadAll(fd, out.data(), out.size())) return;
            if (m_mode == Mode::NeverAnswer) {
                WaitReadable(fd);  // until the client gives up or the test ends
                return;
            }
            uint32_t returned = 0;
            const int32_t result = m_driver.IoControl(code, in, out, &returned);
            if (m_mode == Mode::OverlongReply) returned = static_cast<uint32_t>(out.size()) + 4;
            std::vector<uint8_t> reply = Le32({static_cast<uint32_t>(result), returned});
            reply.insert(reply.end(), out.begin(),
                         out.begin() + std::min<size_t>(returned, out.size()));
            if (m_mode == Mode::OverlongReply) reply.resize(reply.size() + 4, 0xEE);
            WriteAll(fd, reply);
        }
    }

    qv::platform::DeviceDriver& m_driver;
    const Mode m_mode;
    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

}  // namespace test_support

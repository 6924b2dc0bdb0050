// Helpers of the link tests: the diagnostic log captured in a file, and a
// pseudo-terminal pair standing in for the engine's end of the line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support/log_capture.h"
#include "test_support/temp_dir.h"

namespace qv {

// The captured "[RO25]" lines of one test, with a wait for lines that
// another thread writes.
class LogCapture : public test_support::LogCapture {
  public:
    bool Contains(const std::string& line) const { return Text().find(line) != std::string::npos; }
    bool WaitFor(const std::string& line, int timeoutMs = 5000) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (Contains(line)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return Contains(line);
    }
};

// A pseudo-terminal: the library opens the slave by path through
// QV_PORT_COM2; the test plays the engine on the master.
class PtyPair {
  public:
    PtyPair() {
        char name[256] = {};
        int slave = -1;
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) == 0) {
            m_path = name;
            ::close(slave);  // the library opens its own descriptor
        }
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return m_path; }
    int Master() const { return m_master; }
    void CloseMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }
    void Write(const std::vector<uint8_t>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }
    // Reads what arrives within `timeoutMs`, stopping once `wanted` bytes are in.
    std::vector<uint8_t> Read(size_t wanted, int timeoutMs = 5000) const {
        std::vector<uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < wanted) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            uint8_t chunk[2048];
            const ssize_t n = ::read(m_master, chunk, std::min(sizeof chunk, wanted - out.size()));
            if (n <= 0) break;
            out.insert(out.end(), chunk, chunk + n);
        }
        return out;
    }

  private:
    int m_master = -1;
    std::string m_path;
};

// Number of open descriptors of this process.
inline size_t OpenDescriptorCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

}  // namespace qv

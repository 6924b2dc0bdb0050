// Unix stream sockets for the two servers the host reaches from outside the
// process: the "BAR1:" driver and the power notifications.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qv::sim::os {

class UnixListener {
  public:
    // Null (with the reason in `error`) when the path cannot be bound.
    static std::unique_ptr<UnixListener> Open(const std::string& path, std::string* error);
    ~UnixListener();  // closes and removes the socket file
    UnixListener(const UnixListener&) = delete;
    UnixListener& operator=(const UnixListener&) = delete;

    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }
    // A new connection, or -1 when none is waiting.
    int Accept();

  private:
    UnixListener(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    int m_fd;
    std::string m_path;
};

// Writes everything; false when the peer is gone or stops reading for seconds.
bool SendAll(int fd, std::span<const uint8_t> bytes);
// Appends what has arrived; false when the peer closed or the socket failed.
bool ReceiveSome(int fd, std::vector<uint8_t>& into);
void CloseSocket(int fd);
void ShutdownSocket(int fd);

// A fresh directory only this user can enter, e.g. /tmp/ro25-sim.Ab12Cd.
std::string MakePrivateDir(const std::string& prefix, std::string* error);
void RemoveDir(const std::string& path);

}  // namespace qv::sim::os

#include "sim/os/pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qv::sim::os {

std::unique_ptr<PtyMaster> PtyMaster::Open(std::string* error) {
    auto fail = [&](const char* what, int master) -> std::unique_ptr<PtyMaster> {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        if (master >= 0) ::close(master);
        return nullptr;
    };
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return fail("posix_openpt", -1);
    if (::grantpt(master) != 0) return fail("grantpt", master);
    if (::unlockpt(master) != 0) return fail("unlockpt", master);
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0) return fail("ptsname", master);
    // Raw from the start, so nothing is echoed or translated before the host
    // sets its own line settings on the slave side.
    termios tio{};
    if (::tcgetattr(master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(master, TCSANOW, &tio);
    }
    // Holding the slave open keeps the master from reporting a hang-up
    // whenever no host has the line open.
    const int keeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keeper < 0) return fail("open slave", master);
    if (::tcgetattr(keeper, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(keeper, TCSANOW, &tio);
    }
    const int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
    return std::unique_ptr<PtyMaster>(new PtyMaster(master, keeper, name));
}

PtyMaster::PtyMaster(int master, int slaveKeeper, std::string slavePath)
    : m_master(master), m_slaveKeeper(slaveKeeper), m_slavePath(std::move(slavePath)) {}

PtyMaster::~PtyMaster() {
    ::close(m_slaveKeeper);
    ::close(m_master);
}

size_t PtyMaster::Read(std::span<uint8_t> buffer) {
    for (;;) {
        const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
        if (n > 0) return static_cast<size_t>(n);
        if (n < 0 && errno == EINTR) continue;
        return 0;
    }
}

size_t PtyMaster::Write(std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return done;
}

}  // namespace qv::sim::os

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/core/configuration.h"
#include "platform/core/last_failure.h"
#include "platform/log/debug_output.h"
#include "platform/serial/serial_port.h"

namespace qv::platform {
namespace {

// Pause between two looks at a draining output queue.
constexpr uint32_t kDrainPollMs = 2;

struct BaudEntry {
    uint32_t rate;
    speed_t speed;
};

constexpr BaudEntry kBaudRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedOf(uint32_t rate, speed_t* speed) {
    for (const auto& entry : kBaudRates) {
        if (entry.rate == rate) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

uint32_t RateOf(speed_t speed) {
    for (const auto& entry : kBaudRates) {
        if (entry.speed == speed) return entry.rate;
    }
    return 0;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

void Say(const std::string& text) {
    DebugOutputUtf8("serial: " + text + "\n");
}

// The index of a pseudo-terminal's slave device, or -1 for any other device.
long PtyIndex(dev_t device) {
    const unsigned int major = ::major(device);
    // UNIX98 pty slaves take majors 136 to 143.
    if (major < 136 || major > 143) return -1;
    return static_cast<long>((major - 136) * 256 + ::minor(device));
}

// Whether one of the process's descriptors is the master of pty `index`:
// such a process is the far end of the line (a simulator holding its own
// slave open), not a rival reader.
bool HoldsPtyMaster(const std::string& fdDir, long index) {
    DIR* fds = ::opendir(fdDir.c_str());
    if (fds == nullptr) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.') continue;
        char target[64] = {};
        const std::string link = fdDir + "/" + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        // In a container with its own devpts, /dev/ptmx links to pts/ptmx.
        const std::string_view opened(target, static_cast<size_t>(n));
        if (opened != "/dev/ptmx" && opened != "/dev/pts/ptmx") continue;
        std::ifstream info(fdDir.substr(0, fdDir.size() - 2) + "fdinfo/" + entry->d_name);
        for (std::string line; std::getline(info, line);) {
            if (line.starts_with("tty-index:") &&
                std::strtol(line.c_str() + 10, nullptr, 10) == index) {
                found = true;
            }
        }
        if (found) break;
    }
    ::closedir(fds);
    return found;
}

// Other processes that have the device open, as "pid (program)", found in
// /proc/*/fd as fuser finds them; only those the system lets us see. A
// program that opened the line before us without a lock would take the
// engine's replies. `node` is the device's stat: every devpts instance (a
// container, a build root) numbers its ptys from 0 with the same device
// numbers, so a pty is the same one only on the same instance.
std::string OtherOpeners(const struct stat& node) {
    const dev_t device = node.st_rdev;
    const long ptyIndex = PtyIndex(device);
    const pid_t self = ::getpid();
    std::string found;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return found;
    while (const dirent* process = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self) continue;
        const std::string fdDir = std::string("/proc/") + process->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (fds == nullptr) continue;
        bool opener = false;
        while (const dirent* entry = ::readdir(fds)) {
            if (entry->d_name[0] == '.') continue;
            struct stat st {};
            if (::stat((fdDir + "/" + entry->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == device && (ptyIndex < 0 || st.st_dev == node.st_dev)) {
                opener = true;
                break;
            }
        }
        ::closedir(fds);
        if (!opener || (ptyIndex >= 0 && HoldsPtyMaster(fdDir, ptyIndex))) continue;
        std::string program;
        std::getline(std::ifstream(std::string("/proc/") + process->d_name + "/comm"), program);
        found += (found.empty() ? "" : ", ") + std::to_string(pid) + " (" + program + ")";
    }
    ::closedir(proc);
    return found;
}

// Why an open failed, for a person: the system's text and what to do.
std::string OpenFailureCause(const std::string& path, int error) {
    std::string cause = std::strerror(error);
    if (error == EBUSY) return "held by another process or opener (" + cause + ")";
    if (error != EACCES && error != EPERM) return cause;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return cause;
    char buffer[1024];
    group entry{};
    group* found = nullptr;
    const bool named =
        ::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr;
    const std::string groupName = named ? found->gr_name : std::to_string(st.st_gid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    cause += "; the device belongs to group " + groupName + ", mode " + mode;
    // A group that may read and write it is the usual way in (dialout).
    if (st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        return cause + ": add the user to that group (usermod -aG " + groupName +
               " USER) and log in again";
    }
    return cause + ": give the user read and write access to it";
}

// The terminal behind the device's descriptor, as a bounded write uses it.
class TerminalLine final : public OutputLine {
  public:
    TerminalLine(int fd, bool isTty) : m_fd(fd), m_isTty(isTty) {}

    int64_t WriteSome(const uint8_t* data, size_t size) override {
        for (;;) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            return -1;
        }
    }

    bool WaitWritable(uint32_t milliseconds) override {
        const auto real = std::chrono::ceil<std::chrono::milliseconds>(RealDuration(milliseconds));
        pollfd p{m_fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(real.count(), 60000)));
        if (r < 0 && errno != EINTR) return false;
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            errno = EIO;
            return false;
        }
        return true;
    }

    int64_t Unsent() override {
        // Only a terminal has an output queue of its own.
        if (!m_isTty) return 0;
        int out = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &out) != 0) return -1;
        return out > 0 ? out : 0;
    }

    void DiscardUnsent() override {
        if (m_isTty) (void)::tcflush(m_fd, TCOFLUSH);
    }

  private:
    const int m_fd;
    const bool m_isTty;
};

class PosixSerialDevice final : public SerialDevice {
  public:
    PosixSerialDevice(std::string path, int fd, int wakeFd, bool isTty)
        : m_path(std::move(path)),
          m_fd(fd),
          m_wakeFd(wakeFd),
          m_isTty(isTty),
          m_line(std::make_unique<TerminalLine>(fd, isTty)) {
        int bits = 0;
        m_hasModemLines = isTty && ::ioctl(fd, TIOCMGET, &bits) == 0;
    }

    ~PosixSerialDevice() override {
        // Exclusive mode stays on the terminal after the last close; lift it
        // so the next open (of this or another process) succeeds.
        if (m_isTty) (void)::ioctl(m_fd, TIOCNXCL);
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        ::close(m_wakeFd);
    }

    bool GetState(LineState& state) override {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) return false;
        state.baudRate = RateOf(::cfgetospeed(&tio));
        switch (tio.c_cflag & CSIZE) {
            case CS5:
                state.byteSize = 5;
                break;
            case CS6:
                state.byteSize = 6;
                break;
            case CS7:
                state.byteSize = 7;
                break;
            default:
                state.byteSize = 8;
                break;
        }
        state.parity = (tio.c_cflag & PARENB) == 0
                           ? NOPARITY
                           : ((tio.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY);
        state.stopBits = (tio.c_cflag & CSTOPB) != 0 ? TWOSTOPBITS : ONESTOPBIT;
        state.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
        state.rtsControl = state.outxCtsFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        state.dtrControl = DTR_CONTROL_ENABLE;
        return true;
    }

    bool SetState(const LineState& state) override {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) return false;
        speed_t speed;
        if (!SpeedOf(state.baudRate, &speed)) {
            errno = EINVAL;
            return false;
        }
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        switch (state.byteSize) {
            case 5:
                tio.c_cflag |= CS5;
                break;
            case 6:
                tio.c_cflag |= CS6;
                break;
            case 7:
                tio.c_cflag |= CS7;
                break;
            case 8:
                tio.c_cflag |= CS8;
                break;
            default:
                errno = EINVAL;
                return false;
        }
        if (state.parity == ODDPARITY) tio.c_cflag |= PARENB | PARODD;
        if (state.parity == EVENPARITY) tio.c_cflag |= PARENB;
        if (state.stopBits == TWOSTOPBITS) tio.c_cflag |= CSTOPB;
        const bool ctsFlow = state.outxCtsFlow || state.rtsControl == RTS_CONTROL_HANDSHAKE;
        if (ctsFlow) tio.c_cflag |= CRTSCTS;
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        // Reads return what is queued and never wait.
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) return false;
        // tcsetattr succeeds when any of the settings took; read them back.
        termios now{};
        if (::tcgetattr(m_fd, &now) != 0) return false;
        constexpr tcflag_t kOwnedC = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
        constexpr tcflag_t kOwnedI = IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP;
        constexpr tcflag_t kOwnedL = ICANON | ECHO | ISIG | IEXTEN;
        const bool taken = ::cfgetospeed(&now) == speed && ::cfgetispeed(&now) == speed &&
                           (now.c_cflag & kOwnedC) == (tio.c_cflag & kOwnedC) &&
                           (now.c_iflag & kOwnedI) == 0 && (now.c_lflag & kOwnedL) == 0 &&
                           (now.c_oflag & OPOST) == 0;
        if (!taken) {
            Say(m_path + " did not take the line settings (" + std::to_string(state.baudRate) +
                " baud, " + std::to_string(state.byteSize) + " data bits, raw, no flow control)");
            errno = EIO;
            return false;
        }
        if (m_hasModemLines) {
            int dtr = TIOCM_DTR;
            int rts = TIOCM_RTS;
            (void)::ioctl(m_fd, state.dtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS,
                          &dtr);
            if (!ctsFlow) {
                (void)::ioctl(m_fd, state.rtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS,
                              &rts);
            }
        }
        return true;
    }

    bool ClearError(uint32_t* errors, QueueStatus* status) override {
        if (errors != nullptr) *errors = 0;
        int in = 0;
        int out = 0;
        if (::ioctl(m_fd, FIONREAD, &in) != 0) return false;
        if (::ioctl(m_fd, TIOCOUTQ, &out) != 0) out = 0;
        if (status != nullptr) {
            status->inQueue = in > 0 ? static_cast<uint32_t>(in) : 0;
            status->outQueue = out > 0 ? static_cast<uint32_t>(out) : 0;
        }
        return true;
    }

    bool SetupQueues(uint32_t, uint32_t) override { return true; }

    bool SetMask(uint32_t mask) override {
        m_mask.store(mask);
        if (mask == 0) {
            const uint64_t one = 1;
            return ::write(m_wakeFd, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
        }
        DrainWake();
        return true;
    }

    WaitResult WaitEvent(uint32_t* events) override {
        *events = 0;
        for (;;) {
            const uint32_t mask = m_mask.load();
            if (mask == 0) {
                DrainWake();
                return WaitResult::Events;
            }
            if (m_hungUp.load()) {
                errno = EIO;
                return WaitResult::Failed;
            }
            pollfd fds[2] = {
                {m_fd, static_cast<short>((mask & EV_RXCHAR) != 0 ? POLLIN : 0), 0},
                {m_wakeFd, POLLIN, 0},
            };
            const int n = ::poll(fds, 2, -1);
            if (n < 0) {
                if (errno == EINTR) continue;
                return WaitResult::Failed;
            }
            if ((fds[1].revents & POLLIN) != 0) {
                DrainWake();
                continue;  // the mask is looked at again above
            }
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                NoteHangUp();
                errno = EIO;
                return WaitResult::Failed;
            }
            if ((fds[0].revents & POLLIN) != 0) {
                *events = EV_RXCHAR;
                return WaitResult::Events;
            }
        }
    }

    bool HungUp() const override { return m_hungUp.load(); }

    bool Purge(uint32_t flags) override {
        // Only the input is flushed. Every write has left the device before
        // Write returns, so the output queue holds nothing of ours; flushing
        // it would only cut off a frame another thread is writing at that
        // moment, and on a pseudo-terminal it takes bytes already written
        // back out of the peer's input.
        if ((flags & (PURGE_RXABORT | PURGE_RXCLEAR)) == 0) return true;
        return ::tcflush(m_fd, TCIFLUSH) == 0;
    }

    bool ClearDtr() override {
        if (!m_hasModemLines) {
            if (!m_isTty) {
                errno = ENOTTY;
                return false;
            }
            Say(m_path + ": no modem lines on this device, DTR not cleared");
            return true;
        }
        int dtr = TIOCM_DTR;
        return ::ioctl(m_fd, TIOCMBIC, &dtr) == 0;
    }

    bool HasModemLines() const override { return m_hasModemLines; }

    bool Read(void* data, uint32_t size, uint32_t* read) override {
        *read = 0;
        if (size == 0) return true;
        for (;;) {
            const ssize_t n = ::read(m_fd, data, size);
            if (n >= 0) {
                *read = static_cast<uint32_t>(n);
                return true;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            // A terminal fails a read only when its device is gone.
            const int error = errno;
            NoteHangUp();
            errno = error;
            return false;
        }
    }

    bool Write(const void* data, uint32_t size, uint32_t* written) override {
        if (m_hungUp.load()) {
            *written = 0;
            errno = EIO;
            return false;
        }
        if (WriteWithin(*m_line, data, size, written, kWriteTimeoutMs)) return true;
        const int error = errno;
        if (error == EIO) NoteHangUp();
        errno = error;
        return false;
    }

    std::unique_ptr<OutputLine> SwapOutputLine(std::unique_ptr<OutputLine> line) override {
        std::swap(line, m_line);
        return line;
    }

    int NativeHandle() const override { return m_fd; }

  private:
    void NoteHangUp() {
        if (m_hungUp.exchange(true)) return;
        Say(m_path + " hung up (the device went away); closed, unusable until opened again");
        LetGoOfDevice();
        // A wait under way on another thread sees it too, even where the
        // device itself gives that wait no event.
        // An eventfd that cannot take one more is already readable.
        const uint64_t one = 1;
        if (::write(m_wakeFd, &one, sizeof one) < 0) return;
    }

    // The device is let go of at once, so that an adapter plugged back in
    // gets the same name (the kernel keeps a tty's name while it is open).
    // Other threads may be using the descriptor at this moment, so its
    // number is not freed for reuse: it is turned into the read end of a
    // pipe with no writer, which reads as end of file and polls as hung up.
    void LetGoOfDevice() {
        if (m_isTty) (void)::ioctl(m_fd, TIOCNXCL);
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return;
        ::close(ends[1]);
        (void)::dup3(ends[0], m_fd, O_CLOEXEC);
        ::close(ends[0]);
    }

    void DrainWake() {
        uint64_t count;
        while (::read(m_wakeFd, &count, sizeof count) > 0) {
        }
    }

    const std::string m_path;
    const int m_fd;
    const int m_wakeFd;
    const bool m_isTty;
    std::unique_ptr<OutputLine> m_line;
    bool m_hasModemLines = false;
    std::atomic<uint32_t> m_mask{0};
    std::atomic<bool> m_hungUp{false};
};

}  // namespace

std::string SerialDevice::DevicePath(std::string_view name) {
    std::string bare = UpperAscii(name);
    if (!bare.empty() && bare.back() == ':') bare.pop_back();
    if (bare.empty()) return {};
    if (auto path = ReadEnvironment(("QV_PORT_" + bare).c_str())) return *path;
    if (bare.size() > 3 && bare.compare(0, 3, "COM") == 0) {
        char* end = nullptr;
        const long number = std::strtol(bare.c_str() + 3, &end, 10);
        if (end != nullptr && *end == '\0' && number >= 1 && number <= 256) {
            return "/dev/ttyS" + std::to_string(number - 1);
        }
    }
    return {};
}

std::unique_ptr<SerialDevice> SerialDevice::Open(std::string_view name) {
    const std::string path = DevicePath(name);
    const std::string device(name);
    // Said on the debug output and kept as the thread's last failure.
    auto refuse = [&](int error, const std::string& why) -> std::unique_ptr<SerialDevice> {
        Say(why);
        SetLastFailure(error, why);
        errno = error;
        return nullptr;
    };
    auto fail = [&](int error) {
        return refuse(
            error, "cannot open " + path + " (" + device + "): " + OpenFailureCause(path, error));
    };
    if (path.empty()) {
        return refuse(ENOENT, "cannot open " + device + ": no device path; set QV_PORT_" +
                                  UpperAscii(device.substr(0, device.find(':'))));
    }
    // Non-blocking so that opening never waits for a carrier; reads take
    // only what is queued and writes wait through poll with a deadline.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // Exclusive mode refuses us; with no other opener to be seen, it was
        // left by a process that ended without giving it back.
        struct stat st {};
        if (error == EBUSY && ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
            const std::string others = OtherOpeners(st);
            return refuse(
                error,
                "cannot open " + path + " (" + device + "): " +
                    (others.empty() ? "left in exclusive mode by a process that has ended; only "
                                      "root, or closing the line's other end, can free it"
                                    : "held in exclusive mode by process " + others));
        }
        return fail(error);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return fail(error);
    }
    const bool isTty = ::isatty(fd) == 1;
    if (!isTty) Say(path + " (" + device + ") is not a terminal; its line cannot be set");
    struct stat st {};
    if (isTty && ::fstat(fd, &st) == 0) {
        if (const std::string others = OtherOpeners(st); !others.empty()) {
            ::close(fd);
            return refuse(EBUSY, "cannot open " + path + " (" + device +
                                     "): also open in process " + others +
                                     ", which would take the engine's replies; end it or free "
                                     "the line");
        }
        int exclusive = 0;
        if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
            Say(path + " (" + device +
                ") was left in exclusive mode by a process that has ended; taken over");
        }
    }
    if (isTty && ::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error);
    }
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        const int error = errno;
        if (isTty) (void)::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return fail(error);
    }
    try {
        return std::make_unique<PosixSerialDevice>(path, fd, wakeFd, isTty);
    } catch (...) {
        if (isTty) (void)::ioctl(fd, TIOCNXCL);
        ::close(fd);
        ::close(wakeFd);
        SetLastFailure(ENOMEM, "cannot open the serial device: out of memory");
        errno = ENOMEM;
        return nullptr;
    }
}

bool WriteWithin(OutputLine& line, const void* data, uint32_t size, uint32_t* written,
                 uint32_t timeoutMs) {
    *written = 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const auto deadline = DeadlineAfter(timeoutMs);
    auto leftMs = [&]() -> int64_t {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left.count() <= 0) return 0;
        // Back into library milliseconds, rounded up.
        return std::max<int64_t>(
            1, static_cast<int64_t>(std::chrono::duration<double, std::milli>(left).count() /
                                    ClockScale()));
    };
    auto timedOut = [&] {
        line.DiscardUnsent();
        errno = ETIMEDOUT;
        return false;
    };
    while (*written < size) {
        const int64_t n = line.WriteSome(bytes + *written, size - *written);
        if (n < 0) return false;
        if (n > 0) {
            *written += static_cast<uint32_t>(n);
            continue;
        }
        const int64_t left = leftMs();
        if (left == 0) return timedOut();
        if (!line.WaitWritable(static_cast<uint32_t>(left))) return false;
    }
    // A write is complete when the bytes have left, so a later purge never
    // cuts the end of this frame off. The drain is watched rather than
    // waited for (tcdrain), since flow control held off would hold it forever.
    for (;;) {
        const int64_t unsent = line.Unsent();
        if (unsent < 0) return false;
        if (unsent == 0) return true;
        if (leftMs() == 0) return timedOut();
        Sleep(kDrainPollMs);
    }
}

int SerialDevice::LastError() {
    return errno;
}

}  // namespace qv::platform

#include "link/serial_port.h"
#include "log/write_log.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <thread>
#include <vector>

#include "link/link_test_support.h"
#include "platform/child_process.h"
#include "platform/serial/serial_port.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

int QueuedAt(int fd) {
    int n = -1;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

// Waits until the descriptor holds `count` bytes (the pty hands them over
// asynchronously).
bool WaitQueued(int fd, int count) {
    for (int i = 0; i < 2000; ++i) {
        if (QueuedAt(fd) >= count) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.SlavePath().empty());
        port.Configure(2, 57600, 8, 0, 0);
    }
    int Fd() const { return port.GetHandle()->NativeHandle(); }

    LogCapture log;
    PtyPair pty;
    test_support::ScopedEnv env{"QV_PORT_COM2", pty.SlavePath()};
    SerialPort port;
};

TEST(SerialDevicePath, FromTheEnvironmentOrTheDefault) {
    {
        test_support::ScopedEnv env("QV_PORT_COM2", "/tmp/some-tty");
        EXPECT_EQ(platform::SerialDevice::DevicePath("COM2:"), "/tmp/some-tty");
        EXPECT_EQ(platform::SerialDevice::DevicePath("com2:"), "/tmp/some-tty");
    }
    ::unsetenv("QV_PORT_COM2");
    EXPECT_EQ(platform::SerialDevice::DevicePath("COM2:"), "/dev/ttyS1");
    EXPECT_EQ(platform::SerialDevice::DevicePath("COM1:"), "/dev/ttyS0");
    EXPECT_EQ(platform::SerialDevice::DevicePath("BAR1:"), "");
}

TEST_F(SerialPortTest, OpenSetsRaw57600EightNoneOneWhateverTheDeviceHeld) {
    // Linux keeps a terminal's settings between opens: leave everything the
    // library owns set otherwise, as an earlier user of the device might.
    const int held = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(held, &before), 0);
    ::cfsetispeed(&before, B9600);
    ::cfsetospeed(&before, B9600);
    before.c_cflag = (before.c_cflag & ~tcflag_t(CSIZE)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    before.c_iflag |= IXON | IXOFF | ICRNL;
    before.c_lflag |= ICANON | ECHO;
    before.c_oflag |= OPOST;
    ASSERT_EQ(::tcsetattr(held, TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(held, &before), 0);
    ASSERT_NE(before.c_cflag & CRTSCTS, 0u) << "the terminal keeps RTS/CTS";

    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.IsOpen(), 1);
    termios tio{};
    // Read back through another descriptor: the settings are the terminal's.
    ASSERT_EQ(::tcgetattr(held, &tio), 0);
    ::close(held);
    EXPECT_EQ(::cfgetospeed(&tio), B57600);
    EXPECT_EQ(::cfgetispeed(&tio), B57600);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_TRUE(log.Contains("[RO25]SetCommState : 1 m_hComDev : " + [&] {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", Fd());
        return std::string(hex);
    }() + " \r\n"));
}

TEST_F(SerialPortTest, TheDeviceIsExclusiveUntilClosed) {
    ASSERT_TRUE(port.Open());
    SerialPort second;
    second.Configure(2, 57600, 8, 0, 0);
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.IsOpen(), 0);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(port.GetHandle(), nullptr);
    EXPECT_TRUE(
        log.Contains("[RO25]CloseHandle( m_hComDev ) SUCCESS\r\n"
                     "[RO25]CloseHandle( m_hComDev )\r\n"));
    EXPECT_TRUE(second.Open());
}

TEST_F(SerialPortTest, ReadTakesOnlyWhatIsHeldAndPurgesWhenItCannotTakeAny) {
    ASSERT_TRUE(port.Open());
    uint8_t buffer[1024] = {};
    // Nothing held: 0, without waiting.
    EXPECT_EQ(port.Read(buffer, 1024), 0);

    std::vector<uint8_t> bytes(300);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0});
    pty.Write(bytes);
    ASSERT_TRUE(WaitQueued(Fd(), 300));
    EXPECT_EQ(port.Read(buffer, 100), 100);
    EXPECT_EQ(QueuedAt(Fd()), 200);
    EXPECT_TRUE(std::equal(buffer, buffer + 100, bytes.begin()));
    EXPECT_EQ(port.Read(buffer, 150), 150);
    EXPECT_EQ(buffer[0], 100);

    // No room: the driver's queue is purged, even though it holds data.
    EXPECT_EQ(port.Read(buffer, 0), 0);
    EXPECT_EQ(QueuedAt(Fd()), 0);
}

TEST_F(SerialPortTest, WriteComblockDeliversEveryByte) {
    ASSERT_TRUE(port.Open());
    std::vector<uint8_t> frame(1024);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 7);
    EXPECT_TRUE(port.WriteComblock(frame.data(), int32_t(frame.size())));
    EXPECT_EQ(pty.Read(frame.size()), frame);
    // Control bytes go out untouched in raw mode.
    const std::vector<uint8_t> ack = {0x02, 0x12, 0x06, 0x00, 0x03};
    EXPECT_TRUE(port.WriteComblock(ack.data(), 5));
    EXPECT_EQ(pty.Read(5), ack);
}

TEST_F(SerialPortTest, APurgeNeverTakesBackWhatWasWritten) {
    ASSERT_TRUE(port.Open());
    const std::vector<uint8_t> ack = {0x02, 0x12, 0x06, 0x00, 0x03};
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(port.WriteComblock(ack.data(), 5));
        port.Purge();
        ASSERT_EQ(pty.Read(5, 1000), ack) << "round " << i;
    }
}

TEST_F(SerialPortTest, WithoutADeviceNothingIsWritten) {
    const uint8_t byte = 0x02;
    EXPECT_FALSE(port.WriteComblock(&byte, 1));
    EXPECT_TRUE(port.WriteComblock(&byte, 0));
    uint8_t buffer[4];
    EXPECT_EQ(port.Read(buffer, 4), 0);
    EXPECT_FALSE(port.PrepareClose());
}

// Each failed open says once why, naming the device's path.
TEST(SerialPortOpen, EachFailureLeavesOneLineWithThePathAndTheCause) {
    test_support::TempDir dir;
    const std::string file = dir.Path() + "/not-a-tty";
    std::ofstream(file) << "x";
    PtyPair pty;
    ASSERT_FALSE(pty.SlavePath().empty());
    struct Case {
        std::string path;
        std::string cause;
        bool heldElsewhere = false;
    };
    const Case cases[] = {
        {dir.Path() + "/no-such-tty", "No such file or directory"},
        {file, "is not a terminal"},
        {pty.SlavePath(), "held by another process or opener", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        // The last cases need root: only root opens a terminal that another
        // opener holds in exclusive mode (and so sees who holds it), and only
        // root can become a user whom the device's permissions refuse.
        if (c.heldElsewhere && ::geteuid() != 0) {
            GTEST_SKIP() << "needs root: a line held in exclusive mode, and a refused user";
        }
        LogCapture log;
        test_support::ScopedEnv env("QV_PORT_COM2", c.path);
        SerialPort holder;
        holder.Configure(2, 57600, 8, 0, 0);
        if (c.heldElsewhere) {
            ASSERT_TRUE(holder.Open());
        }
        const std::string before = log.Text();
        SerialPort port;
        port.Configure(2, 57600, 8, 0, 0);
        // The debug output is open already; count descriptors from here.
        const size_t descriptors = OpenDescriptorCount();
        EXPECT_FALSE(port.Open());
        EXPECT_EQ(port.IsOpen(), 0);
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
        const std::string said = log.Text().substr(before.size());
        EXPECT_EQ(log.Count(c.path), 1) << said;
        EXPECT_NE(said.find("serial: "), std::string::npos) << said;
        EXPECT_NE(said.find(c.cause), std::string::npos) << said;
    }

    // No permission: as an unprivileged user (the suite may run as root, which
    // no permission stops). The slave belongs to root, so nobody is refused.
    LogCapture log;
    test_support::ScopedEnv env("QV_PORT_COM2", pty.SlavePath());
    const int outcome = platform_test::RunInChild(
        [] {
            SerialPort port;
            port.Configure(2, 57600, 8, 0, 0);
            return port.Open() ? 1 : 0;
        },
        true);
    EXPECT_EQ(outcome, 0);
    EXPECT_EQ(log.Count(pty.SlavePath()), 1) << log.Text();
    EXPECT_EQ(log.Count("Permission denied; the device belongs to group "), 1) << log.Text();
    EXPECT_EQ(log.Count(", mode 0"), 1) << log.Text();
}

// A program that had the line open before us (a terminal program, a getty)
// would read the engine's replies: the open is refused and names it.
TEST_F(SerialPortTest, AnotherProgramOnTheLineIsNamedAndRefused) {
    {
        platform_test::HolderProcess other([&] {
            pty.CloseMaster();  // the far end of the line stays with the test
            return ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY) >= 0;
        });
        ASSERT_TRUE(other.Took());
        EXPECT_FALSE(port.Open());
        EXPECT_EQ(log.Count("also open in process " + std::to_string(other.Pid()) + " ("), 1)
            << log.Text();
    }
    EXPECT_TRUE(port.Open()) << "free once the other program is gone";
}

// A build root or a container has ptys of its own, numbered from 0 with the
// same device numbers as ours: the same number there is another line.
TEST_F(SerialPortTest, APtyOfAnotherInstanceWithTheSameNumberIsNoRival) {
    const std::string slave = pty.SlavePath();
    const long index = std::strtol(slave.c_str() + slave.rfind('/') + 1, nullptr, 10);
    const test_support::TempDir dir;
    platform_test::HolderProcess other([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("devpts", dir.Path().c_str(), "devpts", 0, "newinstance,ptmxmode=0666") != 0) {
            return false;
        }
        const std::string ptmx = dir.Path() + "/ptmx";
        std::vector<int> masters;
        for (long i = 0; i <= index; ++i) {
            masters.push_back(::open(ptmx.c_str(), O_RDWR | O_NOCTTY));
            if (masters.back() < 0 || ::unlockpt(masters.back()) != 0) return false;
        }
        const bool took =
            ::open((dir.Path() + "/" + std::to_string(index)).c_str(), O_RDWR | O_NOCTTY) >= 0;
        // Only the slave stays, as with a program whose parent holds the master.
        for (const int master : masters)
            ::close(master);
        return took;
    });
    if (!other.Took()) GTEST_SKIP() << "needs a mount namespace of its own (root)";
    EXPECT_TRUE(port.Open()) << log.Text();
    EXPECT_EQ(log.Count("also open in process"), 0) << log.Text();
}

TEST_F(SerialPortTest, WaitReportsReceivedCharacters) {
    ASSERT_TRUE(port.Open());
    std::atomic<uint32_t> events{0xFFFF};
    std::thread waiter([&] {
        uint32_t set = 0;
        if (port.GetHandle()->WaitEvent(&set) == platform::WaitResult::Events) events = set;
    });
    std::this_thread::sleep_for(20ms);
    pty.Write({0x02});
    waiter.join();
    EXPECT_EQ(events.load(), platform::EV_RXCHAR);
}

TEST_F(SerialPortTest, PrepareCloseReleasesAWaitAtOnce) {
    ASSERT_TRUE(port.Open());
    std::atomic<int> outcome{-1};
    std::atomic<uint32_t> events{0xFFFF};
    std::chrono::steady_clock::time_point released;
    std::thread waiter([&] {
        uint32_t set = 0xFFFF;
        outcome = static_cast<int>(port.GetHandle()->WaitEvent(&set));
        released = std::chrono::steady_clock::now();
        events = set;
    });
    std::this_thread::sleep_for(50ms);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(port.PrepareClose());
    waiter.join();
    EXPECT_EQ(outcome.load(), static_cast<int>(platform::WaitResult::Events));
    EXPECT_EQ(events.load(), 0u);
    // A few milliseconds in practice; generous for a loaded machine.
    EXPECT_LT(released - asked, 500ms);
    EXPECT_FALSE(log.Contains("PurgeComm  ERR"));
    // A wait that starts after the mask was cleared returns at once too.
    uint32_t set = 0xFFFF;
    EXPECT_EQ(port.GetHandle()->WaitEvent(&set), platform::WaitResult::Events);
    EXPECT_EQ(set, 0u);
}

TEST_F(SerialPortTest, AHangUpEndsTheWaitAndFailsWrites) {
    ASSERT_TRUE(port.Open());
    std::atomic<int> outcome{-1};
    std::thread waiter([&] {
        uint32_t set = 0;
        outcome = static_cast<int>(port.GetHandle()->WaitEvent(&set));
    });
    std::this_thread::sleep_for(50ms);
    pty.CloseMaster();
    waiter.join();
    EXPECT_EQ(outcome.load(), static_cast<int>(platform::WaitResult::Failed));
    // Every later wait fails at once instead of blocking or reporting data.
    uint32_t set = 0;
    EXPECT_EQ(port.GetHandle()->WaitEvent(&set), platform::WaitResult::Failed);

    const uint8_t frame[] = {0x02, 0x12, 0x06, 0x00, 0x03};
    EXPECT_FALSE(port.WriteComblock(frame, 5));
    EXPECT_TRUE(log.Contains("[RO25]WriteFile : 5 \r\n"));  // EIO
    EXPECT_TRUE(port.IsHungUp());
    // Said once, however often the device is found gone.
    EXPECT_EQ(log.Count("serial: " + pty.SlavePath() + " hung up"), 1) << log.Text();
}

TEST_F(SerialPortTest, ADeviceWithoutModemLinesSaysSoOnThePlatformsOwnOutput) {
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.PrepareClose());
    EXPECT_EQ(log.Count("serial: " + pty.SlavePath() + ": no modem lines"), 1) << log.Text();
    EXPECT_FALSE(log.Contains("[RO25]ClearDTR"));
}

}  // namespace
}  // namespace qv

// Run inside the kernel rig only (tests/linux/run.sh, `make test-linux`):
// the library on the kernel's 8250 driver (/dev/ttyS1, with ro25-sim on the
// host's end of the UART; its "BAR1:" driver socket comes over /dev/ttyS2)
// and typing through /dev/uinput. The barcodes come from barcodes.txt, in
// the order of the tests below.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "QVPlatform.h"
#include "QV_Rizoviv2I_RO25.h"
#include "delivery/barcode_delivery.h"
#include "platform/keyboard/keyboard.h"
#include "platform/keyboard/keyboard_uinput.h"
#include "platform/text/utf.h"
#include "symbology/settings_files.h"
#include "test_support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

constexpr char kEngineTty[] = "/dev/ttyS1";
constexpr char kDriverTty[] = "/dev/ttyS2";
constexpr char kDriverSocket[] = "/tmp/bar1.sock";

// Carries the library's "BAR1:" connection (a Unix socket, as
// QV_DRIVER_BAR1=unix: expects) over the raw UART to the simulator's
// driver socket on the host; one connection at a time, the UART stays open.
class DriverRelay : public ::testing::Environment {
  public:
    void SetUp() override {
        m_tty = ::open(kDriverTty, O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(m_tty, 0) << kDriverTty << ": " << std::strerror(errno);
        termios t{};
        ::tcgetattr(m_tty, &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, B115200);
        ::tcsetattr(m_tty, TCSANOW, &t);
        m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, kDriverSocket);
        ::unlink(kDriverSocket);
        ASSERT_EQ(::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(m_listen, 1), 0);
        ASSERT_EQ(::pipe2(m_stop, O_CLOEXEC), 0);
        m_thread = std::thread([this] { Run(); });
    }
    void TearDown() override {
        ::close(m_stop[1]);
        if (m_thread.joinable()) m_thread.join();
    }

  private:
    void Run() {
        int client = -1;
        char buffer[4096];
        for (;;) {
            pollfd fds[3] = {{m_stop[0], POLLIN, 0},
                             {client >= 0 ? client : m_listen, POLLIN, 0},
                             {m_tty, POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0) continue;
            if (fds[0].revents != 0) break;
            if (fds[1].revents != 0) {
                if (client < 0) {
                    client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                } else {
                    const ssize_t n = ::read(client, buffer, sizeof buffer);
                    if (n <= 0) {
                        ::close(client);
                        client = -1;
                    } else {
                        WriteAll(m_tty, buffer, n);
                    }
                }
            }
            if ((fds[2].revents & POLLIN) != 0) {
                const ssize_t n = ::read(m_tty, buffer, sizeof buffer);
                if (n > 0 && client >= 0) WriteAll(client, buffer, n);
            }
        }
        if (client >= 0) ::close(client);
    }
    static void WriteAll(int fd, const char* p, ssize_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd, p, n);
            if (w <= 0) return;
            p += w;
            n -= w;
        }
    }

    int m_tty = -1;
    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

const auto* const g_relay = ::testing::AddGlobalTestEnvironment(new DriverRelay);

struct Received {
    std::atomic<int> count{0};
    int32_t symbology = 0;
    std::u16string text;
} g_received;

void OnBarcode(int32_t symbology, const char16_t* text) {
    g_received.symbology = symbology;
    g_received.text = text;
    g_received.count = g_received.count + 1;
}

class OnTheKernel : public ::testing::Test {
  protected:
    void SetUp() override {
        qv::SetSettingDirectoryOverride(qv::platform::Utf8ToUtf16(m_dir.Path() + "/"));
    }
    void TearDown() override {
        QVImagerClose();
        qv::SetSettingDirectoryOverride(std::nullopt);
    }
    test_support::TempDir m_dir;
};

// The key events (code, value) of the virtual keyboard, each checked to be
// followed by a sync, until `count` have come or 20 s have passed.
std::vector<std::pair<int, int>> ReadKeys(int fd, size_t count) {
    std::vector<std::pair<int, int>> keys;
    bool synced = true;
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (keys.size() < count || !synced) {
        if (std::chrono::steady_clock::now() > end) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        input_event e{};
        if (::read(fd, &e, sizeof e) != static_cast<ssize_t>(sizeof e)) continue;
        if (e.type == EV_KEY) {
            EXPECT_TRUE(synced) << "no sync after key " << keys.back().first;
            keys.emplace_back(e.code, e.value);
            synced = false;
        } else if (e.type == EV_SYN && e.code == SYN_REPORT) {
            synced = true;
        }
    }
    return keys;
}

void Press(std::vector<std::pair<int, int>>& keys, int code) {
    keys.emplace_back(code, 1);
    keys.emplace_back(code, 0);
}

// What typing `text` gives on a US keyboard, Shift held around shifted keys.
std::vector<std::pair<int, int>> Typed(std::string_view text) {
    std::vector<std::pair<int, int>> keys;
    for (unsigned char c : text) {
        const auto stroke = qv::CharToVirtualKey(c);
        const int key = stroke ? qv::platform::VirtualKeyToLinuxKey(stroke->virtualKey) : 0;
        if (key == 0) continue;  // no key: skipped
        if (stroke->shift) keys.emplace_back(KEY_LEFTSHIFT, 1);
        Press(keys, key);
        if (stroke->shift) keys.emplace_back(KEY_LEFTSHIFT, 0);
    }
    return keys;
}

TEST_F(OnTheKernel, KeyboardModeTypesThroughUinput) {
    test_support::ScopedEnv keyboard("QV_KEYBOARD", "uinput:RO25 test keyboard,layout=us");
    ASSERT_EQ(QVImagerOpen(), 1);
    const std::string node = qv::platform::VirtualKeyboardDevice();
    ASSERT_FALSE(node.empty()) << "no virtual keyboard";
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << node;
    char name[64] = {};
    ::ioctl(fd, EVIOCGNAME(sizeof name - 1), name);
    EXPECT_STREQ(name, "RO25 test keyboard");

    ASSERT_EQ(QVImagerSetReceiveType(1), 1);
    ASSERT_EQ(QVImagerSetPrefix1(0x11), 1);  // Ctrl+V
    ASSERT_EQ(QVImagerSetPrefix2(0x56), 1);
    ASSERT_EQ(QVImagerSetSuffix1(0x0D), 1);  // Enter
    ASSERT_EQ(QVImagerSetSuffix2(0), 1);

    // First barcode: a&B1.
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    const std::vector<std::pair<int, int>> expected = {
        {KEY_LEFTCTRL, 1},  {KEY_V, 1},    {KEY_V, 0}, {KEY_LEFTCTRL, 0},   // prefix
        {KEY_A, 1},         {KEY_A, 0},                                     // a
        {KEY_LEFTSHIFT, 1}, {KEY_7, 1},    {KEY_7, 0}, {KEY_LEFTSHIFT, 0},  // &
        {KEY_LEFTSHIFT, 1}, {KEY_B, 1},    {KEY_B, 0}, {KEY_LEFTSHIFT, 0},  // B
        {KEY_1, 1},         {KEY_1, 0},                                     // 1
        {KEY_ENTER, 1},     {KEY_ENTER, 0}};                                // suffix
    EXPECT_EQ(ReadKeys(fd, expected.size()), expected);

    // Second barcode: every character of the table; \x01 has no key.
    std::string table = "\t\r\x1b\x08\x01";
    for (int c = 0x20; c < 0x7F; ++c)
        table += static_cast<char>(c);
    ASSERT_EQ(QVImagerSetPrefix1(0), 1);
    ASSERT_EQ(QVImagerSetPrefix2(0), 1);
    ASSERT_EQ(QVImagerSetSuffix1(0), 1);
    ASSERT_EQ(QVImagerScanStart(nullptr), 1);
    const auto typed = Typed(table);
    // 4 control keys and 95 printable characters, 47 of them with Shift.
    EXPECT_EQ(typed.size(), 4u * 2 + 48 * 2 + 47 * 4);
    EXPECT_EQ(ReadKeys(fd, typed.size()), typed);
    // Nothing after the last key.
    std::this_thread::sleep_for(300ms);
    input_event extra{};
    EXPECT_LT(::read(fd, &extra, sizeof extra), 0);
    ::close(fd);
}

TEST_F(OnTheKernel, EngineOnThe8250UartScansAndChangesASetting) {
    // Left behind by someone else: hardware and software flow control, 9600 7E1.
    {
        const int fd = ::open(kEngineTty, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        t.c_cflag |= CRTSCTS | PARENB;
        t.c_cflag = (t.c_cflag & ~CSIZE) | CS7;
        t.c_iflag |= IXON | IXOFF;
        t.c_lflag |= ICANON | ECHO;
        ::cfsetspeed(&t, B9600);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
        ::close(fd);
    }
    ASSERT_EQ(QVImagerOpen(), 1);
    {
        // DTR and RTS are cleared in the UART's modem-control register. Asked
        // on the library's own descriptor: every open of a serial port raises both.
        int libraryFd = -1;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            if (std::filesystem::read_symlink(entry.path(), error) == kEngineTty) {
                libraryFd = std::stoi(entry.path().filename().string());
            }
        }
        ASSERT_GE(libraryFd, 0);
        int lines = 0;
        ASSERT_EQ(::ioctl(libraryFd, TIOCMGET, &lines), 0);
        EXPECT_EQ(lines & (TIOCM_DTR | TIOCM_RTS), 0);
    }
    {
        const int fd = ::open(kEngineTty, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        ::close(fd);
        EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B57600));
        EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B57600));
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
    }

    // The callback goes to the application that named a window.
    QVHWND window = QVPlatformCreateWindow(u"LinuxTestWindow", QVPlatformDefWindowProc, nullptr);
    ASSERT_EQ(QVImagerSetWindow(window), 1);
    ASSERT_EQ(QVImagerScanStart(OnBarcode), 1);
    for (int i = 0; i < 200 && g_received.count == 0; ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_EQ(g_received.count, 1);
    EXPECT_EQ(g_received.text, u"UART 8250");

    ASSERT_EQ(QVImagerSetSecurtyLevel(2), 1);
    int32_t level = 0;
    ASSERT_EQ(QVImagerGetSecurtyLevel(&level), 1);
    EXPECT_EQ(level, 2);
    EXPECT_EQ(QVImagerClose(), 1);
    QVPlatformDestroyWindow(window);
}

}  // namespace

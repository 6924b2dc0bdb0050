// Barcodes typed through /dev/uinput by the library's delivery, read back
// from the event device and decoded the way a desktop does: libxkbcommon
// with Debian's xkb-data for the layout in use. No barcode of ro25-sim is
// used: the delivery is driven directly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "QVPlatform.h"
#include "delivery/barcode_delivery.h"
#include "delivery/delivery_options.h"
#include "link/reader_gate.h"
#include "platform/core/configuration.h"
#include "platform/keyboard/keyboard.h"
#include "platform/keyboard/keyboard_uinput.h"
#include "test_support/temp_dir.h"
#include "test_support/xkb_session.h"

namespace {

using namespace std::chrono_literals;

class NoTrigger final : public qv::TriggerLine {
  public:
    void SetTriggerLine(uint8_t) override {}
};

// The key events of `fd` until none has come for half a second.
std::vector<input_event> ReadUntilQuiet(int fd) {
    std::vector<input_event> events;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 500) <= 0) return events;
        input_event e{};
        if (::read(fd, &e, sizeof e) == static_cast<ssize_t>(sizeof e) && e.type == EV_KEY)
            events.push_back(e);
    }
}

// What a session with `layout`, in its layout `group` of the list (and with
// Caps Lock on when `capsLock`), makes of the keys.
std::u32string Decode(const std::vector<input_event>& events, const char* layout, bool capsLock,
                      uint32_t group = 0) {
    test_support::XkbSession session(layout, group, capsLock);
    for (const input_event& e : events) {
        if (e.value == 0 || e.value == 1) session.Key(e.code, e.value == 1);
    }
    return session.Text();
}

class KeyboardLayouts : public ::testing::Test {
  protected:
    // Applies QV_KEYBOARD as an open does; the event device of the keyboard made.
    int Open(const std::string& keyboard) {
        test_support::ScopedEnv env("QV_KEYBOARD", keyboard);
        m_delivery.Reset();
        m_delivery.m_delayMs = 1;
        const std::string node = qv::platform::VirtualKeyboardDevice();
        if (node.empty()) return -1;
        return ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    // The key events the delivery of `ansiText` gives, read while it types
    // (the event device's buffer holds fewer than a barcode's keys).
    std::vector<input_event> Deliver(int fd, std::string_view ansiText, int32_t receiveType) {
        m_delivery.m_recvType = receiveType;
        const std::string payload = "j" + std::string(ansiText);
        std::thread reader([&] {
            m_delivery.DeliverBarcode(reinterpret_cast<const uint8_t*>(payload.data()),
                                      static_cast<int32_t>(payload.size()));
        });
        std::vector<input_event> events = ReadUntilQuiet(fd);
        reader.join();
        return events;
    }
    std::string Log() const { return test_support::ReadFile(m_dir.Path() + "/debug.txt"); }

    test_support::TempDir m_dir;
    test_support::ScopedEnv m_registry{"QV_REGISTRY", m_dir.Path() + "/registry.reg"};
    test_support::ScopedEnv m_debug{"QV_DEBUG_OUTPUT", m_dir.Path() + "/debug.txt"};
    qv::DeliveryOptions m_options;
    NoTrigger m_trigger;
    qv::ReaderGate m_gate;
    qv::BarcodeDelivery m_delivery{m_options, m_trigger, m_gate, 0};
};

TEST_F(KeyboardLayouts, BarcodeArrivesAsItsTextInEachLayout) {
    // In CP1252, 0xE9 is é and 0x80 is €.
    const std::string barcode = "abzyZY@/-:#;0123456789\xE9\x80";
    const std::u32string text = U"abzyZY@/-:#;0123456789é€";
    const struct {
        const char* layout;
        bool capsLock;
        std::u32string untypable;  // no key of the layout gives these
    } cases[] = {
        {"us", false, U"é€"},
        {"de", false, U"é"},
        {"fr", false, U""},
        {"de", true, U"é"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + (c.capsLock ? " with Caps Lock" : ""));
        const int fd = Open(std::string("uinput:RO25 layout test,layout=") + c.layout);
        ASSERT_GE(fd, 0) << "no virtual keyboard";
        if (c.capsLock) {
            // What a desktop does when Caps Lock is pressed on any keyboard.
            const input_event led[] = {{{}, EV_LED, LED_CAPSL, 1}, {{}, EV_SYN, SYN_REPORT, 0}};
            ASSERT_EQ(::write(fd, led, sizeof led), static_cast<ssize_t>(sizeof led));
        }
        const std::vector<input_event> events = Deliver(fd, barcode, 1);
        std::u32string expected;
        for (const char32_t ch : text) {
            if (c.untypable.find(ch) == std::u32string::npos) expected += ch;
        }
        expected += U'\r';  // the default suffix, 0x0A, as Enter
        EXPECT_EQ(Decode(events, c.layout, c.capsLock), expected);
        if (c.capsLock) {
            const input_event led[] = {{{}, EV_LED, LED_CAPSL, 0}, {{}, EV_SYN, SYN_REPORT, 0}};
            ASSERT_EQ(::write(fd, led, sizeof led), static_cast<ssize_t>(sizeof led));
        }
        ::close(fd);
        const std::string log = Log();
        EXPECT_NE(log.find(std::string("in layout ") + c.layout + ", from QV_KEYBOARD"),
                  std::string::npos)
            << log;
        if (c.untypable.find(U'é') != std::u32string::npos) {
            EXPECT_NE(log.find(std::string("layout ") + c.layout +
                               " has no single key for U+00E9 \"é\"; skipped"),
                      std::string::npos)
                << log;
        }
        if (c.untypable.find(U'€') != std::u32string::npos) {
            EXPECT_NE(log.find("has no single key for U+20AC \"€\"; skipped"), std::string::npos)
                << log;
        }
    }
}

TEST_F(KeyboardLayouts, BarcodeArrivesWholeInALayoutListAndThroughDeadKeys) {
    const std::string barcode = "ABC-123/x ~user^2";
    const struct {
        const char* layout;
        uint32_t sessionGroup;  // the Latin layout of the list
    } cases[] = {{"ru,us", 1}, {"gr,us", 1}, {"de", 0}, {"ch", 0}, {"es", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        const int fd = Open(std::string("uinput:RO25 layout test,layout=") + c.layout);
        ASSERT_GE(fd, 0) << "no virtual keyboard";
        // A dagger (0x86 in CP1252) has no key in these layouts: lost, counted and said.
        const std::vector<input_event> events = Deliver(fd, barcode + "\x86", 1);
        ::close(fd);
        EXPECT_EQ(QVPlatformGetUntypedCharacters(), 1u);  // what an application is told
        const std::u32string expected(barcode.begin(), barcode.end());
        EXPECT_EQ(Decode(events, c.layout, false, c.sessionGroup), expected + U"\r");
    }
    const std::string log = Log();
    size_t lost = 0;
    for (size_t at = 0;
         (at = log.find("key injection: 1 character of the barcode could not be typed", at)) !=
         std::string::npos;
         ++at) {
        ++lost;
    }
    EXPECT_EQ(lost, std::size(cases));
    EXPECT_NE(log.find("key injection: characters are typed as us gives them (the session is to "
                       "be in us), those us lacks at their keys in ru"),
              std::string::npos)
        << log;
}

TEST_F(KeyboardLayouts, ClipboardModeTypesTheBarcodeInsteadOfPastingTheSystemsClipboard) {
    const int fd = Open("uinput:RO25 layout test,layout=fr");
    ASSERT_GE(fd, 0) << "no virtual keyboard";
    const std::vector<input_event> events = Deliver(fd, "Paste 42", 2);
    ::close(fd);
    for (const input_event& e : events)
        EXPECT_NE(e.code, KEY_LEFTCTRL);
    EXPECT_EQ(Decode(events, "fr", false), U"Paste 42\r");
    EXPECT_NE(Log().find("clipboard mode types the text"), std::string::npos);
}

TEST_F(KeyboardLayouts, EachOpenAppliesTheSettingItReads) {
    const int first = Open("uinput:First keyboard");
    ASSERT_GE(first, 0);
    ::close(first);
    // Made at the open, before any key: a new name makes a new device.
    const int second = Open("uinput:Second keyboard,layout=de");
    ASSERT_GE(second, 0);
    char name[64] = {};
    ::ioctl(second, EVIOCGNAME(sizeof name - 1), name);
    EXPECT_STREQ(name, "Second keyboard");
    ::close(second);
    // Unset: nothing types into the system any more.
    {
        test_support::ScopedEnv env("QV_KEYBOARD", "");
        m_delivery.Reset();
    }
    EXPECT_EQ(qv::platform::VirtualKeyboardDevice(), "");
    EXPECT_FALSE(qv::platform::KeyboardTypesCharacters());
}

}  // namespace

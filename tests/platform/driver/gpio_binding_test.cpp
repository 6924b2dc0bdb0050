#include "platform/driver/gpio_binding.h"

#include <gtest/gtest.h>

#include "platform/driver/device_driver.h"
#include "power/driver_test_support.h"
#include "test_support/log_capture.h"

namespace qv::platform {
namespace {

using test_support::Le32;

std::string Describe(const GpioLineRef& line) {
    std::string text = line.offset ? std::to_string(*line.offset) : "\"" + line.name + "\"";
    return text + (line.activeLow ? "/low" : "");
}

std::string Describe(const GpioBinding& b) {
    return b.chip + " power=" + Describe(b.power) + " trigger=" + Describe(b.trigger) +
           " wake=" + Describe(b.wake) + (b.status ? " status=" + Describe(*b.status) : "") +
           (b.consumer.empty() ? "" : " consumer=" + b.consumer);
}

// An accepted value as it was read; a refused one with the reason given.
TEST(GpioBindingGrammar, ReadsAValueOrSaysWhyNot) {
    const struct {
        bool accepted;
        const char* value;
        const char* said;  // the binding read back, or part of the error
    } cases[] = {
        {true, "gpiochip0:power=1,trigger=2,wake=3", "gpiochip0 power=1 trigger=2 wake=3"},
        {true, "/dev/gpiochip2:wake=0,power=10,trigger=4:low",
         "/dev/gpiochip2 power=10 trigger=4/low wake=0"},
        {true,
         "scanner-gpio:power=SCAN_PWR:high,trigger=SCAN_TRIG:low,wake=SCAN WAKE,status=7:low,"
         "consumer=scanner app",
         "scanner-gpio power=\"SCAN_PWR\" trigger=\"SCAN_TRIG\"/low wake=\"SCAN WAKE\" "
         "status=7/low consumer=scanner app"},
        // A name that starts with a digit but is no number is a name.
        {true, "1:power=3v3_EN,trigger=2,wake=3", "1 power=\"3v3_EN\" trigger=2 wake=3"},
        {true, "c:power=1,trigger=2,wake=3,consumer=0123456789012345678901234567890",
         "c power=1 trigger=2 wake=3 consumer=0123456789012345678901234567890"},
        {false, "", "no chip"},
        {false, ":power=1,trigger=2,wake=3", "no chip"},
        {false, "gpiochip0", "no chip"},
        {false, "gpiochip0:", "is not <role>=<line>"},
        {false, "gpiochip0:power=1,trigger=2", "missing wake"},
        {false, "gpiochip0:trigger=2,wake=3", "missing power"},
        {false, "gpiochip0:power=1,trigger=2,wake=3,", "is not <role>=<line>"},
        {false, "gpiochip0:power=1,power=2,trigger=3,wake=4", "power is given twice"},
        {false, "gpiochip0:power=1,trigger=2,wake=3,led=4", "unknown role \"led\""},
        {false, "gpiochip0:power=1,trigger=2,wake=2", "one line is given two roles"},
        {false, "gpiochip0:power=1,trigger=2,wake=3,status=1", "one line is given two roles"},
        {false, "gpiochip0:power=1:lo,trigger=2,wake=3", "power: active level \"lo\""},
        {false, "gpiochip0:power=:low,trigger=2,wake=3", "power: a line is empty"},
        {false, "gpiochip0:power=99999999999,trigger=2,wake=3", "out of range"},
        {false, "gpiochip0:power=1,trigger=2,wake=3,consumer=", "consumer must be"},
        {false, "gpiochip0:power=1,trigger=2,wake=3,consumer=01234567890123456789012345678901",
         "consumer must be"},
        {false, "gpiochip0:power=1,trigger=2,wake=3,consumer=a\nb", "consumer must be"},
    };
    for (const auto& c : cases) {
        const GpioBindingParse r = ParseGpioBinding(c.value);
        if (c.accepted) {
            ASSERT_TRUE(r.binding.has_value()) << c.value << ": " << r.error;
            EXPECT_EQ(Describe(*r.binding), c.said) << c.value;
        } else {
            EXPECT_FALSE(r.binding.has_value()) << c.value;
            EXPECT_NE(r.error.find(c.said), std::string::npos) << c.value << ": " << r.error;
        }
    }
}

// Each request the library sends, and what the lines do with it.
TEST(GpioBindingRequests, EveryRequestMapsToALine) {
    using Kind = GpioAction::Kind;
    const struct {
        uint32_t code;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
        Kind kind;
        GpioRole role;
        bool level;
    } cases[] = {
        {1, Le32({0x04414108, 1}), {}, Kind::Set, GpioRole::Power, true},
        {1, Le32({0x04214104, 0}), {}, Kind::Set, GpioRole::Trigger, false},
        {1, Le32({0x04114104, 7}), {}, Kind::Set, GpioRole::Wake, true},
        {1, Le32({0x04114105, 1}), {}, Kind::Invalid, GpioRole::Power, false},
        {1, Le32({0}), {}, Kind::Set, GpioRole::Trigger, true},
        {1, Le32({2}), {}, Kind::Set, GpioRole::Trigger, false},
        {1, Le32({1}), {}, Kind::Invalid, GpioRole::Power, false},
        {2, {}, Le32({0x04414108, 1}), Kind::Read, GpioRole::Power, false},
        {2, {}, Le32({0x04214104, 1}), Kind::Read, GpioRole::Trigger, false},
        {2, {}, Le32({0x12345678, 1}), Kind::Invalid, GpioRole::Power, false},
        {2, Le32({1}), {}, Kind::Set, GpioRole::Power, true},
        {2, Le32({0}), {}, Kind::Set, GpioRole::Power, false},
        {3, {}, Le32({0}), Kind::Read, GpioRole::Power, false},
        {3, {}, {0, 0}, Kind::Invalid, GpioRole::Power, false},
        {6, Le32({5}), {}, Kind::Set, GpioRole::Wake, true},
        {6, Le32({4}), {}, Kind::Set, GpioRole::Wake, false},
        {6, Le32({1}), {}, Kind::Invalid, GpioRole::Power, false},
        {7, Le32({7}), {}, Kind::Set, GpioRole::Trigger, true},
        {7, Le32({6}), {}, Kind::Set, GpioRole::Trigger, false},
        {4, Le32({1}), {}, Kind::Invalid, GpioRole::Power, false},
    };
    for (const auto& c : cases) {
        const GpioAction a = DecodeGpioRequest(c.code, c.in, c.out);
        const std::string what = "request " + std::to_string(c.code) + " with " +
                                 std::to_string(c.in.size()) + " bytes in";
        EXPECT_EQ(a.kind, c.kind) << what;
        if (a.kind == Kind::Invalid || c.kind == Kind::Invalid) continue;
        EXPECT_EQ(a.role, c.role) << what;
        if (a.kind == Kind::Set) {
            EXPECT_EQ(a.level, c.level) << what;
        }
    }
    // A line read echoes the identifier; the power status is 4 bytes.
    const auto record = DecodeGpioRequest(2, {}, Le32({0x04414108, 1}));
    EXPECT_EQ(GpioReadReply(record, false), Le32({0x04414108, 0}));
    EXPECT_EQ(GpioReadReply(DecodeGpioRequest(3, {}, Le32({9})), true), Le32({1}));
}

// Through the driver's open: the cause is said and nothing is opened.
TEST(GpioBindingOpen, AValueOrChipThatCannotBeUsedFailsTheOpenWithItsCause) {
    const struct {
        const char* value;
        const char* said;
    } cases[] = {
        {"gpio:gpiochip0:power=1,trigger=2",
         "BAR1: gpio:gpiochip0:power=1,trigger=2: missing wake"},
        {"gpio:no-such-chip-here:power=1,trigger=2,wake=3",
         "BAR1: no GPIO chip \"no-such-chip-here\""},
    };
    for (const auto& c : cases) {
        test_support::LogCapture log;
        test_support::ScopedEnv env("QV_DRIVER_BAR1", c.value);
        EXPECT_EQ(DriverHandle::Open("BAR1:"), nullptr) << c.value;
        EXPECT_EQ(log.Count(c.said), 1) << c.value;
    }
}

}  // namespace
}  // namespace qv::platform

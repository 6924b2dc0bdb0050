#include "sim/gpio_trace.h"

#include <gtest/gtest.h>

#include "power/driver_test_support.h"

namespace qv::sim {
namespace {

TEST(GpioTrace, OnlyLevelsSetAreFollowed) {
    const struct {
        const char* line;
        std::optional<TracedLevel> traced;
    } cases[] = {
        {"     linux_tests-123     [000] .....    12.345678: gpio_value: 512 set 1",
         TracedLevel{512, true, 12345678, 123}},
        {"  gpioset-7 [001] d..1. 0.000042: gpio_value: 1020 set 0",
         TracedLevel{1020, false, 42, 7}},
        // Task names may hold dashes and blanks.
        {" kworker/u2:1-my thread-45 [000] ..... 3.000001: gpio_value: 3 set 1",
         TracedLevel{3, true, 3000001, 45}},
        {"  prog-9 [000] ..... 1.000000: gpio_value: 512 get 1", std::nullopt},
        {"  prog-9 [000] ..... 1.000000: gpio_direction: 512 out (0)", std::nullopt},
        {"# tracer: nop", std::nullopt},
        {"  prog-9 [000] ..... 1.0: gpio_value: 512 set 1", std::nullopt},
        {"  prog-9 [000] ..... 1.000000: gpio_value: 512 set 2", std::nullopt},
        {"  prog-x [000] ..... 1.000000: gpio_value: 512 set 1", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto traced = ParseGpioTraceLine(c.line);
        ASSERT_EQ(traced.has_value(), c.traced.has_value()) << c.line;
        if (!traced) continue;
        EXPECT_EQ(traced->gpio, c.traced->gpio) << c.line;
        EXPECT_EQ(traced->level, c.traced->level) << c.line;
        EXPECT_EQ(traced->micros, c.traced->micros) << c.line;
        EXPECT_EQ(traced->thread, c.traced->thread) << c.line;
    }
    EXPECT_EQ(SetLineRequest(0x04214104, true), test_support::Le32({1, 8, 0, 0x04214104, 1}));
}

}  // namespace
}  // namespace qv::sim

// The calling thread's last failure as the C interface hands it out: the
// code alone, and the line cut to the caller's buffer at a whole character.
#include "platform/core/last_failure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "QVPlatform.h"

namespace qv::platform {
namespace {

TEST(LastFailure, IsCutToTheBufferAtAWholeCharacter) {
    // "/dev/tty€: x": the euro sign is three bytes, at offsets 8 to 10.
    SetLastFailure(EACCES, "/dev/tty\xE2\x82\xAC: x\r\n");
    const struct {
        uint32_t capacity;
        std::string text;
    } cases[] = {
        {64, "/dev/tty\xE2\x82\xAC: x"},  // line end dropped
        {12, "/dev/tty\xE2\x82\xAC"},
        {11, "/dev/tty"},  // the euro sign would be cut
        {9, "/dev/tty"},
        {1, ""},
    };
    for (const auto& c : cases) {
        char buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        EXPECT_EQ(QVPlatformGetLastFailure(buffer, c.capacity), EACCES);
        EXPECT_EQ(std::string(buffer), c.text) << c.capacity;
    }
    EXPECT_EQ(QVPlatformGetLastFailure(nullptr, 64), EACCES);
    SetLastFailure(EIO, std::string(2000, 'x'));
    EXPECT_EQ(LastFailureText().size(), 512u);
    ClearLastFailure();
    char buffer[8] = "old";
    EXPECT_EQ(QVPlatformGetLastFailure(buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer), "");
}

}  // namespace
}  // namespace qv::platform

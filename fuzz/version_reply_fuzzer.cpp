// Arbitrary version replies (and initialised-query replies) through their
// readers, from the engine's bytes to the caller's three buffers. The
// buffers are exactly 256 units, so a text that is not cut at 255
// characters or not terminated shows under the sanitizers.
//
// Input: the reply, of which at most 1024 bytes are used.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/command_port.h"
#include "symbology/module_maintenance.h"
#include "symbology/module_payloads.h"

namespace {

constexpr size_t kReplyBuffer = 1024;
constexpr size_t kTextUnits = 256;

void Require(bool condition) {
    if (!condition) std::abort();
}

// An engine whose every reply is the input.
class ReplyingPort final : public qv::CommandPort {
  public:
    ReplyingPort(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    int32_t Send(qv::FrameKind, const uint8_t*, int32_t, uint8_t* reply,
                 int32_t* replyLength) override {
        if (reply == nullptr || replyLength == nullptr) return 1;
        std::memcpy(reply, m_data, m_size);
        *replyLength = static_cast<int32_t>(m_size);
        return 1;
    }

  private:
    const uint8_t* m_data;
    size_t m_size;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t length = std::min(size, kReplyBuffer);
    auto reply = std::make_unique<uint8_t[]>(length + 1);
    if (length > 0) std::memcpy(reply.get(), data, length);

    const auto texts = qv::ParseVersionReply(reply.get(), static_cast<int32_t>(length));
    for (const std::string& text : texts) {
        Require(text.size() <= qv::kVersionTextBytes);
        Require(text.find('\0') == std::string::npos);
    }
    qv::ReplyShowsInitialised(reply.get(), static_cast<int32_t>(length));

    ReplyingPort port(reply.get(), length);
    auto first = std::make_unique<char16_t[]>(kTextUnits);
    auto second = std::make_unique<char16_t[]>(kTextUnits);
    auto third = std::make_unique<char16_t[]>(kTextUnits);
    Require(qv::ReadVersion(port, first.get(), second.get(), third.get()) == 1);
    for (const char16_t* out : {first.get(), second.get(), third.get()}) {
        Require(std::find(out, out + kTextUnits, u'\0') != out + kTextUnits);
    }
    Require(qv::IsInit(port) == 0 ||
            qv::ReplyShowsInitialised(reply.get(), static_cast<int32_t>(length)));
    return 0;
}

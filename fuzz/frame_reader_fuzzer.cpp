// Arbitrary byte streams, cut into arbitrary reads, through the reader's
// frame search and dispatch. Besides what the sanitizers catch, it checks
// that whatever came before, a valid frame that follows is still found and
// nothing stays stuck in the buffer.
//
// Input: a control byte per read (low six bits + 1 = bytes in the read,
// top bit = the line is quiet after it), then that many bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "link/frame.h"
#include "link/frame_reader.h"

namespace {

using qv::FrameReader;

class Checker final : public qv::LinkActions {
  public:
    void Acknowledge(uint8_t) override {}
    void Deliver(const uint8_t* data, int32_t length) override {
        if (length < 1 || length > 1024) std::abort();
        Touch(data, length);
    }
    void Reply(const uint8_t* payload, int32_t length) override {
        if (length < 0 || length > 1024 - 7) std::abort();
        Touch(payload, length);
    }
    void Refuse() override {}
    void Purge() override {}

  private:
    // Reads every byte handed over, so a bad span shows under the sanitizers.
    void Touch(const uint8_t* data, int32_t length) {
        for (int32_t i = 0; i < length; ++i)
            m_sum += data[i];
    }
    uint32_t m_sum = 0;
};

// A reply with no 0x02 or 0x03 between its start and stop bytes.
std::vector<uint8_t> ValidReply() {
    std::vector<uint8_t> frame(10);
    const uint8_t payload[] = {0x48, 0x48, 0x42};
    for (uint8_t sequence = 0x20;; ++sequence) {
        qv::WriteCommandFrame(0x50, sequence, 0, payload, sizeof payload, frame.data());
        bool clean = true;
        for (size_t i = 1; i + 1 < frame.size(); ++i) {
            clean = clean && frame[i] != qv::kStartByte && frame[i] != qv::kStopByte;
        }
        if (clean) return frame;
    }
}

int Feed(FrameReader& reader, Checker& checker, const uint8_t* data, size_t size, bool settled) {
    int frames = 0;
    while (size > 0) {
        const size_t n = std::min(size, reader.Room());
        std::memcpy(reader.Tail(), data, n);
        reader.Append(n);
        data += n;
        size -= n;
        frames += reader.Process(checker, settled && size == 0).frames;
    }
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log lines are not what is tested; keep them off the terminal.
    ::setenv("QV_DEBUG_OUTPUT", "/dev/null", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> valid = ValidReply();
    auto reader = std::make_unique<FrameReader>();
    Checker checker;
    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        const size_t n = std::min<size_t>((control & 0x3F) + 1, size - at);
        Feed(*reader, checker, data + at, n, (control & 0x80) != 0);
        if (reader->Held() > qv::kReceiveBufferSize) std::abort();
        at += n;
    }
    // The line goes quiet, then the engine sends a good frame: it must be
    // found, and nothing may be left waiting.
    reader->Process(checker, true);
    const int frames = Feed(*reader, checker, valid.data(), valid.size(), false);
    reader->Process(checker, true);
    if (frames < 1 || reader->Held() != 0) std::abort();
    return 0;
}

#include "bench/realistic_traffic.h"

#include <algorithm>
#include <array>
#include <memory>

#include "link/frame.h"
#include "link/frame_reader.h"
#include "link/reader_thread.h"
#include "link/reply_match.h"
#include "symbology/symbology_settings.h"

namespace qv::bench {
namespace {

constexpr uint8_t kSetupReply = 0x50;
constexpr uint8_t kResult = 0x51;
constexpr uint8_t kEvent = 0x61;
constexpr std::array<uint8_t, 4> kNakReasons{0x20, 0x30, 0x40, 0x50};

// Knows the command that waits, and nothing else of the link.
class WaitingCommand final : public LinkActions {
  public:
    void Acknowledge(uint8_t) override {}
    void Deliver(const uint8_t*, int32_t) override {}
    void Reply(uint8_t, const uint8_t*, int32_t) override {}
    void Refuse() override {}
    AnswerFit FitOfAnswer(uint8_t type, const uint8_t* payload, size_t length) override {
        if (!pending) return AnswerFit::Unknown;
        return qv::FitOfAnswer(pending->kind, pending->asked, type,
                               std::span<const uint8_t>(payload, length));
    }
    const Pending* pending = nullptr;
};

std::vector<uint8_t> Query(int32_t (*make)(PayloadBuffer, int32_t&)) {
    std::array<uint8_t, kPayloadBufferSize> query{};
    int32_t length = 0;
    make(query, length);
    return {query.begin(), query.begin() + length};
}

}  // namespace

uint64_t SeededRandom::Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

size_t SeededRandom::Between(size_t low, size_t high) {
    return low + static_cast<size_t>(Next() % (high - low + 1));
}

std::vector<uint8_t> EngineFrame(uint8_t type, uint8_t sequence,
                                 const std::vector<uint8_t>& payload, uint8_t management) {
    // The engine's frames have the layout of the host's commands.
    std::vector<uint8_t> frame(payload.size() + kFrameOverhead);
    WriteCommandFrame(type, sequence, management & 0x07u, payload.data(), payload.size(),
                      frame.data());
    return frame;
}

std::vector<uint8_t> BarcodeFrame(uint8_t sequence, const std::vector<uint8_t>& data,
                                  uint8_t management, bool escape) {
    const auto high = static_cast<uint8_t>(data.size() >> 8);
    const auto low = static_cast<uint8_t>(data.size() & 0xFF);
    std::vector<uint8_t> payload = {high};
    if (escape || low == kStartByte || low == kStopByte || low == kEscapeByte) {
        payload.push_back(kEscapeByte);
        payload.push_back(static_cast<uint8_t>(low + 0x40));
    } else {
        payload.push_back(low);
    }
    payload.insert(payload.end(), data.begin(), data.end());
    return EngineFrame(static_cast<uint8_t>(EngineFrameType::BARCODE_DATA), sequence, payload,
                       management);
}

TrafficGenerator::TrafficGenerator(uint64_t seed)
    : m_random(seed),
      m_queries{Query(&SymbologySettings::MakeEnableQuery),
                Query(&SymbologySettings::MakeDetailQuery),
                Query(&SymbologySettings::MakeOtherQuery)} {}

std::vector<uint8_t> TrafficGenerator::RecordReply(std::vector<uint8_t>* asked) {
    const std::vector<uint8_t>& query = m_queries[m_random.Between(0, m_queries.size() - 1)];
    if (asked != nullptr) *asked = query;
    std::vector<uint8_t> payload;
    for (size_t i = 0; i + 1 < query.size(); i += 2) {
        payload.push_back(query[i]);
        payload.push_back(query[i + 1]);
        // Two-byte parameters carry two value bytes.
        const size_t values = query[i + 1] >= 0x80 ? 2 : 1;
        for (size_t v = 0; v < values; ++v)
            payload.push_back(static_cast<uint8_t>(m_random.Between(0, 4)));
    }
    return EngineFrame(kSetupReply, Sequence(), payload, Management());
}

std::vector<uint8_t> TrafficGenerator::ShortFrame() {
    const auto host = static_cast<uint8_t>(m_random.Between(17, 255));
    switch (m_random.Between(0, 5)) {
        case 0:
            return {kStartByte, host, 0x15, kNakReasons[m_random.Between(0, 3)], kStopByte};
        case 1:
            return {kStartByte, host, 0x1B, 0x00, kStopByte};
        case 2:
            return {kStartByte, host, 0x05, 0x00, kStopByte};
        default:
            return {kStartByte, host, 0x06, 0x00, kStopByte};
    }
}

std::vector<uint8_t> TrafficGenerator::BinaryBarcode() {
    std::vector<uint8_t> data(m_random.Between(1, 1000));
    data[0] = static_cast<uint8_t>(m_random.Between('a', 'z'));  // code-ID character
    for (size_t i = 1; i < data.size(); ++i) {
        const size_t pick = m_random.Between(0, 99);
        data[i] = pick < 15   ? kStartByte
                  : pick < 30 ? kStopByte
                  : pick < 35 ? kEscapeByte
                              : static_cast<uint8_t>(m_random.Next());
    }
    // A barcode that encodes a whole frame: a reply, a short frame or
    // another barcode.
    if (data.size() > 20 && m_random.Chance(30)) {
        std::vector<uint8_t> inner;
        switch (m_random.Between(0, 2)) {
            case 0:
                inner = EngineFrame(kResult, Sequence(), {0x00, 0x03, 0x02}, Management());
                break;
            case 1:
                inner = ShortFrame();
                break;
            default:
                inner = BarcodeFrame(Sequence(), {'j', 0x02, 0x03}, Management(), false);
                break;
        }
        if (inner.size() < data.size()) {
            const size_t at = m_random.Between(1, data.size() - inner.size());
            std::copy(inner.begin(), inner.end(), data.begin() + static_cast<long>(at));
        }
    }
    return BarcodeFrame(Sequence(), data, Management(), m_random.Chance(10));
}

Burst TrafficGenerator::NextBurst() {
    Burst burst;
    const size_t pick = m_random.Between(0, 99);
    const auto hostAck = [this] {
        return std::vector<uint8_t>{kStartByte, static_cast<uint8_t>(m_random.Between(17, 255)),
                                    0x06, 0x00, kStopByte};
    };
    if (pick < 40) {
        // The engine's ACK of a query, then its reply.
        Pending query;
        std::vector<uint8_t> ack = hostAck();
        burst.frames = {std::move(ack), RecordReply(&query.asked)};
        burst.pending = std::move(query);
    } else if (pick < 50) {
        burst.frames = {hostAck(), EngineFrame(kResult, Sequence(), {0x00}, Management())};
        burst.pending = Pending{FrameKind::SETUP_COMMAND, {}};
    } else if (pick < 80) {
        burst.frames = {BinaryBarcode()};
    } else if (pick < 92) {
        burst.frames = {ShortFrame()};
    } else {
        std::vector<uint8_t> payload(m_random.Between(0, 6));
        for (auto& b : payload)
            b = static_cast<uint8_t>(m_random.Between(0, 4));
        burst.frames = {EngineFrame(kEvent, Sequence(), payload, Management())};
    }
    // A fifth of the bursts come right behind the next one.
    burst.pauseAfter = !m_random.Chance(20);
    return burst;
}

PropertyResult RunFrameProperty(uint64_t frames, uint64_t seed, LineModel model) {
    PropertyResult result;
    TrafficGenerator traffic(seed);
    SeededRandom reads(seed ^ 0x5DEECE66Dull);
    auto reader = std::make_unique<FrameReader>();
    WaitingCommand waiting;
    std::vector<uint8_t> line;
    std::vector<std::vector<uint8_t>> expected;
    std::vector<std::optional<Pending>> pendings;  // the command waiting for each frame
    while (result.frames < frames) {
        // The bytes up to the next pause of the line.
        line.clear();
        expected.clear();
        pendings.clear();
        for (;;) {
            Burst burst = traffic.NextBurst();
            for (auto& frame : burst.frames) {
                line.insert(line.end(), frame.begin(), frame.end());
                expected.push_back(std::move(frame));
                pendings.push_back(burst.pending);
            }
            if (burst.pauseAfter || result.frames + expected.size() >= frames) break;
        }
        result.frames += expected.size();
        result.bytes += line.size();

        size_t at = 0;
        size_t next = 0;  // the frame expected next
        bool broken = false;
        while (at < line.size() && !broken) {
            size_t n = 0;
            // Whether the next bytes come later than the reader's
            // confirmation of a quiet line: a pause within the stream.
            bool pause = false;
            if (model == LineModel::Bursts) {
                // What the driver held, anywhere from a byte to a few hundred.
                const size_t most = reads.Chance(50) ? 64 : 600;
                n = reads.Between(1, most);
            } else {
                n = reads.Chance(50) ? 1 : 14;
                // The adapter's latency timer, or the engine pausing 0..60 ms.
                const uint32_t gapMs = reads.Chance(15) ? 16
                                       : reads.Chance(5)
                                           ? static_cast<uint32_t>(reads.Between(0, 60))
                                           : 0;
                pause = gapMs >= kConfirmMs;
            }
            n = std::min({n, line.size() - at, reader->Room()});
            std::copy_n(line.begin() + static_cast<long>(at), n, reader->Tail());
            reader->Append(n);
            at += n;
            ++result.reads;
            // As the reader thread does: a verified end at the last byte is
            // taken once nothing more arrives; more arrives unless the line
            // pauses here. An unfinished head waits for the quiet line,
            // which a pause within the stream never is.
            LineState state = LineState::Busy;
            for (;;) {
                waiting.pending =
                    next < pendings.size() && pendings[next] ? &*pendings[next] : nullptr;
                const SplitResult step =
                    reader->Next(state, model == LineModel::Pauses ? &waiting : nullptr);
                if (step.kind == SplitKind::NeedMore) {
                    if (at < line.size()) {
                        if (pause && state == LineState::Busy && step.wait != SplitWait::None) {
                            state = LineState::Paused;
                            continue;
                        }
                        break;
                    }
                    if (step.wait == SplitWait::None || state == LineState::Quiet) break;
                    state = step.wait == SplitWait::Confirm ? LineState::Paused : LineState::Quiet;
                    continue;
                }
                const bool whole =
                    step.kind == SplitKind::Frame && next < expected.size() &&
                    expected[next].size() == step.length &&
                    std::equal(expected[next].begin(), expected[next].end(), reader->Data());
                if (!whole) {
                    broken = true;
                    break;
                }
                ++next;
                ++result.found;
                reader->Remove(step.length);
            }
        }
        if (broken || next != expected.size() || reader->Held() != 0) {
            result.misframes += expected.size() - next;
            reader->Clear();
        }
    }
    return result;
}

}  // namespace qv::bench

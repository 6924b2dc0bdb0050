// Micro-benchmarks of the pure code on the link's path: the checksum, frame
// building as SendCommand does it, the search for frames in the reader's
// byte stream, and the codecs of the three settings records.
#include <benchmark/benchmark.h>

#include <poll.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "QVPlatform.h"
#include "bench/sample_stream.h"
#include "link/frame.h"
#include "link/frame_reader.h"
#include "power/module_control.h"
#include "symbology/symbology_settings.h"

namespace qv::bench {
namespace {

// A reply, a barcode or a refusal costs nothing here: only the reader's own
// work is timed.
class NoLinkActions final : public LinkActions {
  public:
    void Acknowledge(uint8_t) override {}
    void Deliver(const uint8_t*, int32_t) override {}
    void Reply(uint8_t, const uint8_t*, int32_t) override {}
    void Refuse() override {}
};

std::vector<uint8_t> FrameOfLength(size_t length) {
    std::vector<uint8_t> frame(length);
    for (size_t i = 0; i < length; ++i)
        frame[i] = static_cast<uint8_t>(i * 37 + 11);
    frame.front() = kStartByte;
    frame.back() = kStopByte;
    return frame;
}

void BM_WeightedSum(benchmark::State& state) {
    const auto frame = FrameOfLength(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(WeightedSum(frame.data(), frame.size() - 3));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WeightedSum)->Arg(13)->Arg(230)->Arg(1024);

// The reader's test of a frame end: checksum of a whole frame against its field.
void BM_ChecksumMatches(benchmark::State& state) {
    auto frame = FrameOfLength(static_cast<size_t>(state.range(0)));
    MakeCheckSum(frame.data(), frame.size() - 3, &frame[frame.size() - 3]);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ChecksumMatches(frame.data(), frame.size()));
    }
}
BENCHMARK(BM_ChecksumMatches)->Arg(13)->Arg(230);

// As SendCommand builds: clear the 1024-byte buffer, then the frame.
void BuildFrameBench(benchmark::State& state, FrameKind kind, const std::vector<uint8_t>& payload) {
    ModuleControl module(-1);
    std::array<uint8_t, kMaxFrameLength> buffer{};
    for (auto _ : state) {
        std::memset(buffer.data(), 0, buffer.size());
        benchmark::DoNotOptimize(BuildFrame(
            kind, payload.data(), static_cast<int32_t>(payload.size()), buffer.data(), module));
        benchmark::ClobberMemory();
    }
}

void BM_BuildFrame_Ack(benchmark::State& state) {
    BuildFrameBench(state, FrameKind::ACK, {0x31});
}
BENCHMARK(BM_BuildFrame_Ack);

void BM_BuildFrame_DetailSetup(benchmark::State& state) {
    SymbologySettings store;
    std::array<uint8_t, kPayloadBufferSize> payload{};
    int32_t length = 0;
    store.MakeDetailSetup(payload, length);
    BuildFrameBench(state, FrameKind::SETUP_COMMAND, {payload.begin(), payload.begin() + length});
}
BENCHMARK(BM_BuildFrame_DetailSetup);

// The search alone: every frame of the mixed stream cut out in turn.
void BM_SplitMixedStream(benchmark::State& state) {
    const SampleStream stream = MakeMixedStream();
    for (auto _ : state) {
        FrameReader reader;
        std::memcpy(reader.Tail(), stream.bytes.data(), stream.bytes.size());
        reader.Append(stream.bytes.size());
        size_t frames = 0;
        for (;;) {
            const SplitResult r = reader.Next(LineState::Paused);
            if (r.kind == SplitKind::NeedMore) break;
            if (r.kind == SplitKind::Frame) ++frames;
            reader.Remove(r.length);
        }
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.bytes.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * stream.Frames()));
}
BENCHMARK(BM_SplitMixedStream);

// The reader's whole pass: buffer, search, dispatch with its log lines.
void BM_ReaderProcessMixedStream(benchmark::State& state) {
    const SampleStream stream = MakeMixedStream();
    NoLinkActions actions;
    for (auto _ : state) {
        FrameReader reader;
        std::memcpy(reader.Tail(), stream.bytes.data(), stream.bytes.size());
        reader.Append(stream.bytes.size());
        benchmark::DoNotOptimize(reader.Process(actions, LineState::Paused));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * stream.Frames()));
}
BENCHMARK(BM_ReaderProcessMixedStream);

// The store as it is after the engine's factory settings were read back.
SymbologySettings FilledStore() {
    SymbologySettings store;
    std::array<uint8_t, kPayloadBufferSize> query{};
    int32_t length = 0;
    SymbologySettings::MakeEnableQuery(query, length);
    auto reply = ReplyTo({query.data(), static_cast<size_t>(length)});
    store.ParseEnableReply(reply.data(), static_cast<int32_t>(reply.size()));
    SymbologySettings::MakeDetailQuery(query, length);
    reply = ReplyTo({query.data(), static_cast<size_t>(length)});
    store.ParseDetailReply(reply.data(), static_cast<int32_t>(reply.size()));
    SymbologySettings::MakeOtherQuery(query, length);
    reply = ReplyTo({query.data(), static_cast<size_t>(length)});
    store.ParseOtherReply(reply.data(), static_cast<int32_t>(reply.size()));
    return store;
}

using MakeSetup = int32_t (SymbologySettings::*)(PayloadBuffer, int32_t&) const;
using MakeQuery = int32_t (*)(PayloadBuffer, int32_t&);
using ParseReply = int32_t (SymbologySettings::*)(const uint8_t*, int32_t);

void SetupBench(benchmark::State& state, MakeSetup make) {
    const SymbologySettings store = FilledStore();
    std::array<uint8_t, kPayloadBufferSize> payload{};
    int32_t length = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize((store.*make)(payload, length));
        benchmark::ClobberMemory();
    }
}

void ParseBench(benchmark::State& state, MakeQuery query, ParseReply parse) {
    SymbologySettings store = FilledStore();
    std::array<uint8_t, kPayloadBufferSize> q{};
    int32_t length = 0;
    query(q, length);
    const auto reply = ReplyTo({q.data(), static_cast<size_t>(length)});
    for (auto _ : state) {
        benchmark::DoNotOptimize((store.*parse)(reply.data(), static_cast<int32_t>(reply.size())));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}

void BM_MakeEnableSetup(benchmark::State& state) {
    SetupBench(state, &SymbologySettings::MakeEnableSetup);
}
void BM_MakeDetailSetup(benchmark::State& state) {
    SetupBench(state, &SymbologySettings::MakeDetailSetup);
}
void BM_MakeOtherSetup(benchmark::State& state) {
    SetupBench(state, &SymbologySettings::MakeOtherSetup);
}
void BM_MakeDetailQuery(benchmark::State& state) {
    std::array<uint8_t, kPayloadBufferSize> payload{};
    int32_t length = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SymbologySettings::MakeDetailQuery(payload, length));
        benchmark::ClobberMemory();
    }
}
void BM_ParseEnableReply(benchmark::State& state) {
    ParseBench(state, &SymbologySettings::MakeEnableQuery, &SymbologySettings::ParseEnableReply);
}
void BM_ParseDetailReply(benchmark::State& state) {
    ParseBench(state, &SymbologySettings::MakeDetailQuery, &SymbologySettings::ParseDetailReply);
}
void BM_ParseOtherReply(benchmark::State& state) {
    ParseBench(state, &SymbologySettings::MakeOtherQuery, &SymbologySettings::ParseOtherReply);
}
BENCHMARK(BM_MakeEnableSetup);
BENCHMARK(BM_MakeDetailSetup);
BENCHMARK(BM_MakeOtherSetup);
BENCHMARK(BM_MakeDetailQuery);
BENCHMARK(BM_ParseEnableReply);
BENCHMARK(BM_ParseDetailReply);
BENCHMARK(BM_ParseOtherReply);

// From a post on another thread to the poll(2) on the message descriptor
// returning: what a main loop waits before it sees a barcode message.
void BM_MessageDescriptorWake(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const int fd = QVPlatformGetMessageDescriptor();
    std::atomic<int32_t> go{0};
    std::atomic<int32_t> stop{0};
    std::atomic<int64_t> postedAt{0};
    // Posted to a window of this thread, as the library posts a barcode.
    const QVHWND window = QVPlatformCreateWindow(u"Bench", QVPlatformDefWindowProc, nullptr);
    std::thread windowPoster([&] {
        while (stop.load() == 0) {
            if (go.exchange(0) == 0) {
                std::this_thread::yield();
                continue;
            }
            postedAt.store(Clock::now().time_since_epoch().count());
            QVPlatformPostMessage(window, QV_WM_USER, 0, 0);
        }
    });
    for (auto _ : state) {
        go.store(1);
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, -1);
        const auto woke = Clock::now().time_since_epoch().count();
        state.SetIterationTime(
            std::chrono::duration<double>(Clock::duration(woke - postedAt.load())).count());
        QVMSG msg;
        while (QVPlatformPeekMessage(&msg, nullptr, 1) != 0) {
        }
    }
    stop.store(1);
    windowPoster.join();
    QVPlatformDestroyWindow(window);
}
BENCHMARK(BM_MessageDescriptorWake)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv::bench

int main(int argc, char** argv) {
    // The reader's log lines are part of its work, but not for the terminal.
    ::setenv("QV_DEBUG_OUTPUT", "/dev/null", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

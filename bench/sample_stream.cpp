#include "bench/sample_stream.h"

#include <array>

#include "sim/frame_codec.h"
#include "sim/parameter_table.h"
#include "symbology/symbology_settings.h"

namespace qv::bench {
namespace {

void Add(SampleStream& s, uint8_t type, const std::vector<uint8_t>& bytes) {
    s.bytes.insert(s.bytes.end(), bytes.begin(), bytes.end());
    s.parts.push_back({type, bytes.size()});
}

std::vector<uint8_t> DetailQuery() {
    std::array<uint8_t, kPayloadBufferSize> query{};
    int32_t length = 0;
    SymbologySettings::MakeDetailQuery(query, length);
    return {query.begin(), query.begin() + length};
}

}  // namespace

size_t SampleStream::Frames() const {
    size_t n = 0;
    for (const StreamPart& p : parts) {
        if (p.type != 0) ++n;
    }
    return n;
}

std::vector<uint8_t> ReplyTo(std::span<const uint8_t> query) {
    static const sim::ParameterTable table;
    std::vector<uint8_t> reply;
    for (const auto& [group, parameter] : sim::ParsePairs(query)) {
        sim::AppendEntry(reply, {group, parameter, table.Get(group, parameter).value_or(0)});
    }
    return reply;
}

std::vector<uint8_t> BarcodeText(size_t n) {
    std::vector<uint8_t> text(n);
    for (size_t i = 0; i < n; ++i)
        text[i] = static_cast<uint8_t>('A' + i % 26);
    return text;
}

SampleStream MakeMixedStream() {
    namespace t = sim::frame_type;
    SampleStream s;
    Add(s, t::kAck, sim::BuildShortFrame(0x21, t::kAck));
    Add(s, t::kSetupReply,
        sim::BuildFrame(0x31, t::kSetupReply, ReplyTo(DetailQuery()),
                        sim::SingleFrameManagement(0)));

    std::vector<uint8_t> shortCode = BarcodeText(20);
    shortCode[0] = 'j';  // code-ID character first
    Add(s, t::kBarcodeData, sim::BuildBarcodeFrame(0x32, sim::SingleFrameManagement(1), shortCode));
    Add(s, 0, {0x55, 0xAA, 0x00, 0xFF, 0x7E, 0x03});
    std::vector<uint8_t> longCode = BarcodeText(300);
    longCode[0] = 'r';
    Add(s, t::kBarcodeData, sim::BuildBarcodeFrame(0x33, sim::SingleFrameManagement(2), longCode));

    Add(s, t::kAck, sim::BuildShortFrame(0x22, t::kAck));
    Add(s, t::kResult,
        sim::BuildFrame(0x34, t::kResult, std::vector<uint8_t>{0x00},
                        sim::SingleFrameManagement(3)));
    return s;
}

}  // namespace qv::bench

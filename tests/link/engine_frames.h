// Engine frames built for the tests, independent of the reader's code:
// full frames with a correct weighted checksum, short ones as the engine
// sends them, and a recorder of what dispatched frames ask for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/frame_reader.h"

namespace qv::test_frames {

using Bytes = std::vector<uint8_t>;

inline Bytes Full(uint8_t type, uint8_t sequence, const Bytes& payload, uint8_t fm = 0x60) {
    Bytes frame = {0x02, sequence, type};
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(fm);
    const size_t count = frame.size();
    uint32_t sum = 0;
    for (size_t i = 1; i < count; ++i)
        sum += frame[i] * uint32_t(count - i);
    frame.push_back(uint8_t((sum >> 8) & 0xFF));
    frame.push_back(uint8_t(sum & 0xFF));
    frame.push_back(0x03);
    return frame;
}

inline Bytes Short(uint8_t type, uint8_t sequence, uint8_t extra = 0x00) {
    return {0x02, sequence, type, extra, 0x03};
}

// BARCODE_DATA with the length field as the engine writes it: the low byte
// escaped when it would read as a control byte, or when asked to.
inline Bytes Barcode(uint8_t sequence, const Bytes& data, bool escape = false) {
    const uint8_t high = uint8_t(data.size() >> 8);
    const uint8_t low = uint8_t(data.size() & 0xFF);
    Bytes payload = {high};
    if (escape || low == 0x02 || low == 0x03 || low == 0x10) {
        payload.push_back(0x10);
        payload.push_back(uint8_t(low + 0x40));
    } else {
        payload.push_back(low);
    }
    payload.insert(payload.end(), data.begin(), data.end());
    return Full(0x60, sequence, payload);
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// What dispatched frames asked for, in order.
class Recorder : public LinkActions {
  public:
    void Acknowledge(uint8_t sequence) override {
        events.push_back("ack " + std::to_string(sequence));
    }
    void Deliver(const uint8_t* data, int32_t length) override {
        delivered.emplace_back(data, data + length);
        events.push_back("deliver");
    }
    void Reply(uint8_t, const uint8_t* payload, int32_t length) override {
        replies.emplace_back(payload, payload + length);
        events.push_back("reply");
    }
    void Refuse() override { events.push_back("refuse"); }

    std::vector<std::string> events;
    std::vector<Bytes> delivered;
    std::vector<Bytes> replies;
};

}  // namespace qv::test_frames

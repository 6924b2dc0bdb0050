// The engine's side of the serial protocol: control bytes, frame types,
// the weighted checksum, building the engine's frames and cutting the host's
// byte stream into frames. Written apart from the library's link code so that
// the simulator is an independent check of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qv::sim {

inline constexpr uint8_t kStart = 0x02;
inline constexpr uint8_t kStop = 0x03;
inline constexpr uint8_t kEscape = 0x10;
inline constexpr size_t kMaxFrame = 1024;

namespace frame_type {
inline constexpr uint8_t kResend = 0x05;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kBusy = 0x1B;
inline constexpr uint8_t kSetupQuery = 0x40;
inline constexpr uint8_t kSetupCommand = 0x41;
inline constexpr uint8_t kResetCommand = 0x42;
inline constexpr uint8_t kStatusQuery = 0x43;
inline constexpr uint8_t kSetupReply = 0x50;
inline constexpr uint8_t kResult = 0x51;
inline constexpr uint8_t kStatusReply = 0x53;
inline constexpr uint8_t kBarcodeData = 0x60;
inline constexpr uint8_t kEventNotification = 0x61;
}  // namespace frame_type

namespace nak_reason {
inline constexpr uint8_t kMultiFrame = 0x20;
inline constexpr uint8_t kFrameNumber = 0x30;
inline constexpr uint8_t kNotImplemented = 0x40;
inline constexpr uint8_t kBadChecksum = 0x50;
}  // namespace nak_reason

enum class Direction { HostToEngine, EngineToHost };

// Weighted sum over bytes 1 .. count-1 (sequence number through frame
// management byte), each times its distance from the checksum field.
uint16_t Checksum(std::span<const uint8_t> bytes, size_t count);

// Single-frame management byte: first and last flags set, frame number 0..7.
inline uint8_t SingleFrameManagement(uint8_t frameNumber) {
    return static_cast<uint8_t>(0x60 | (frameNumber & 0x07));
}

// Full frame: start, sequence, type, payload as is, management, checksum, stop.
std::vector<uint8_t> BuildFrame(uint8_t sequence, uint8_t type, std::span<const uint8_t> payload,
                                uint8_t management);

// Five-byte acknowledgement form: start, sequence, type, argument, stop.
std::vector<uint8_t> BuildShortFrame(uint8_t sequence, uint8_t type, uint8_t argument = 0);

// BARCODE_DATA: two length bytes (the low one escaped as 0x10, low + 0x40
// when it is 0x02, 0x03 or 0x10), then the data (code-ID character first).
std::vector<uint8_t> BuildBarcodeFrame(uint8_t sequence, uint8_t management,
                                       std::span<const uint8_t> data);

// Longest data a BARCODE_DATA frame carries within kMaxFrame bytes.
inline constexpr size_t kMaxBarcodeData = kMaxFrame - 10;

// A frame as seen on the line, either direction.
struct Frame {
    std::vector<uint8_t> raw;
    uint8_t sequence = 0;
    uint8_t type = 0;
    bool isShort = false;          // five-byte acknowledgement form
    std::vector<uint8_t> payload;  // full frames: bytes between type and management
    uint8_t management = 0;
    uint8_t argument = 0;  // short frames: byte at offset 3 (a NAK's reason)
    bool checksumOk = true;
    uint16_t checksumFound = 0;
    uint16_t checksumWanted = 0;
};

// Decodes one complete frame (start byte through stop byte); nullopt when
// it is shorter than a frame can be or not framed by start and stop bytes.
std::optional<Frame> DecodeFrame(std::span<const uint8_t> raw);

std::string TypeName(uint8_t type);

// One readable line: direction, sequence, type, payload as entries, checksum.
std::string DescribeFrame(const Frame& frame, Direction direction);

// Hex bytes separated by blanks, e.g. "02 12 41".
std::string HexBytes(std::span<const uint8_t> bytes);

// Cuts the host's byte stream into frames. The host does not escape its
// payloads, so a 0x03 inside one is not the end: a full frame ends at the
// first stop byte whose preceding two bytes are the right checksum. A frame
// whose checksum never fits is taken, once the line has been quiet for the
// gap time or the frame has grown past kMaxFrame, as ending at its last stop
// byte, and reported with a bad checksum. Bytes ahead of a start byte are
// dropped and reported.
class HostFrameSplitter {
  public:
    explicit HostFrameSplitter(uint32_t gapMs = 30) : m_gapMs(gapMs) {}

    struct Item {
        std::optional<Frame> frame;      // a frame, good or bad
        std::vector<uint8_t> discarded;  // or bytes that belonged to no frame
    };

    void Feed(std::span<const uint8_t> bytes, uint32_t now);
    // Next frame or run of discarded bytes; nullopt when none is complete yet.
    std::optional<Item> Next(uint32_t now);
    // When Next should be asked again although no byte arrives.
    std::optional<uint32_t> Deadline() const;
    void Clear();
    size_t Held() const { return m_buffer.size(); }

  private:
    std::vector<uint8_t> m_buffer;
    size_t m_scanned = 0;  // candidate stop positions below this were checked
    uint32_t m_lastByte = 0;
    uint32_t m_gapMs;
};

// Signed distance between two 32-bit tick counts, so deadlines survive the wrap.
inline int32_t TickDiff(uint32_t later, uint32_t earlier) {
    return static_cast<int32_t>(later - earlier);
}

}  // namespace qv::sim

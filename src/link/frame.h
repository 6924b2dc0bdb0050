// The engine's frame format: control bytes, frame kinds and types, the
// weighted checksum, the host's sequence and frame numbers, and the length
// field of BARCODE_DATA. Everything here works on bytes and returns values,
// so it can be tested without a line or a thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qv {

class ModuleControl;

inline constexpr uint8_t kStartByte = 0x02;
inline constexpr uint8_t kStopByte = 0x03;
inline constexpr uint8_t kEscapeByte = 0x10;

// Start, sequence, type, frame-management byte, two checksum bytes, stop.
inline constexpr size_t kFrameOverhead = 7;
inline constexpr size_t kMaxFrameLength = 1024;
inline constexpr size_t kAckFrameLength = 5;

// What a caller asks SendCommand to send.
enum class FrameKind : int32_t {
    ACK = 1,
    NAK = 2,
    SETUP_COMMAND = 3,
    SETUP_QUERY = 4,
    RESET_COMMAND = 5,
    STATUS_QUERY = 6,
};

// Type bytes of the frames the host sends.
inline constexpr uint8_t kTypeAck = 0x06;
inline constexpr uint8_t kTypeNak = 0x15;
inline constexpr uint8_t kTypeSetupCommand = 0x41;
inline constexpr uint8_t kTypeSetupQuery = 0x40;
inline constexpr uint8_t kTypeResetCommand = 0x42;
inline constexpr uint8_t kTypeStatusQuery = 0x43;

// Type bytes of the frames the engine sends.
enum class EngineFrameType : uint8_t {
    RESEND = 0x05,
    ACK = 0x06,
    NAK = 0x15,
    BUSY = 0x1B,
    SETUP_REPLY = 0x50,
    RESULT = 0x51,
    STATUS_REPLY = 0x53,
    SETUP_PERMISSION_REPLY = 0x54,
    BARCODE_DATA = 0x60,
    EVENT_NOTIFICATION = 0x61,
    SETUP_BARCODE_DATA = 0x62,
};

// Engine frames that carry a frame-management byte and a checksum, as
// opposed to the short ACK, NAK, BUSY and RESEND frames.
bool IsFullEngineFrame(uint8_t type);
// Replies whose whole payload goes to the waiting command.
bool IsReplyFrame(uint8_t type);

// The text logged for the reason code of an engine NAK; empty when unlisted.
std::u16string_view NakReasonText(uint8_t code);

// Weighted sum over the `count` bytes before the checksum field: the byte at
// offset i (from 1) weighs count - i; the start byte is not summed.
uint32_t WeightedSum(const uint8_t* frame, size_t count);

// Writes the checksum of the `count` bytes before the checksum field,
// high byte first.
void MakeCheckSum(const uint8_t* frame, size_t count, uint8_t out[2]);

// True when the checksum bytes found equal the checksum of the frame of
// total length `length`; logs the mismatch otherwise.
bool VerifyCheckSum(const uint8_t* frame, size_t length, uint8_t first, uint8_t second);

// The same test without logging, for the reader's search of a frame's end:
// a frame of at least kFrameOverhead bytes whose last byte is the stop byte
// and whose checksum field matches.
bool ChecksumMatches(const uint8_t* frame, size_t length);

// The value that follows `sequence`: 255 is followed by 17.
uint8_t SequenceAfter(uint8_t sequence);
// Advances the process-wide sequence counter (17 at load) and returns it.
uint8_t NextSequence();

// Advances the frame number held by `module` (7 is followed by 0) and returns it.
uint32_t NextFrameNumber(ModuleControl& module);
// Steps it back after a refused frame (0 goes back to 7), so the next
// command reuses the refused number.
uint32_t PreviousFrameNumber(ModuleControl& module);

// Writes one frame of `kind` into `buffer` (kMaxFrameLength bytes, cleared by
// the caller) and returns its length, or -1 for an unknown kind or an
// acknowledgement whose payload is not exactly the one sequence byte.
// Command kinds advance the sequence counter and the frame number.
int32_t BuildFrame(FrameKind kind, const uint8_t* payload, int32_t length, uint8_t* buffer,
                   ModuleControl& module);

// A command frame with given sequence and frame numbers; BuildFrame's core.
// Returns the length (length + 7).
size_t WriteCommandFrame(uint8_t type, uint8_t sequence, uint32_t frameNumber,
                         const uint8_t* payload, size_t length, uint8_t* buffer);

struct BarcodeLength {
    size_t length;      // data bytes, code-ID character included
    size_t dataOffset;  // 5, or 6 when the low length byte is escaped
};

// Reads the length field of a BARCODE_DATA frame, of which `available`
// bytes are at hand; nothing when the field is not complete yet.
std::optional<BarcodeLength> DecodeBarcodeLength(const uint8_t* frame, size_t available);

}  // namespace qv

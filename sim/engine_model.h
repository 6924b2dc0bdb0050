// The RO25 engine as pure logic: fed the host's bytes, the levels of its
// supply, trigger and wake lines and the time, it keeps its parameter table,
// answers commands, decodes queued barcodes while triggered, and hands back
// the bytes to put on the line with the time each is due. No threads, no
// devices: the simulator around it does the waiting and the I/O.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/frame_codec.h"
#include "sim/parameter_table.h"

namespace qv::sim {

// Line levels as the driver holds them. The trigger is active low: 0 asks
// the engine to decode, 1 releases it.
struct LineLevels {
    bool power = false;
    bool trigger = true;
    bool wake = false;
    bool operator==(const LineLevels&) const = default;
};

struct EngineSettings {
    uint32_t decodeMs = 200;      // trigger (or a new barcode) to BARCODE_DATA
    uint32_t ackResendMs = 1000;  // wait for the host's ACK before the one resend
    uint32_t processMs = 20;      // between the ACK and the reply to a command
    uint32_t awakeMs = 2000;      // idle time after which the engine dozes again
    bool requireWake = true;      // ignore frames that come without a wake pulse
    bool lineRate = true;         // hand out bytes at the pace of 57600 baud
    std::string firmwareVersion = "RO25 FW 2.14.0";
    std::string bootVersion = "RO25 BOOT 1.03";
    std::string hardwareVersion = "RO25 HW REV B";

    // No decode time, no processing time, no line pacing: for benchmarks.
    EngineSettings& AnswerAtOnce() {
        decodeMs = 0;
        processMs = 0;
        lineRate = false;
        return *this;
    }
};

enum class FirstAnswer { None, Busy, Resend };

// Each switchable at run time. The command faults (silent, nakReason,
// firstAnswer, replyDelayMs) act on the next `commandsAffected` host
// commands, or on all of them while it is negative.
struct Faults {
    bool silent = false;               // answer nothing at all
    std::optional<uint8_t> nakReason;  // answer every command with this NAK
    FirstAnswer firstAnswer = FirstAnswer::None;
    bool answerAfterFirst = true;  // the normal answer still follows it
    uint32_t replyDelayMs = 0;     // reply frames this much later (ACK on time)
    int32_t commandsAffected = -1;
    std::vector<uint8_t> garbage;    // sent ahead of every frame
    std::vector<size_t> splitAt;     // cut every frame at these offsets...
    uint32_t splitPauseMs = 0;       // ...and pause this long between pieces
    uint32_t refuseDriverCodes = 0;  // bit n set: driver request n fails
};

// Something worth telling: a frame either way, or an event of the engine.
struct Note {
    std::string text;
    std::optional<Frame> frame;
    Direction direction = Direction::EngineToHost;
};

// Bytes for the line, due at a tick; `note` is told when they are written.
struct Chunk {
    std::vector<uint8_t> bytes;
    uint32_t due = 0;
    std::optional<Note> note;
};

struct QueuedBarcode {
    int symbology = 0;
    std::vector<uint8_t> text;
};

class EngineModel {
  public:
    explicit EngineModel(EngineSettings settings = {});

    const EngineSettings& Settings() const { return m_settings; }
    void SetSettings(const EngineSettings& settings) { m_settings = settings; }
    const Faults& GetFaults() const { return m_faults; }
    void SetFaults(const Faults& faults) { m_faults = faults; }

    void OnHostBytes(std::span<const uint8_t> bytes, uint32_t now);
    void OnLines(const LineLevels& levels, uint32_t now);
    // Runs what is due: frames the line finished, decoding, the ACK resend.
    void Advance(uint32_t now);
    // The next tick at which Advance or TakeDue has something to do.
    std::optional<uint32_t> NextDeadline(uint32_t now) const;
    std::vector<Chunk> TakeDue(uint32_t now);
    std::vector<Note> TakeNotes();

    // False (with a reason) for an unknown symbology or data too long for a frame.
    bool QueueBarcode(int symbology, std::span<const uint8_t> text, uint32_t now,
                      std::string* error = nullptr);
    void ClearBarcodes() { m_barcodes.clear(); }
    const std::deque<QueuedBarcode>& Barcodes() const { return m_barcodes; }

    // False when the engine has no supply.
    bool SendEventNotification(std::span<const uint8_t> payload, uint32_t now);

    ParameterTable& Table() { return m_table; }
    const ParameterTable& Table() const { return m_table; }
    bool Powered() const { return m_lines.power; }
    bool AwakeAt(uint32_t now) const;
    // Host pairs asked for that the engine does not have, in order of arrival.
    const std::vector<Pair>& UnknownPairs() const { return m_unknownPairs; }

  private:
    struct PendingAck {
        std::vector<uint8_t> frame;
        uint8_t sequence = 0;
        uint32_t resendAt = 0;
        bool resent = false;
    };

    void HandleFrame(const Frame& frame, uint32_t now);
    void HandleHostAcknowledgement(const Frame& frame, uint32_t now);
    void Answer(const Frame& frame, uint32_t now, bool faulty);
    bool CommandFaultsActive() const;
    void TryDecode(uint32_t now);
    void Resend(uint32_t now, const char* why);
    void LookAgain(uint32_t now);

    uint8_t NextSequence();
    uint8_t NextManagement();
    void Say(std::string text);
    void Touch(uint32_t now);
    std::vector<uint8_t> SendFull(uint8_t type, std::span<const uint8_t> payload, uint32_t now,
                                  uint32_t delayMs = 0);
    void SendShort(uint8_t sequence, uint8_t type, uint8_t argument, uint32_t now,
                   uint32_t delayMs = 0);
    void Enqueue(std::vector<uint8_t> bytes, uint32_t now, uint32_t delayMs,
                 std::optional<Note> note);

    EngineSettings m_settings;
    Faults m_faults;
    ParameterTable m_table;
    LineLevels m_lines;
    HostFrameSplitter m_splitter;

    bool m_awake = false;
    uint32_t m_awakeUntil = 0;
    uint8_t m_sequence = 0x10;  // advanced before use: 0x11 .. 0xFF
    uint8_t m_frameNumber = 0;

    std::deque<QueuedBarcode> m_barcodes;
    bool m_armed = false;    // trigger pressed and no barcode read on this press yet
    bool m_looking = false;  // armed, but nothing readable in front of it
    std::optional<uint32_t> m_decodeAt;
    std::optional<PendingAck> m_pendingAck;

    std::deque<Chunk> m_out;
    std::optional<uint32_t> m_lineFreeAt;  // when the line has sent everything queued
    std::vector<Note> m_notes;
    std::vector<Pair> m_unknownPairs;
};

}  // namespace qv::sim

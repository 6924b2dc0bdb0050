#include "sim/engine_model.h"

#include <algorithm>
#include <utility>

#include "sim/symbologies.h"

namespace qv::sim {
namespace {

// 57600 baud with 8N1: ten bit times a byte, 5.76 bytes a millisecond.
constexpr size_t kSliceBytes = 29;
uint32_t LineTimeMs(size_t bytes) {
    return static_cast<uint32_t>((bytes * 1000 + 5759) / 5760);
}

bool Due(uint32_t deadline, uint32_t now) {
    return TickDiff(now, deadline) >= 0;
}

void KeepEarliest(std::optional<uint32_t>& best, std::optional<uint32_t> candidate, uint32_t ref) {
    if (!candidate) return;
    if (!best || TickDiff(*candidate, ref) < TickDiff(*best, ref)) best = candidate;
}

std::string Hex2(uint8_t v) {
    return HexBytes(std::span<const uint8_t>(&v, 1));
}

}  // namespace

EngineModel::EngineModel(EngineSettings settings) : m_settings(std::move(settings)) {}

bool EngineModel::AwakeAt(uint32_t now) const {
    if (!m_lines.power) return false;
    if (!m_settings.requireWake) return true;
    return m_awake && TickDiff(m_awakeUntil, now) > 0;
}

void EngineModel::Touch(uint32_t now) {
    m_awake = true;
    m_awakeUntil = now + m_settings.awakeMs;
}

void EngineModel::Say(std::string text) {
    m_notes.push_back(Note{"-- " + std::move(text), std::nullopt, Direction::EngineToHost});
}

std::vector<Note> EngineModel::TakeNotes() {
    return std::exchange(m_notes, {});
}

void EngineModel::OnHostBytes(std::span<const uint8_t> bytes, uint32_t now) {
    if (bytes.empty()) return;
    if (!m_lines.power) {
        Say(std::to_string(bytes.size()) + " bytes ignored: no supply");
        return;
    }
    if (!AwakeAt(now)) {
        Say(std::to_string(bytes.size()) + " bytes ignored: asleep, no wake pulse");
        return;
    }
    m_splitter.Feed(bytes, now);
    Advance(now);
}

void EngineModel::OnLines(const LineLevels& levels, uint32_t now) {
    const LineLevels old = m_lines;
    m_lines = levels;
    if (levels.power != old.power) {
        // The table lives in non-volatile memory; everything else starts over.
        m_splitter.Clear();
        m_out.clear();
        m_lineFreeAt.reset();
        m_pendingAck.reset();
        m_decodeAt.reset();
        m_armed = m_looking = false;
        m_awake = false;
        m_sequence = 0x10;
        m_frameNumber = 0;
        Say(levels.power ? "supply on" : "supply off");
    }
    if (!levels.power) return;
    if (old.wake && !levels.wake) {
        if (!AwakeAt(now)) Say("woken by the wake pulse");
        Touch(now);
    }
    const bool pressed = !levels.trigger;
    const bool wasPressed = old.power && !old.trigger;
    if (pressed && !wasPressed) {
        Touch(now);
        m_armed = true;
        m_looking = false;
        m_decodeAt = now + m_settings.decodeMs;
    } else if (!pressed && wasPressed) {
        if (m_decodeAt || m_looking) Say("trigger released: decode cancelled");
        m_armed = m_looking = false;
        m_decodeAt.reset();
    }
    Advance(now);
}

void EngineModel::LookAgain(uint32_t now) {
    if (m_looking && !m_decodeAt) m_decodeAt = now + m_settings.decodeMs;
}

bool EngineModel::QueueBarcode(int symbology, std::span<const uint8_t> text, uint32_t now,
                               std::string* error) {
    if (FindSymbology(symbology) == nullptr) {
        if (error) *error = "unknown symbology " + std::to_string(symbology);
        return false;
    }
    if (text.size() + 1 > kMaxBarcodeData) {
        if (error) *error = "text longer than " + std::to_string(kMaxBarcodeData - 1) + " bytes";
        return false;
    }
    m_barcodes.push_back({symbology, {text.begin(), text.end()}});
    LookAgain(now);
    return true;
}

bool EngineModel::SendEventNotification(std::span<const uint8_t> payload, uint32_t now) {
    if (!m_lines.power) return false;
    Touch(now);
    SendFull(frame_type::kEventNotification, payload, now);
    return true;
}

void EngineModel::Advance(uint32_t now) {
    if (m_lineFreeAt && Due(*m_lineFreeAt, now)) m_lineFreeAt.reset();
    while (auto item = m_splitter.Next(now)) {
        if (item->frame) {
            HandleFrame(*item->frame, now);
        } else {
            Say(std::to_string(item->discarded.size()) +
                " bytes outside any frame dropped: " + HexBytes(item->discarded));
        }
    }
    if (m_decodeAt && Due(*m_decodeAt, now)) {
        m_decodeAt.reset();
        TryDecode(now);
    }
    if (m_pendingAck && Due(m_pendingAck->resendAt, now)) Resend(now, "no ACK");
}

void EngineModel::TryDecode(uint32_t now) {
    if (!m_lines.power || !m_armed) return;
    m_looking = true;
    if (m_barcodes.empty()) return;  // keeps looking until a barcode is put in front
    const QueuedBarcode& next = m_barcodes.front();
    const Symbology* s = FindSymbology(next.symbology);
    if (m_table.Get(s->group, s->enableParameter).value_or(0) == 0) {
        Say("barcode of symbology " + std::to_string(next.symbology) + " (" + std::string(s->name) +
            ") not read: disabled");
        return;
    }
    std::vector<uint8_t> data;
    data.reserve(next.text.size() + 1);
    data.push_back(static_cast<uint8_t>(m_table.Get(s->idGroup, s->idParameter).value_or(0)));
    data.insert(data.end(), next.text.begin(), next.text.end());
    m_barcodes.pop_front();
    m_armed = m_looking = false;  // one read per trigger press
    Touch(now);
    const uint8_t sequence = NextSequence();
    auto frame = BuildBarcodeFrame(sequence, NextManagement(), data);
    m_pendingAck = PendingAck{frame, sequence, 0, false};
    Enqueue(frame, now, 0, Note{"", DecodeFrame(frame), Direction::EngineToHost});
    m_pendingAck->resendAt = *m_lineFreeAt + m_settings.ackResendMs;
}

void EngineModel::Resend(uint32_t now, const char* why) {
    if (m_pendingAck->resent) {
        Say(std::string(why) + " for BARCODE_DATA #" + Hex2(m_pendingAck->sequence) +
            " after the resend: given up");
        m_pendingAck.reset();
        return;
    }
    Say(std::string(why) + " for BARCODE_DATA #" + Hex2(m_pendingAck->sequence) + ": resending");
    m_pendingAck->resent = true;
    Enqueue(m_pendingAck->frame, now, 0,
            Note{"", DecodeFrame(m_pendingAck->frame), Direction::EngineToHost});
    m_pendingAck->resendAt = *m_lineFreeAt + m_settings.ackResendMs;
}

void EngineModel::HandleFrame(const Frame& frame, uint32_t now) {
    m_notes.push_back(
        Note{DescribeFrame(frame, Direction::HostToEngine), frame, Direction::HostToEngine});
    Touch(now);
    if (frame.isShort) {
        HandleHostAcknowledgement(frame, now);
        return;
    }
    const bool faulty = CommandFaultsActive();
    if (faulty && m_faults.commandsAffected > 0) --m_faults.commandsAffected;
    if (faulty && m_faults.silent) return;
    if (!frame.checksumOk) {
        SendShort(frame.sequence, frame_type::kNak, nak_reason::kBadChecksum, now);
        return;
    }
    if ((frame.management & 0x60) != 0x60) {
        SendShort(frame.sequence, frame_type::kNak, nak_reason::kMultiFrame, now);
        return;
    }
    Answer(frame, now, faulty);
}

void EngineModel::HandleHostAcknowledgement(const Frame& frame, uint32_t now) {
    if (!m_pendingAck || frame.sequence != m_pendingAck->sequence) return;
    if (frame.type == frame_type::kAck) {
        m_pendingAck.reset();
    } else if (frame.type == frame_type::kNak) {
        Resend(now, "NAK");
    }
}

bool EngineModel::CommandFaultsActive() const {
    return m_faults.commandsAffected != 0 &&
           (m_faults.silent || m_faults.nakReason || m_faults.firstAnswer != FirstAnswer::None ||
            m_faults.replyDelayMs > 0);
}

void EngineModel::Answer(const Frame& frame, uint32_t now, bool faulty) {
    uint32_t delay = m_settings.processMs;
    if (faulty) {
        if (m_faults.nakReason) {
            SendShort(frame.sequence, frame_type::kNak, *m_faults.nakReason, now);
            return;
        }
        if (m_faults.firstAnswer != FirstAnswer::None) {
            const uint8_t type =
                m_faults.firstAnswer == FirstAnswer::Busy ? frame_type::kBusy : frame_type::kResend;
            SendShort(frame.sequence, type, 0, now);
            if (!m_faults.answerAfterFirst) return;
            delay += m_settings.processMs;
        }
        delay += m_faults.replyDelayMs;
    }

    const std::span<const uint8_t> p = frame.payload;
    std::vector<uint8_t> reply;
    uint8_t replyType = frame_type::kResult;
    switch (frame.type) {
        case frame_type::kSetupQuery: {
            replyType = frame_type::kSetupReply;
            bool whole = true;
            for (const auto& [group, parameter] : ParsePairs(p, &whole)) {
                // A pair the engine does not have is answered with 0, so the
                // reply stays in step with the question.
                const auto value = m_table.Get(group, parameter);
                if (!value) {
                    m_unknownPairs.emplace_back(group, parameter);
                    Say("query of unknown pair " + Hex2(group) + " " + Hex2(parameter) +
                        " answered with 0");
                }
                AppendEntry(reply, {group, parameter, value.value_or(0)});
            }
            if (!whole) Say("query's odd last byte ignored");
            break;
        }
        case frame_type::kSetupCommand: {
            bool whole = true;
            uint8_t status = 0x00;
            for (const Entry& e : ParseEntries(p, &whole)) {
                if (!m_table.Set(e.group, e.parameter, e.value)) {
                    status = 0x01;
                    Say("setting of unknown pair " + Hex2(e.group) + " " + Hex2(e.parameter) +
                        " ignored");
                }
            }
            if (!whole) {
                status = 0x01;
                Say("setup's incomplete last entry ignored");
            }
            reply.push_back(status);
            LookAgain(now);
            break;
        }
        case frame_type::kResetCommand:
            m_table.RestoreFactory();
            Say("parameters back to factory values");
            reply.push_back(0x00);
            LookAgain(now);
            break;
        case frame_type::kStatusQuery: {
            replyType = frame_type::kStatusReply;
            for (const auto& [group, parameter] : ParsePairs(p)) {
                const std::string* text = nullptr;
                if (group == 0x30 && parameter == 0xC6) text = &m_settings.firmwareVersion;
                if (group == 0x30 && parameter == 0xC0) text = &m_settings.bootVersion;
                if (group == 0x30 && parameter == 0xC2) text = &m_settings.hardwareVersion;
                if (text == nullptr) continue;
                reply.insert(reply.end(), {group, parameter, 0x00, 0x00});
                reply.insert(reply.end(), text->begin(), text->end());
            }
            break;
        }
        default:
            SendShort(frame.sequence, frame_type::kNak, nak_reason::kNotImplemented, now);
            return;
    }
    SendShort(frame.sequence, frame_type::kAck, 0, now);
    SendFull(replyType, reply, now, delay);
}

uint8_t EngineModel::NextSequence() {
    // Like the host, the engine never uses 0x00..0x10 (control byte values).
    m_sequence = m_sequence == 0xFF ? 0x11 : static_cast<uint8_t>(m_sequence + 1);
    return m_sequence;
}

uint8_t EngineModel::NextManagement() {
    const uint8_t management = SingleFrameManagement(m_frameNumber);
    m_frameNumber = static_cast<uint8_t>((m_frameNumber + 1) & 0x07);
    return management;
}

std::vector<uint8_t> EngineModel::SendFull(uint8_t type, std::span<const uint8_t> payload,
                                           uint32_t now, uint32_t delayMs) {
    auto frame = BuildFrame(NextSequence(), type, payload, NextManagement());
    Enqueue(frame, now, delayMs, Note{"", DecodeFrame(frame), Direction::EngineToHost});
    return frame;
}

void EngineModel::SendShort(uint8_t sequence, uint8_t type, uint8_t argument, uint32_t now,
                            uint32_t delayMs) {
    auto frame = BuildShortFrame(sequence, type, argument);
    Enqueue(frame, now, delayMs, Note{"", DecodeFrame(frame), Direction::EngineToHost});
}

void EngineModel::Enqueue(std::vector<uint8_t> bytes, uint32_t now, uint32_t delayMs,
                          std::optional<Note> note) {
    if (note && note->frame) note->text = DescribeFrame(*note->frame, Direction::EngineToHost);
    uint32_t at =
        (m_lineFreeAt && TickDiff(*m_lineFreeAt, now) > 0 ? *m_lineFreeAt : now) + delayMs;
    auto put = [&](std::vector<uint8_t> piece, std::optional<Note> pieceNote) {
        const size_t slice = m_settings.lineRate ? kSliceBytes : piece.size();
        for (size_t pos = 0; pos < piece.size(); pos += slice) {
            const size_t n = std::min(slice, piece.size() - pos);
            m_out.push_back(Chunk{{piece.begin() + static_cast<std::ptrdiff_t>(pos),
                                   piece.begin() + static_cast<std::ptrdiff_t>(pos + n)},
                                  at,
                                  pos == 0 ? std::move(pieceNote) : std::nullopt});
            if (m_settings.lineRate) at += LineTimeMs(n);
        }
    };
    if (!m_faults.garbage.empty()) {
        put(m_faults.garbage,
            Note{"-- garbage ahead of the frame: " + HexBytes(m_faults.garbage), std::nullopt});
    }
    // Fault: the frame goes out in pieces with pauses between them.
    std::vector<size_t> cuts;
    for (size_t c : m_faults.splitAt) {
        if (c > 0 && c < bytes.size()) cuts.push_back(c);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    size_t from = 0;
    for (size_t c : cuts) {
        put({bytes.begin() + static_cast<std::ptrdiff_t>(from),
             bytes.begin() + static_cast<std::ptrdiff_t>(c)},
            from == 0 ? std::move(note) : std::nullopt);
        at += m_faults.splitPauseMs;
        from = c;
    }
    put({bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end()},
        from == 0 ? std::move(note) : std::nullopt);
    m_lineFreeAt = at;
}

std::optional<uint32_t> EngineModel::NextDeadline(uint32_t now) const {
    // Compared as distances from a reference behind every pending deadline.
    const uint32_t ref = now - 0x40000000u;
    std::optional<uint32_t> best;
    KeepEarliest(best, m_splitter.Deadline(), ref);
    KeepEarliest(best, m_decodeAt, ref);
    if (m_pendingAck) KeepEarliest(best, m_pendingAck->resendAt, ref);
    if (!m_out.empty()) KeepEarliest(best, m_out.front().due, ref);
    KeepEarliest(best, m_lineFreeAt, ref);
    return best;
}

std::vector<Chunk> EngineModel::TakeDue(uint32_t now) {
    std::vector<Chunk> due;
    while (!m_out.empty() && Due(m_out.front().due, now)) {
        due.push_back(std::move(m_out.front()));
        m_out.pop_front();
    }
    return due;
}

}  // namespace qv::sim

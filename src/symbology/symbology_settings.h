// The settings store: the library's copy of the engine's Enable, Detail and
// Other records, one after another, and the codecs that turn a record into
// a setup payload, build the matching query and read a reply back in.
//
// Each Make... writes into a caller's buffer of kPayloadBufferSize bytes and
// reports the payload length; each returns 1, or 0 when it failed (an
// exception, caught and logged). A parse returns 0 also when it stopped at
// a group it does not know; the entries before that stay stored.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "QV_Rizoviv2I_RO25.h"

namespace qv {

// The records are kept and stored as little-endian images.
static_assert(std::endian::native == std::endian::little);

inline constexpr size_t kPayloadBufferSize = 1024;

inline constexpr int32_t kEnableSetupLength = 123;
inline constexpr int32_t kEnableQueryLength = 80;
inline constexpr int32_t kDetailSetupLength = 216;
inline constexpr int32_t kDetailQueryLength = 148;
inline constexpr int32_t kOtherSetupLength = 80;
inline constexpr int32_t kOtherQueryLength = 50;

using PayloadBuffer = std::span<uint8_t, kPayloadBufferSize>;

class SymbologySettings {
  public:
    SymbologySettings() : m_enable{}, m_detail{}, m_other{} {}

    void CopyIn(const EnableRecord& record) { m_enable = record; }
    void CopyIn(const DetailRecord& record) { m_detail = record; }
    void CopyIn(const OtherRecord& record) { m_other = record; }
    void CopyOut(EnableRecord& record) const { record = m_enable; }
    void CopyOut(DetailRecord& record) const { record = m_detail; }
    void CopyOut(OtherRecord& record) const { record = m_other; }

    int32_t MakeEnableSetup(PayloadBuffer out, int32_t& length) const;
    // One symbology's flag; length 0 for a number that names no symbology.
    int32_t MakeEnableSetupOne(int32_t symbology, PayloadBuffer out, int32_t& length) const;
    static int32_t MakeEnableQuery(PayloadBuffer out, int32_t& length);
    int32_t ParseEnableReply(const uint8_t* reply, int32_t length);

    int32_t MakeDetailSetup(PayloadBuffer out, int32_t& length) const;
    static int32_t MakeDetailQuery(PayloadBuffer out, int32_t& length);
    // Updates Enable and Detail fields alike.
    int32_t ParseDetailReply(const uint8_t* reply, int32_t length);

    int32_t MakeOtherSetup(PayloadBuffer out, int32_t& length) const;
    static int32_t MakeOtherQuery(PayloadBuffer out, int32_t& length);
    int32_t ParseOtherReply(const uint8_t* reply, int32_t length);

    EnableRecord m_enable;
    DetailRecord m_detail;
    OtherRecord m_other;
    // 1 once the Enable record holds what the engine has: read from it, or
    // set whole and answered (as the opening does with the stored file).
    // Until then it is only zeros, which must not be saved as flags.
    int32_t m_bEnableKnown = 0;
};

// The three records lie one after another in 552 bytes.
static_assert(offsetof(SymbologySettings, m_other) + sizeof(OtherRecord) == 552);
static_assert(offsetof(SymbologySettings, m_detail) == 164);
static_assert(offsetof(SymbologySettings, m_other) == 452);

// Slot access on a record image: slot i is the 4 bytes at offset 4 x i.
int32_t ReadSlot(const void* record, size_t slot);
void WriteSlot(void* record, size_t slot, int32_t value);
// A character slot keeps its character in its first byte only.
char ReadCharSlot(const void* record, size_t slot);
void WriteCharSlot(void* record, size_t slot, char value);

}  // namespace qv

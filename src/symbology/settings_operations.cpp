#include "symbology/settings_operations.h"

#include <algorithm>
#include <array>

#include "log/write_log.h"
#include "platform/core/clock.h"
#include "symbology/settings_files.h"
#include "symbology/symbology_table.h"

namespace qv {
namespace {

constexpr const char16_t* kBarcodeReadFail = u"Get BARCODE Setting Fail\r\n";
constexpr const char16_t* kOtherReadFail = u"Get Other Setting Fail\r\n";

// The MacroPDF flag and PDF417's second option are one engine parameter.
constexpr size_t kMacroPdfEnableSlot = 8;
constexpr size_t kMacroPdfDetailSlot = 57;
static_assert(kEnableSlots[kMacroPdfEnableSlot].group == kDetailSlots[kMacroPdfDetailSlot].group &&
              kEnableSlots[kMacroPdfEnableSlot].param == kDetailSlots[kMacroPdfDetailSlot].param);
constexpr int32_t kMacroPdfSymbology = kEnableSlots[kMacroPdfEnableSlot].symbology;

void PutValue(void* record, RecordKind kind, size_t slot, int32_t value) {
    if (kind == RecordKind::Detail && kDetailSlots[slot].type == SlotType::Char) {
        WriteCharSlot(record, slot, static_cast<char>(value));
    } else {
        WriteSlot(record, slot, value);
    }
}

int32_t TakeValue(const void* record, RecordKind kind, size_t slot) {
    if (kind == RecordKind::Detail && kDetailSlots[slot].type == SlotType::Char) {
        return ReadCharSlot(record, slot);
    }
    return ReadSlot(record, slot);
}

}  // namespace

int32_t SymbologyOperations::Query(int32_t (*make)(PayloadBuffer, int32_t&),
                                   int32_t (SymbologySettings::*parse)(const uint8_t*, int32_t),
                                   const char16_t* failLog) {
    std::array<uint8_t, kPayloadBufferSize> query{};
    int32_t queryLength = 0;
    if (make(query, queryLength) == 0) return 0;
    std::array<uint8_t, kPayloadBufferSize> reply{};
    int32_t replyLength = 0;
    if (m_port.Send(FrameKind::SETUP_QUERY, query.data(), queryLength, reply.data(),
                    &replyLength) == 0) {
        WriteLog(failLog);
        return 0;
    }
    replyLength = std::clamp<int32_t>(replyLength, 0, static_cast<int32_t>(reply.size()));
    // Read into a copy: a reply that cannot be read leaves the store as it
    // was, so nothing built from it is ever sent or saved.
    SymbologySettings parsed = m_store;
    if ((parsed.*parse)(reply.data(), replyLength) == 0) {
        WriteLog(failLog);
        return 0;
    }
    m_store = parsed;
    return 1;
}

int32_t SymbologyOperations::Setup(int32_t (SymbologySettings::*make)(PayloadBuffer, int32_t&)
                                       const,
                                   void (*save)(const SymbologySettings&), bool logBytes) {
    std::array<uint8_t, kPayloadBufferSize> payload{};
    int32_t length = 0;
    if ((m_store.*make)(payload, length) == 0) return 0;
    if (logBytes) {
        for (int32_t i = 0; i < length; ++i)
            WriteLog(u"[%03d] 0x%X\r\n", i, payload[i]);
    }
    // No reply is asked for: any answer, a NAK included, means the engine
    // has the record, so the file follows.
    const int32_t result =
        m_port.Send(FrameKind::SETUP_COMMAND, payload.data(), length, nullptr, nullptr);
    if (result != 0) save(m_store);
    return result != 0 ? 1 : 0;
}

int32_t SymbologyOperations::ReadEnableSetting(EnableRecord& record) {
    if (Query(&SymbologySettings::MakeEnableQuery, &SymbologySettings::ParseEnableReply,
              kBarcodeReadFail) == 0) {
        return 0;
    }
    m_store.m_bEnableKnown = 1;
    m_store.CopyOut(record);
    platform::Sleep(kReadSettleMs);
    return 1;
}

int32_t SymbologyOperations::WriteEnableSetting(const EnableRecord& record) {
    m_store.CopyIn(record);
    if (Setup(&SymbologySettings::MakeEnableSetup, &SaveEnableSetting, false) == 0) return 0;
    m_store.m_bEnableKnown = 1;
    MacroPdfSentByEnable();
    return 1;
}

int32_t SymbologyOperations::WriteEnableOne(int32_t symbology, int32_t value) {
    const int slot = FindEnableSlot(symbology);
    std::array<uint8_t, kPayloadBufferSize> payload{};
    int32_t length = 0;
    if (slot < 0) {
        // Names no symbology: the empty command goes out as always, but
        // there is nothing to keep.
        if (m_store.MakeEnableSetupOne(symbology, payload, length) == 0) return 0;
        return m_port.Send(FrameKind::SETUP_COMMAND, payload.data(), length, nullptr, nullptr) != 0
                   ? 1
                   : 0;
    }
    // The file is saved whole from the store, so the store must hold the
    // engine's flags first, or every other symbology would be saved off.
    if (m_store.m_bEnableKnown == 0) {
        EnableRecord current{};
        if (ReadEnableSetting(current) == 0) return 0;
    }
    WriteSlot(&m_store.m_enable, static_cast<size_t>(slot), value);
    if (m_store.MakeEnableSetupOne(symbology, payload, length) == 0) return 0;
    if (m_port.Send(FrameKind::SETUP_COMMAND, payload.data(), length, nullptr, nullptr) == 0) {
        return 0;
    }
    SaveEnableSetting(m_store);
    if (symbology == kMacroPdfSymbology) MacroPdfSentByEnable();
    return 1;
}

// The engine now has the Enable record's MacroPDF flag; the Detail record
// (applied after the Enable record at open) must not undo it.
void SymbologyOperations::MacroPdfSentByEnable() {
    const int32_t value = ReadSlot(&m_store.m_enable, kMacroPdfEnableSlot);
    WriteSlot(&m_store.m_detail, kMacroPdfDetailSlot, value);
    UpdateDetailFileSlot(kMacroPdfDetailSlot, value);
}

// And the other way round, so that the Enable file never carries an older
// MacroPDF flag into the open either.
void SymbologyOperations::MacroPdfSentByDetail() {
    const int32_t value = ReadSlot(&m_store.m_detail, kMacroPdfDetailSlot);
    WriteSlot(&m_store.m_enable, kMacroPdfEnableSlot, value);
    UpdateEnableFileSlot(kMacroPdfEnableSlot, value);
}

int32_t SymbologyOperations::ReadEnableOne(int32_t symbology, int32_t& value) {
    EnableRecord record{};
    if (ReadEnableSetting(record) == 0) return 0;
    const int slot = FindEnableSlot(symbology);
    if (slot < 0) return 0;
    value = ReadSlot(&record, static_cast<size_t>(slot));
    return 1;
}

int32_t SymbologyOperations::ReadDetailSetting(DetailRecord& record) {
    if (Query(&SymbologySettings::MakeDetailQuery, &SymbologySettings::ParseDetailReply,
              kBarcodeReadFail) == 0) {
        return 0;
    }
    m_store.CopyOut(record);
    platform::Sleep(kReadSettleMs);
    return 1;
}

int32_t SymbologyOperations::WriteDetailSetting(const DetailRecord& record) {
    m_store.CopyIn(record);
    if (Setup(&SymbologySettings::MakeDetailSetup, &SaveDetailSetting, true) == 0) return 0;
    MacroPdfSentByDetail();
    return 1;
}

int32_t SymbologyOperations::ReadOtherSetting(OtherRecord& record) {
    if (Query(&SymbologySettings::MakeOtherQuery, &SymbologySettings::ParseOtherReply,
              kOtherReadFail) == 0) {
        return 0;
    }
    m_store.CopyOut(record);
    platform::Sleep(kReadSettleMs);
    return 1;
}

int32_t SymbologyOperations::WriteOtherSetting(const OtherRecord& record) {
    m_store.CopyIn(record);
    return Setup(&SymbologySettings::MakeOtherSetup, &SaveOtherSetting, false);
}

int32_t SymbologyOperations::SetMember(const OptionMember& member,
                                       std::span<const int32_t> values) {
    const size_t n = std::min<size_t>(member.count, values.size());
    if (member.record == RecordKind::Detail) {
        DetailRecord record{};
        if (ReadDetailSetting(record) == 0) return 0;
        for (size_t i = 0; i < n; ++i)
            PutValue(&record, member.record, member.slots[i], values[i]);
        return WriteDetailSetting(record);
    }
    OtherRecord record{};
    if (ReadOtherSetting(record) == 0) return 0;
    for (size_t i = 0; i < n; ++i)
        PutValue(&record, member.record, member.slots[i], values[i]);
    return WriteOtherSetting(record);
}

int32_t SymbologyOperations::GetMember(const OptionMember& member, std::span<int32_t> values) {
    const size_t n = std::min<size_t>(member.count, values.size());
    if (member.record == RecordKind::Detail) {
        DetailRecord record{};
        if (ReadDetailSetting(record) == 0) return 0;
        for (size_t i = 0; i < n; ++i)
            values[i] = TakeValue(&record, member.record, member.slots[i]);
        return 1;
    }
    OtherRecord record{};
    if (ReadOtherSetting(record) == 0) return 0;
    for (size_t i = 0; i < n; ++i)
        values[i] = TakeValue(&record, member.record, member.slots[i]);
    return 1;
}

}  // namespace qv

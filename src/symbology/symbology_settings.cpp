#include "symbology/symbology_settings.h"

#include <cstring>

#include "symbology/codec_guard.h"
#include "symbology/symbology_table.h"

namespace qv {
namespace {

class PayloadWriter {
  public:
    explicit PayloadWriter(PayloadBuffer out) : m_out(out) {}
    void Put(uint8_t b) { m_out[m_length++] = b; }
    void Pair(uint8_t group, uint8_t param) {
        Put(group);
        Put(param);
    }
    int32_t Length() const { return static_cast<int32_t>(m_length); }

  private:
    PayloadBuffer m_out;
    size_t m_length = 0;
};

uint8_t LowByte(int32_t value) {
    return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFF);
}

// Walks a reply in the setup encoding (group, parameter, one value byte)
// and stores each value in every Enable field it names, and, when asked,
// every Detail field. UPC-E1 is never read back. A group that holds no
// Enable field is not an answer to anything asked: the walk stops there.
// A partial last entry is ignored rather than read beyond the reply.
int32_t ParseSetupEntries(SymbologySettings& store, const uint8_t* reply, int32_t length,
                          bool withDetail) {
    if (reply == nullptr) return 1;
    for (int32_t pos = 0; pos < length; pos += 3) {
        const uint8_t group = reply[pos];
        if (!HoldsEnableFields(group)) return 0;
        if (length - pos < 3) break;
        const uint8_t param = reply[pos + 1];
        const uint8_t value = reply[pos + 2];
        for (size_t slot = 0; slot < kEnableQuerySlots; ++slot) {
            if (kEnableSlots[slot].group == group && kEnableSlots[slot].param == param) {
                WriteSlot(&store.m_enable, slot, value);
            }
        }
        if (!withDetail) continue;
        for (size_t slot = 0; slot < kDetailSlotCount; ++slot) {
            const DetailSlot& s = kDetailSlots[slot];
            if (s.group != group || s.param != param) continue;
            if (s.type == SlotType::Char) {
                WriteCharSlot(&store.m_detail, slot, static_cast<char>(value));
            } else {
                WriteSlot(&store.m_detail, slot, value);
            }
        }
    }
    return 1;
}

const OtherSlot* FindGeneralSlot(uint8_t param, size_t& slot) {
    for (size_t i = 0; i < kOtherSlotCount; ++i) {
        if (kOtherSlots[i].group == kGeneralGroup && kOtherSlots[i].param == param) {
            slot = i;
            return &kOtherSlots[i];
        }
    }
    return nullptr;
}

}  // namespace

int32_t ReadSlot(const void* record, size_t slot) {
    int32_t value;
    std::memcpy(&value, static_cast<const uint8_t*>(record) + 4 * slot, sizeof value);
    return value;
}

void WriteSlot(void* record, size_t slot, int32_t value) {
    std::memcpy(static_cast<uint8_t*>(record) + 4 * slot, &value, sizeof value);
}

char ReadCharSlot(const void* record, size_t slot) {
    return static_cast<const char*>(record)[4 * slot];
}

void WriteCharSlot(void* record, size_t slot, char value) {
    static_cast<char*>(record)[4 * slot] = value;
}

int32_t SymbologySettings::MakeEnableSetup(PayloadBuffer out, int32_t& length) const {
    return GuardCodec([&] {
        PayloadWriter w(out);
        for (size_t slot = 0; slot < kEnableSlotCount; ++slot) {
            w.Pair(kEnableSlots[slot].group, kEnableSlots[slot].param);
            w.Put(LowByte(ReadSlot(&m_enable, slot)));
        }
        length = w.Length();
        return 1;
    });
}

int32_t SymbologySettings::MakeEnableSetupOne(int32_t symbology, PayloadBuffer out,
                                              int32_t& length) const {
    return GuardCodec([&] {
        PayloadWriter w(out);
        const int slot = FindEnableSlot(symbology);
        if (slot >= 0) {
            w.Pair(kEnableSlots[slot].group, kEnableSlots[slot].param);
            w.Put(LowByte(ReadSlot(&m_enable, static_cast<size_t>(slot))));
        }
        length = w.Length();
        return 1;
    });
}

int32_t SymbologySettings::MakeEnableQuery(PayloadBuffer out, int32_t& length) {
    return GuardCodec([&] {
        PayloadWriter w(out);
        for (size_t slot = 0; slot < kEnableQuerySlots; ++slot) {
            w.Pair(kEnableSlots[slot].group, kEnableSlots[slot].param);
        }
        length = w.Length();
        return 1;
    });
}

int32_t SymbologySettings::ParseEnableReply(const uint8_t* reply, int32_t length) {
    return GuardCodec([&] { return ParseSetupEntries(*this, reply, length, false); });
}

int32_t SymbologySettings::MakeDetailSetup(PayloadBuffer out, int32_t& length) const {
    return GuardCodec([&] {
        PayloadWriter w(out);
        for (size_t slot = 0; slot < kDetailSlotCount; ++slot) {
            const DetailSlot& s = kDetailSlots[slot];
            w.Pair(s.group, s.param);
            w.Put(s.type == SlotType::Char ? static_cast<uint8_t>(ReadCharSlot(&m_detail, slot))
                                           : LowByte(ReadSlot(&m_detail, slot)));
        }
        length = w.Length();
        return 1;
    });
}

int32_t SymbologySettings::MakeDetailQuery(PayloadBuffer out, int32_t& length) {
    return GuardCodec([&] {
        PayloadWriter w(out);
        for (size_t slot = 0; slot < kDetailSlotCount; ++slot) {
            for (const ExtraQueryPair& extra : kDetailExtraQueryPairs) {
                if (extra.beforeSlot == slot) w.Pair(extra.group, extra.param);
            }
            w.Pair(kDetailSlots[slot].group, kDetailSlots[slot].param);
        }
        length = w.Length();
        return 1;
    });
}

int32_t SymbologySettings::ParseDetailReply(const uint8_t* reply, int32_t length) {
    return GuardCodec([&] { return ParseSetupEntries(*this, reply, length, true); });
}

int32_t SymbologySettings::MakeOtherSetup(PayloadBuffer out, int32_t& length) const {
    return GuardCodec([&] {
        PayloadWriter w(out);
        for (size_t slot = 0; slot < kOtherSlotCount; ++slot) {
            const OtherSlot& s = kOtherSlots[slot];
            const int32_t value = ReadSlot(&m_other, slot);
            w.Pair(s.group, s.param);
            switch (s.kind) {
                case OtherKind::Byte:
                case OtherKind::Flag:
                    w.Put(LowByte(value));
                    break;
                case OtherKind::InvertedFlag:
                    w.Put(value == 1 ? 0 : 1);
                    break;
                case OtherKind::Word:
                    w.Put(LowByte(value >> 8));
                    w.Put(LowByte(value));
                    break;
            }
        }
        length = w.Length();
        return 1;
    });
}

int32_t SymbologySettings::MakeOtherQuery(PayloadBuffer out, int32_t& length) {
    return GuardCodec([&] {
        PayloadWriter w(out);
        for (const OtherSlot& s : kOtherSlots)
            w.Pair(s.group, s.param);
        length = w.Length();
        return 1;
    });
}

int32_t SymbologySettings::ParseOtherReply(const uint8_t* reply, int32_t length) {
    return GuardCodec([&] {
        if (reply == nullptr) return 1;
        int32_t pos = 0;
        while (pos < length) {
            const uint8_t group = reply[pos];
            if (group != kSecurityGroup && group != kGeneralGroup) return 0;
            if (length - pos < 3) break;  // partial last entry: ignored
            const uint8_t param = reply[pos + 1];
            if (group == kSecurityGroup) {
                if (param == kOtherSlots[0].param) WriteSlot(&m_other, 0, reply[pos + 2]);
                pos += 3;
                continue;
            }
            size_t slot = 0;
            const OtherSlot* s = FindGeneralSlot(param, slot);
            if (s == nullptr) {
                pos += 3;
                continue;
            }
            const uint8_t value = reply[pos + 2];
            switch (s->kind) {
                case OtherKind::Byte:
                    WriteSlot(&m_other, slot, value);
                    break;
                case OtherKind::Flag:
                    WriteSlot(&m_other, slot, value != 0 ? 1 : 0);
                    break;
                case OtherKind::InvertedFlag:
                    WriteSlot(&m_other, slot, value != 0 ? 0 : 1);
                    break;
                case OtherKind::Word:
                    if (length - pos < 4) return 1;  // partial last entry: ignored
                    WriteSlot(&m_other, slot, 256 * value + reply[pos + 3]);
                    pos += 1;
                    break;
            }
            pos += 3;
        }
        return 1;
    });
}

}  // namespace qv

// Arbitrary replies through the three settings parsers. Besides what the
// sanitizers catch (the reply sits in storage of exactly its length, so a
// read past it shows), every field the parse may touch must hold a value
// the wire can carry, and nothing else in the store may change.
//
// Input: a selector byte (Enable, Detail or Other parse), then the reply,
// of which at most 1024 bytes are used, as the reply buffer holds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "symbology/symbology_settings.h"
#include "symbology/symbology_table.h"

namespace {

using qv::SymbologySettings;

constexpr int32_t kUntouched = static_cast<int32_t>(0xA5A5A5A5);
constexpr size_t kReplyBuffer = 1024;

void Require(bool condition) {
    if (!condition) std::abort();
}

// Each integer slot is untouched or within [0, max].
void CheckSlots(const void* record, size_t slots, int32_t max) {
    for (size_t slot = 0; slot < slots; ++slot) {
        const int32_t v = qv::ReadSlot(record, slot);
        Require(v == kUntouched || (v >= 0 && v <= max));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t selector = data[0] % 3;
    const size_t length = std::min(size - 1, kReplyBuffer);
    auto reply = std::make_unique<uint8_t[]>(length + 1);
    std::memcpy(reply.get(), data + 1, length);

    SymbologySettings store;
    std::memset(static_cast<void*>(&store), 0xA5, sizeof store);
    const SymbologySettings before = store;
    int32_t result = 0;
    switch (selector) {
        case 0:
            result = store.ParseEnableReply(reply.get(), static_cast<int32_t>(length));
            Require(std::memcmp(&store.m_detail, &before.m_detail, sizeof store.m_detail) == 0);
            Require(std::memcmp(&store.m_other, &before.m_other, sizeof store.m_other) == 0);
            break;
        case 1:
            result = store.ParseDetailReply(reply.get(), static_cast<int32_t>(length));
            Require(std::memcmp(&store.m_other, &before.m_other, sizeof store.m_other) == 0);
            for (size_t slot = 0; slot < qv::kDetailSlotCount; ++slot) {
                const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&store.m_detail) + 4 * slot;
                if (qv::kDetailSlots[slot].type == qv::SlotType::Char) {
                    Require(bytes[1] == 0xA5 && bytes[2] == 0xA5 && bytes[3] == 0xA5);
                } else {
                    const int32_t v = qv::ReadSlot(&store.m_detail, slot);
                    Require(v == kUntouched || (v >= 0 && v <= 255));
                }
            }
            break;
        default:
            result = store.ParseOtherReply(reply.get(), static_cast<int32_t>(length));
            Require(std::memcmp(&store.m_enable, &before.m_enable, sizeof store.m_enable) == 0);
            Require(std::memcmp(&store.m_detail, &before.m_detail, sizeof store.m_detail) == 0);
            for (size_t slot = 0; slot < qv::kOtherSlotCount; ++slot) {
                const int32_t v = qv::ReadSlot(&store.m_other, slot);
                switch (qv::kOtherSlots[slot].kind) {
                    case qv::OtherKind::Flag:
                    case qv::OtherKind::InvertedFlag:
                        Require(v == kUntouched || v == 0 || v == 1);
                        break;
                    case qv::OtherKind::Word:
                        Require(v == kUntouched || (v >= 0 && v <= 65535));
                        break;
                    case qv::OtherKind::Byte:
                        Require(v == kUntouched || (v >= 0 && v <= 255));
                        break;
                }
            }
            break;
    }
    Require(result == 0 || result == 1);
    if (selector != 2) {
        CheckSlots(&store.m_enable, qv::kEnableQuerySlots, 255);
        // UPC-E1 is never read back.
        Require(store.m_enable.UPC_E1_ENABLE == kUntouched);
    }
    return 0;
}

#include "symbology/module_payloads.h"

#include <algorithm>

#include "symbology/codec_guard.h"
#include "symbology/symbology_table.h"

namespace qv {
namespace {

// Parameter of the two-byte companion of a code-ID parameter 0x48 + n.
constexpr uint8_t CompanionOf(uint8_t codeIdParam) {
    return static_cast<uint8_t>(0xC0 + (codeIdParam - 0x48));
}

// Version entries: a marker pair, two bytes not used, then the text.
constexpr uint8_t kVersionGroup = 0x30;
constexpr std::array<uint8_t, 3> kVersionParams{0xC6, 0xC0, 0xC2};
constexpr int32_t kVersionEntryHeader = 4;

bool MarkerAt(const uint8_t* reply, int32_t length, int32_t pos, uint8_t param) {
    return pos + 1 < length && reply[pos] == kVersionGroup && reply[pos + 1] == param;
}

}  // namespace

int32_t MakeInitPayload(PayloadBuffer out, int32_t& length) {
    return GuardCodec([&] {
        size_t n = 0;
        auto put = [&](std::initializer_list<uint8_t> bytes) {
            for (uint8_t b : bytes)
                out[n++] = b;
        };
        put({kInitGroupA, 0xC1, 0x00, 0x00});
        put({kInitGroupB, 0x40, 0x01});
        put({kInitGroupA, 0x40, 0x01});
        put({kInitGroupB, 0x4E, 0x00});
        // Groups in the order their first code-ID character appears.
        std::array<uint8_t, kEnableSlotCount> done{};
        size_t doneCount = 0;
        for (const EnableSlot& first : kEnableSlots) {
            if (first.codeId == 0) continue;
            const uint8_t group = first.group;
            if (std::find(done.begin(), done.begin() + doneCount, group) !=
                done.begin() + doneCount) {
                continue;
            }
            done[doneCount++] = group;
            for (const EnableSlot& s : kEnableSlots) {
                if (s.group != group || s.codeId == 0) continue;
                put({group, CompanionOf(s.codeIdParam), 0x00, 0x00});
                put({group, s.codeIdParam, s.codeId});
            }
            if (FindGroup(group)->initZeroes50To52) {
                put({group, 0x50, 0x00});
                put({group, 0x51, 0x00});
                put({group, 0x52, 0x00});
            }
        }
        length = static_cast<int32_t>(n);
        return 1;
    });
}

bool ReplyShowsInitialised(const uint8_t* reply, int32_t length) {
    if (reply == nullptr) return false;
    int count = 0;
    for (int32_t pos = 0; pos + 2 < length; ++pos) {
        const uint8_t b = reply[pos];
        const uint8_t v = reply[pos + 2];
        if ((b == Standard2of5_GID && v == 0x42) || (b == Telepen_GID && v == 0x43) ||
            (b == TLC39_GID && v == 0x44)) {
            if (++count == 3) return true;
        }
    }
    return false;
}

std::array<std::string, 3> ParseVersionReply(const uint8_t* reply, int32_t length) {
    std::array<std::string, 3> texts;
    if (reply == nullptr || length <= 0) return texts;
    // Copies the text that starts after the marker at `pos`, up to the next
    // entry's marker (or the end of the reply), and leaves `pos` there.
    auto take = [&](int32_t& pos, int which) {
        pos = std::min(pos + kVersionEntryHeader, length);
        int32_t end = pos;
        if (which + 1 < static_cast<int>(kVersionParams.size())) {
            while (end < length && !MarkerAt(reply, length, end, kVersionParams[which + 1]))
                ++end;
        } else {
            end = length;
        }
        const int32_t n = std::min<int32_t>(end - pos, static_cast<int32_t>(kVersionTextBytes));
        texts[which].assign(reinterpret_cast<const char*>(reply + pos), static_cast<size_t>(n));
        // The text is read as a zero-terminated string.
        texts[which].resize(std::min(texts[which].size(), texts[which].find('\0')));
        pos = end;
    };
    int32_t pos = 0;
    while (pos < length) {
        for (int which = 0; which < static_cast<int>(kVersionParams.size()); ++which) {
            if (MarkerAt(reply, length, pos, kVersionParams[which])) take(pos, which);
        }
        ++pos;
    }
    return texts;
}

}  // namespace qv

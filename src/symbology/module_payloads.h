// Fixed payloads of the engine's initialisation and maintenance commands,
// and the pure readers of their replies.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "symbology/symbology_settings.h"

namespace qv {

inline constexpr int32_t kInitPayloadLength = 369;

// Asks for the code-ID characters of Standard 2 of 5, Telepen and TLC39, the
// last three the initialisation assigns.
inline constexpr std::array<uint8_t, 6> kIsInitQuery{0x48, 0x48, 0x49, 0x48, 0x4E, 0x48};
inline constexpr std::array<uint8_t, 3> kTestCommand{0x70, 0x40, 0x02};
inline constexpr std::array<uint8_t, 5> kFactoryReset{0x30, 0x40, 0x00, 0x40, 0x06};
inline constexpr std::array<uint8_t, 6> kVersionQuery{0x30, 0xC6, 0x30, 0xC0, 0x30, 0xC2};

// The initialisation payload: a few general settings, then every code-ID
// character of the symbology table with its two-byte companion, group by
// group, and the zero entries 0x50 to 0x52 of the groups that take them.
// It depends on nothing stored. Returns 1, or 0 after a caught exception.
int32_t MakeInitPayload(PayloadBuffer out, int32_t& length);

// True when the reply to kIsInitQuery shows the library's three characters.
bool ReplyShowsInitialised(const uint8_t* reply, int32_t length);

inline constexpr size_t kVersionTextBytes = 255;

// The three texts of a version reply, in the order asked (0xC6, 0xC0,
// 0xC2), as the engine's bytes. Each stops at the next entry, at the end
// of the reply and at 255 bytes; one that is missing is empty.
std::array<std::string, 3> ParseVersionReply(const uint8_t* reply, int32_t length);

}  // namespace qv

// Power notifications: a point-to-point message queue that the platform fills
// with power broadcast records (message kind, power-state flags, name length,
// then the state name in UTF-16).
//
// The queue is fed by the socket of QV_POWER_NOTIFY ("unix:<path>": each
// message is a u32 little-endian length followed by that many bytes) and by
// in-process injection. Stopping the notifications ends a pending read with
// failure, so a thread blocked on the queue can always be released.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform_api.h"

namespace qv::platform {

inline constexpr uint32_t PBT_TRANSITION = 1;
inline constexpr uint32_t POWER_STATE_SUSPEND = 0x00200000;
inline constexpr uint32_t POWER_STATE_ON_BACKLIGHT_PASSWORD = 0x12010000;

class QV_PLATFORM_API PowerMessageQueue {
  public:
    // Null when the queue cannot be created (zero sizes).
    static std::unique_ptr<PowerMessageQueue> Create(uint32_t maxMessages,
                                                     uint32_t maxMessageBytes);
    virtual ~PowerMessageQueue() = default;

    // Waits up to `milliseconds` (kInfinite: no limit) for one message and
    // copies it to `buffer`. False on time-out, or once no writer is left.
    virtual bool Read(void* buffer, uint32_t size, uint32_t* bytesRead, uint32_t milliseconds) = 0;
};

// The subscription that feeds a queue; ending it releases the queue's reader.
class QV_PLATFORM_API PowerNotifications {
  public:
    // Null (with a line on the debug output) when the subscription fails:
    // no queue, or a QV_POWER_NOTIFY socket that cannot be reached.
    static std::unique_ptr<PowerNotifications> Request(PowerMessageQueue* queue, uint32_t mask);
    virtual ~PowerNotifications() = default;

    // Ends the subscription; safe to call more than once. True when it ended.
    virtual bool Stop() = 0;
};

// Delivers one power broadcast record to every subscription of this process.
QV_PLATFORM_API void InjectPowerNotification(uint32_t kind, uint32_t flags,
                                             std::u16string_view stateName);

// The power broadcast record as it travels: kind, flags, name length in
// bytes, then the name in UTF-16LE without terminator.
QV_PLATFORM_API std::string EncodePowerBroadcast(uint32_t kind, uint32_t flags,
                                                 std::u16string_view stateName);

}  // namespace qv::platform

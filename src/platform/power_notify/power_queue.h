// The power notification queue, and the feeds of a subscription that come
// from outside the process. Internal to the platform layer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/power_notify/power_notify.h"

namespace qv::platform {

class PowerQueue final : public PowerMessageQueue {
  public:
    PowerQueue(uint32_t maxMessages, uint32_t maxMessageBytes);
    ~PowerQueue() override;

    bool Read(void* buffer, uint32_t size, uint32_t* bytesRead, uint32_t milliseconds) override;

    // Queues `message` (cut to the message size). `handled` runs once the
    // reader has dealt with it, which is when the reader comes back for the
    // next message; also when the queue refuses the message (full, or the
    // writer has ended) or ends before it was read. Never under the queue's lock.
    void Write(std::string message, std::function<void()> handled = {});

    // No more messages: a pending or later read fails once the queue is empty.
    void EndWriter();

  private:
    struct Entry {
        std::string message;
        std::function<void()> handled;
    };

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Entry> m_messages;
    std::function<void()> m_beingHandled;  // of the message the reader took last
    bool m_writerEnded = false;
    const uint32_t m_maxMessages;
    const uint32_t m_maxMessageBytes;
};

// A feed that writes into a subscription's queue; destroying it stops it.
class PowerSource {
  public:
    virtual ~PowerSource() = default;
};

// systemd-logind's PrepareForSleep on the system bus, holding a delay
// inhibitor lock for sleep. Null, with a line on the debug output, when the
// bus cannot be reached or the signal cannot be subscribed to.
std::unique_ptr<PowerSource> StartLogindPowerSource(PowerQueue& queue);

}  // namespace qv::platform

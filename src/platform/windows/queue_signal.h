// A descriptor that is readable exactly while a thread's message queue holds
// something, so that a main loop (poll, GLib, Qt, asyncio) can watch the
// queue. Internal to the window stand-in, which keeps it in step under its
// own lock.
#pragma once

namespace qv::platform {

class QueueSignal {
  public:
    QueueSignal() = default;
    ~QueueSignal();
    QueueSignal(const QueueSignal&) = delete;
    QueueSignal& operator=(const QueueSignal&) = delete;

    // The descriptor, made on first use; -1 (errno set) when none can be had.
    // `pending`: whether the queue holds something now.
    int Descriptor(bool pending);
    // Readable when `pending`, else not. Cheap when nothing changes, and a
    // no-op until someone asked for the descriptor.
    void Follow(bool pending);

  private:
    int m_fd = -1;
    bool m_raised = false;
};

}  // namespace qv::platform

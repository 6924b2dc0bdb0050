#include <algorithm>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/core/clock.h"
#include "platform/keyboard/keyboard.h"
#include "platform/windows/message.h"
#include "platform/windows/message_record.h"
#include "platform/windows/queue_signal.h"
#include "platform/windows/window.h"
#include "platform/windows/window_standin.h"

namespace qv::platform {
namespace {

using Clock = std::chrono::steady_clock;

struct ThreadQueue;

// A message sent to another thread's window, waiting for that thread.
struct PendingSend {
    uintptr_t window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    std::shared_ptr<ThreadQueue> sender;
    intptr_t result = 0;
    bool done = false;
};

// A posted message, with the text its lParam points at when the queue owns one.
struct Queued {
    Message message;
    std::unique_ptr<char16_t[]> text;
};

struct ThreadQueue {
    std::deque<Queued> posted;
    // The text of the message the thread took last: kept until it takes the
    // next one, so its handler may read lParam for as long as it runs.
    std::unique_ptr<char16_t[]> takenText;
    // Posted messages that own a text, for the quota.
    size_t waitingTexts = 0;
    std::deque<std::shared_ptr<PendingSend>> sent;
    // Signalled for a new posted or sent message, and for the reply to a
    // message this thread sent.
    std::condition_variable cv;
    // Modifier state as the thread has taken its key messages, so that
    // translation sees Shift held for the keys typed while it was down.
    bool shift = false;
    bool control = false;
    // Inside WaitHandlingSentMessages, so WakeMessageWaiters reaches it.
    bool waitingOnCondition = false;
    // The descriptor of QVPlatformGetMessageDescriptor, kept readable while
    // anything is queued: call Changed() after every change to the queues.
    QueueSignal signal;

    bool Pending() const { return !posted.empty() || !sent.empty(); }
    void Changed() { signal.Follow(Pending()); }
};

struct WindowRecord {
    std::u16string className;
    WindowProc proc;
    void* userData;
    std::thread::id owner;
    std::shared_ptr<ThreadQueue> queue;
    bool destroying = false;
};

struct Desktop {
    std::mutex mutex;
    std::map<uintptr_t, WindowRecord> windows;  // handles grow, so this is creation order
    std::unordered_map<std::thread::id, std::shared_ptr<ThreadQueue>> queues;
    uintptr_t nextHandle = 0x10010;
    uintptr_t foreground = 0;
};

// Never destroyed: threads may still end (and release their windows) while
// the process exits.
Desktop& TheDesktop() {
    static Desktop* desktop = new Desktop;
    return *desktop;
}

uintptr_t Id(QVHWND window) {
    return reinterpret_cast<uintptr_t>(window);
}
QVHWND Handle(uintptr_t id) {
    return reinterpret_cast<QVHWND>(id);
}
constexpr uintptr_t kBroadcast = 0xFFFF;

void ReleaseThread();

struct ThreadExit {
    ~ThreadExit() { ReleaseThread(); }
};

// The calling thread's queue, created on first use. Needs the desktop lock.
std::shared_ptr<ThreadQueue> QueueOfThisThread(Desktop& desktop) {
    thread_local ThreadExit exitGuard;
    (void)exitGuard;
    auto& queue = desktop.queues[std::this_thread::get_id()];
    if (!queue) queue = std::make_shared<ThreadQueue>();
    return queue;
}

void Complete(PendingSend& send, intptr_t result) {
    send.result = result;
    send.done = true;
    send.sender->cv.notify_all();
}

// Drops what is queued for a window that is going away. Needs the lock.
void ForgetWindow(Desktop& desktop, uintptr_t id, ThreadQueue& queue) {
    std::erase_if(queue.posted, [id, &queue](const Queued& q) {
        if (Id(q.message.hwnd) != id) return false;
        if (q.text) --queue.waitingTexts;
        return true;
    });
    std::erase_if(queue.sent, [id](const std::shared_ptr<PendingSend>& s) {
        if (s->window != id) return false;
        Complete(*s, 0);
        return true;
    });
    queue.Changed();
    if (desktop.foreground == id) desktop.foreground = 0;
    desktop.windows.erase(id);
}

// A thread that ends takes its windows and its queue with it; whoever waits
// on one of its windows gets 0.
void ReleaseThread() {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    const auto self = std::this_thread::get_id();
    auto it = desktop.queues.find(self);
    if (it == desktop.queues.end()) return;
    std::shared_ptr<ThreadQueue> queue = it->second;
    std::vector<uintptr_t> owned;
    for (const auto& [id, record] : desktop.windows) {
        if (record.owner == self) owned.push_back(id);
    }
    for (uintptr_t id : owned)
        ForgetWindow(desktop, id, *queue);
    for (auto& send : queue->sent)
        Complete(*send, 0);
    queue->sent.clear();
    queue->Changed();
    desktop.queues.erase(it);
}

// Handles the messages other threads sent to this thread's windows. Takes
// and gives back the lock around each procedure call.
void HandleSentMessages(Desktop& desktop, std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
    while (!queue.sent.empty()) {
        std::shared_ptr<PendingSend> send = queue.sent.front();
        queue.sent.pop_front();
        queue.Changed();
        auto it = desktop.windows.find(send->window);
        if (it == desktop.windows.end()) {
            Complete(*send, 0);
            continue;
        }
        const WindowProc proc = it->second.proc;
        lock.unlock();
        const intptr_t result =
            proc(Handle(send->window), send->message, send->wParam, send->lParam);
        lock.lock();
        Complete(*send, result);
    }
}

bool Matches(const Message& m, uintptr_t filter) {
    return filter == 0 || Id(m.hwnd) == filter || m.message == QV_WM_QUIT;
}

void TrackModifiers(ThreadQueue& queue, const Message& m) {
    if (m.message != QV_WM_KEYDOWN && m.message != QV_WM_KEYUP) return;
    const bool down = m.message == QV_WM_KEYDOWN;
    switch (m.wParam) {
        case 0x10:
        case 0xA0:
        case 0xA1:
            queue.shift = down;
            break;
        case 0x11:
        case 0xA2:
        case 0xA3:
            queue.control = down;
            break;
        default:
            break;
    }
}

// Needs the lock.
bool TakeMessage(ThreadQueue& queue, Message* msg, uintptr_t filter, bool remove) {
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (!Matches(it->message, filter)) continue;
        if (msg != nullptr) *msg = it->message;
        if (remove) {
            TrackModifiers(queue, it->message);
            if (it->text) --queue.waitingTexts;
            // Taking a message ends the life of the previous one's text.
            queue.takenText = std::move(it->text);
            queue.posted.erase(it);
            queue.Changed();
        }
        return true;
    }
    return false;
}

void Enqueue(ThreadQueue& queue, const Message& m, std::unique_ptr<char16_t[]> text = nullptr) {
    if (text) ++queue.waitingTexts;
    queue.posted.push_back(Queued{m, std::move(text)});
    queue.Changed();
    queue.cv.notify_all();
}

Message MakeMessage(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return Message{Handle(window), message, wParam, lParam, GetTickCount()};
}

// Sends to one window; false when a window of another thread did not take
// the message before `deadline`, which then withdraws it.
bool SendToOne(Desktop& desktop, uintptr_t id, uint32_t message, uintptr_t wParam, intptr_t lParam,
               Clock::time_point deadline, intptr_t* result) {
    *result = 0;
    std::unique_lock lock(desktop.mutex);
    auto it = desktop.windows.find(id);
    if (it == desktop.windows.end()) return true;
    if (it->second.owner == std::this_thread::get_id()) {
        const WindowProc proc = it->second.proc;
        lock.unlock();
        *result = proc(Handle(id), message, wParam, lParam);
        return true;
    }
    std::shared_ptr<ThreadQueue> self = QueueOfThisThread(desktop);
    std::shared_ptr<ThreadQueue> target = it->second.queue;
    auto send = std::make_shared<PendingSend>(PendingSend{id, message, wParam, lParam, self});
    target->sent.push_back(send);
    target->Changed();
    target->cv.notify_all();
    // While waiting, handle what is sent to this thread, so two threads
    // sending to each other never deadlock.
    while (!send->done) {
        if (!self->sent.empty()) {
            HandleSentMessages(desktop, lock, *self);
            continue;
        }
        if (deadline == Clock::time_point::max()) {
            self->cv.wait(lock);
        } else if (self->cv.wait_until(lock, deadline) == std::cv_status::timeout && !send->done) {
            // Not taken yet: withdrawn. Being handled: its result is dropped.
            std::erase(target->sent, send);
            target->Changed();
            return false;
        }
    }
    *result = send->result;
    return true;
}

bool Send(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam, uint32_t milliseconds,
          intptr_t* result) {
    Desktop& desktop = TheDesktop();
    const uintptr_t id = Id(window);
    char line[128];
    std::snprintf(line, sizeof line, "send 0x%" PRIXPTR " 0x%04X %" PRIuPTR " %" PRIdPTR, id,
                  message, wParam, lParam);
    RecordEffect(line);
    intptr_t ignored = 0;
    if (result == nullptr) result = &ignored;
    if (id != kBroadcast) {
        return SendToOne(desktop, id, message, wParam, lParam, DeadlineAfter(milliseconds), result);
    }
    std::vector<uintptr_t> all;
    {
        std::lock_guard lock(desktop.mutex);
        for (const auto& entry : desktop.windows)
            all.push_back(entry.first);
    }
    bool everyOne = true;
    for (uintptr_t each : all) {
        everyOne &= SendToOne(desktop, each, message, wParam, lParam, DeadlineAfter(milliseconds),
                              &ignored);
    }
    *result = 0;
    return everyOne;
}

// Recorded under the lock, so the line comes before anything the receiver
// does about the message.
void RecordPost(uintptr_t id, uint32_t message, uintptr_t wParam, intptr_t lParam, bool posted) {
    char line[128];
    std::snprintf(line, sizeof line, "post 0x%" PRIXPTR " 0x%04X %" PRIuPTR " 0x%" PRIXPTR " %d",
                  id, message, wParam, static_cast<uintptr_t>(lParam), posted ? 1 : 0);
    RecordEffect(line);
}

bool WaitUntil(Clock::time_point deadline) {
    Desktop& desktop = TheDesktop();
    std::unique_lock lock(desktop.mutex);
    std::shared_ptr<ThreadQueue> queue = QueueOfThisThread(desktop);
    while (queue->posted.empty() && queue->sent.empty()) {
        if (deadline == Clock::time_point::max()) {
            queue->cv.wait(lock);
        } else if (queue->cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            return !queue->posted.empty() || !queue->sent.empty();
        }
    }
    return true;
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i];
        char16_t y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 0x20);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 0x20);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

QVHWND CreateWindow(std::u16string_view className, WindowProc proc, void* userData) {
    if (proc == nullptr) return nullptr;
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    std::shared_ptr<ThreadQueue> queue = QueueOfThisThread(desktop);
    const uintptr_t id = desktop.nextHandle;
    desktop.nextHandle += 0x10;
    desktop.windows.emplace(id, WindowRecord{std::u16string(className), proc, userData,
                                             std::this_thread::get_id(), queue});
    if (desktop.foreground == 0) desktop.foreground = id;
    return Handle(id);
}

bool DestroyWindow(QVHWND window) {
    Desktop& desktop = TheDesktop();
    std::unique_lock lock(desktop.mutex);
    auto it = desktop.windows.find(Id(window));
    if (it == desktop.windows.end() || it->second.owner != std::this_thread::get_id() ||
        it->second.destroying) {
        return false;
    }
    it->second.destroying = true;
    const WindowProc proc = it->second.proc;
    lock.unlock();
    proc(window, QV_WM_DESTROY, 0, 0);
    lock.lock();
    it = desktop.windows.find(Id(window));
    if (it != desktop.windows.end()) {
        std::shared_ptr<ThreadQueue> queue = it->second.queue;
        ForgetWindow(desktop, Id(window), *queue);
    }
    return true;
}

bool IsWindow(QVHWND window) {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    return desktop.windows.contains(Id(window));
}

void* GetWindowUserData(QVHWND window) {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    auto it = desktop.windows.find(Id(window));
    return it == desktop.windows.end() ? nullptr : it->second.userData;
}

QVHWND FindWindow(std::u16string_view className) {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    for (const auto& [id, record] : desktop.windows) {
        if (EqualsIgnoringCase(record.className, className)) return Handle(id);
    }
    return nullptr;
}

QVHWND GetForegroundWindow() {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    return Handle(desktop.foreground);
}

bool SetForegroundWindow(QVHWND window) {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    if (!desktop.windows.contains(Id(window))) return false;
    desktop.foreground = Id(window);
    return true;
}

intptr_t DefWindowProc(QVHWND, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

bool PostMessage(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    const uintptr_t id = Id(window);
    bool posted = true;
    if (id == 0) {
        Enqueue(*QueueOfThisThread(desktop), MakeMessage(0, message, wParam, lParam));
    } else if (id == kBroadcast) {
        for (auto& [each, record] : desktop.windows) {
            Enqueue(*record.queue, MakeMessage(each, message, wParam, lParam));
        }
    } else if (auto it = desktop.windows.find(id); it != desktop.windows.end()) {
        Enqueue(*it->second.queue, MakeMessage(id, message, wParam, lParam));
    } else {
        posted = false;
    }
    RecordPost(id, message, wParam, lParam, posted);
    return posted;
}

bool PostMessageWithText(QVHWND window, uint32_t message, uintptr_t wParam,
                         std::u16string_view text) {
    auto copy = std::make_unique_for_overwrite<char16_t[]>(text.size() + 1);
    std::copy(text.begin(), text.end(), copy.get());
    copy[text.size()] = u'\0';
    const auto lParam = reinterpret_cast<intptr_t>(copy.get());
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    const uintptr_t id = Id(window);
    auto it = desktop.windows.find(id);
    const bool posted =
        it != desktop.windows.end() && it->second.queue->waitingTexts < kMaxWaitingTexts;
    if (posted)
        Enqueue(*it->second.queue, MakeMessage(id, message, wParam, lParam), std::move(copy));
    RecordPost(id, message, wParam, lParam, posted);
    return posted;
}

intptr_t SendMessage(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    intptr_t result = 0;
    Send(window, message, wParam, lParam, kInfinite, &result);
    return result;
}

bool SendMessageTimeout(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                        uint32_t milliseconds, intptr_t* result) {
    return Send(window, message, wParam, lParam, milliseconds, result);
}

void PostQuitMessage(int32_t exitCode) {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    Enqueue(*QueueOfThisThread(desktop),
            MakeMessage(0, QV_WM_QUIT, static_cast<uintptr_t>(exitCode), 0));
}

bool PeekMessage(Message* msg, QVHWND filter, bool remove) {
    Desktop& desktop = TheDesktop();
    std::unique_lock lock(desktop.mutex);
    std::shared_ptr<ThreadQueue> queue = QueueOfThisThread(desktop);
    HandleSentMessages(desktop, lock, *queue);
    return TakeMessage(*queue, msg, Id(filter), remove);
}

int32_t GetMessage(Message* msg, QVHWND filter) {
    Desktop& desktop = TheDesktop();
    std::unique_lock lock(desktop.mutex);
    if (filter != nullptr && !desktop.windows.contains(Id(filter))) return -1;
    std::shared_ptr<ThreadQueue> queue = QueueOfThisThread(desktop);
    Message taken{};
    for (;;) {
        HandleSentMessages(desktop, lock, *queue);
        if (TakeMessage(*queue, &taken, Id(filter), true)) break;
        queue->cv.wait(lock);
    }
    if (msg != nullptr) *msg = taken;
    return taken.message == QV_WM_QUIT ? 0 : 1;
}

bool TranslateMessage(const Message& msg) {
    if (msg.message != QV_WM_KEYDOWN || msg.hwnd == nullptr) return false;
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    std::shared_ptr<ThreadQueue> queue = QueueOfThisThread(desktop);
    const char16_t ch = KeyToChar(static_cast<uint8_t>(msg.wParam), queue->shift, queue->control);
    if (ch == 0) return false;
    // The character comes next, ahead of the key-up already queued.
    queue->posted.push_front(
        Queued{Message{msg.hwnd, QV_WM_CHAR, ch, msg.lParam, GetTickCount()}, nullptr});
    queue->Changed();
    queue->cv.notify_all();
    return true;
}

intptr_t DispatchMessage(const Message& msg) {
    if (msg.hwnd == nullptr) return 0;
    Desktop& desktop = TheDesktop();
    std::unique_lock lock(desktop.mutex);
    auto it = desktop.windows.find(Id(msg.hwnd));
    // A window's procedure runs only on its own thread.
    if (it == desktop.windows.end() || it->second.owner != std::this_thread::get_id()) return 0;
    const WindowProc proc = it->second.proc;
    lock.unlock();
    return proc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

int MessageDescriptor() {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    std::shared_ptr<ThreadQueue> queue = QueueOfThisThread(desktop);
    return queue->signal.Descriptor(queue->Pending());
}

bool WaitForMessages(uint32_t milliseconds) {
    return WaitUntil(DeadlineAfter(milliseconds));
}

bool PumpMessagesFor(uint32_t milliseconds) {
    const Clock::time_point deadline = DeadlineAfter(milliseconds);
    for (;;) {
        Message msg{};
        while (PeekMessage(&msg, nullptr, true)) {
            if (msg.message == QV_WM_QUIT) {
                PostQuitMessage(static_cast<int32_t>(msg.wParam));
                return false;
            }
            TranslateMessage(msg);
            DispatchMessage(msg);
        }
        if (Clock::now() >= deadline) return true;
        WaitUntil(deadline);
    }
}

bool WaitHandlingSentMessages(const std::function<bool()>& ready, uint32_t milliseconds) {
    const Clock::time_point deadline = DeadlineAfter(milliseconds);
    Desktop& desktop = TheDesktop();
    std::unique_lock lock(desktop.mutex);
    std::shared_ptr<ThreadQueue> queue = QueueOfThisThread(desktop);
    // A procedure run from here may wait the same way; the outer wait keeps its mark.
    const bool outer = queue->waitingOnCondition;
    queue->waitingOnCondition = true;
    bool held = false;
    for (;;) {
        HandleSentMessages(desktop, lock, *queue);
        // Tested under the lock, so a wake that follows a change is not lost.
        if ((held = ready())) break;
        if (!queue->sent.empty()) continue;
        if (deadline == Clock::time_point::max()) {
            queue->cv.wait(lock);
        } else if (queue->cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            HandleSentMessages(desktop, lock, *queue);
            held = ready();
            break;
        }
    }
    queue->waitingOnCondition = outer;
    return held;
}

void WakeMessageWaiters() {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    for (auto& [id, queue] : desktop.queues) {
        if (queue->waitingOnCondition) queue->cv.notify_all();
    }
}

void QueueKeyMessage(uint8_t virtualKey, uint8_t scanCode, bool up) {
    Desktop& desktop = TheDesktop();
    std::lock_guard lock(desktop.mutex);
    auto it = desktop.windows.find(desktop.foreground);
    if (it == desktop.windows.end()) return;
    // Repeat count 1, the scan code, and for a release the previous-state
    // and transition bits.
    uintptr_t bits = 1u | (static_cast<uintptr_t>(scanCode) << 16);
    if (up) bits |= 0xC0000000u;
    Enqueue(*it->second.queue, MakeMessage(it->first, up ? QV_WM_KEYUP : QV_WM_KEYDOWN, virtualKey,
                                           static_cast<intptr_t>(bits)));
}

}  // namespace qv::platform

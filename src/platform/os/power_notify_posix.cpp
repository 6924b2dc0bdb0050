#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/configuration.h"
#include "platform/debug_output.h"
#include "platform/power_notify.h"

namespace qv::platform {
namespace {

class Queue final : public PowerMessageQueue {
  public:
    Queue(uint32_t maxMessages, uint32_t maxMessageBytes)
        : m_maxMessages(maxMessages), m_maxMessageBytes(maxMessageBytes) {}

    bool Read(void* buffer, uint32_t size, uint32_t* bytesRead, uint32_t milliseconds) override {
        std::unique_lock lock(m_mutex);
        const auto deadline = DeadlineAfter(milliseconds);
        while (m_messages.empty() && !m_writerEnded) {
            if (deadline == std::chrono::steady_clock::time_point::max()) {
                m_cv.wait(lock);
            } else if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout) {
                break;
            }
        }
        if (m_messages.empty()) return false;
        const std::string message = std::move(m_messages.front());
        m_messages.pop_front();
        const uint32_t n = std::min<uint32_t>(size, static_cast<uint32_t>(message.size()));
        if (buffer != nullptr && n > 0) std::memcpy(buffer, message.data(), n);
        if (bytesRead != nullptr) *bytesRead = n;
        return true;
    }

    // A full queue refuses the message, as a writer to a full queue would see.
    void Write(std::string message) {
        {
            std::lock_guard lock(m_mutex);
            if (m_writerEnded || m_messages.size() >= m_maxMessages) return;
            if (message.size() > m_maxMessageBytes) message.resize(m_maxMessageBytes);
            m_messages.push_back(std::move(message));
        }
        m_cv.notify_one();
    }

    void EndWriter() {
        {
            std::lock_guard lock(m_mutex);
            m_writerEnded = true;
        }
        m_cv.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::string> m_messages;
    bool m_writerEnded = false;
    const uint32_t m_maxMessages;
    const uint32_t m_maxMessageBytes;
};

class Subscription;

// Never destroyed: a watcher of an engine whose open failed may still be
// subscribed while the process exits.
std::mutex& g_subscriptionsMutex = *new std::mutex;
std::vector<Subscription*>& g_subscriptions = *new std::vector<Subscription*>;

bool ReadAll(int fd, void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

class Subscription final : public PowerNotifications {
  public:
    explicit Subscription(Queue* queue) : m_queue(queue) {
        std::lock_guard lock(g_subscriptionsMutex);
        g_subscriptions.push_back(this);
    }

    ~Subscription() override { Stop(); }

    bool Connect(const std::string& path) {
        m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_socket < 0) return false;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof(address.sun_path)) return false;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            return false;
        }
        m_pump = std::thread([this] { Pump(); });
        return true;
    }

    void Deliver(const std::string& message) { m_queue->Write(message); }

    bool Stop() override {
        std::lock_guard stopLock(m_stopMutex);
        if (m_stopped) return true;
        m_stopped = true;
        {
            std::lock_guard lock(g_subscriptionsMutex);
            std::erase(g_subscriptions, this);
        }
        if (m_socket >= 0) {
            ::shutdown(m_socket, SHUT_RDWR);  // ends the pump's pending recv
            if (m_pump.joinable()) m_pump.join();
            ::close(m_socket);
            m_socket = -1;
        }
        m_queue->EndWriter();
        return true;
    }

  private:
    void Pump() {
        for (;;) {
            uint8_t header[4];
            if (!ReadAll(m_socket, header, sizeof header)) break;
            const uint32_t length = header[0] | (header[1] << 8) | (header[2] << 16) |
                                    (static_cast<uint32_t>(header[3]) << 24);
            // A peer may announce any length; read it in bounded pieces and keep the start.
            std::string message;
            uint32_t left = length;
            char chunk[1024];
            bool ok = true;
            while (left > 0) {
                const uint32_t n = std::min<uint32_t>(left, sizeof chunk);
                if (!ReadAll(m_socket, chunk, n)) {
                    ok = false;
                    break;
                }
                if (message.size() < 4096) message.append(chunk, n);
                left -= n;
            }
            if (!ok) break;
            m_queue->Write(std::move(message));
        }
    }

    Queue* const m_queue;
    int m_socket = -1;
    std::thread m_pump;
    std::mutex m_stopMutex;
    bool m_stopped = false;
};

}  // namespace

std::unique_ptr<PowerMessageQueue> PowerMessageQueue::Create(uint32_t maxMessages,
                                                             uint32_t maxMessageBytes) {
    if (maxMessages == 0 || maxMessageBytes == 0) return nullptr;
    return std::make_unique<Queue>(maxMessages, maxMessageBytes);
}

std::unique_ptr<PowerNotifications> PowerNotifications::Request(PowerMessageQueue* queue,
                                                                uint32_t /*mask*/) {
    auto* impl = dynamic_cast<Queue*>(queue);
    if (impl == nullptr) return nullptr;
    auto subscription = std::make_unique<Subscription>(impl);
    // As read when the imager was opened, not on the watcher's thread.
    const std::string value = CurrentConfiguration()->powerNotify;
    if (!value.empty()) {
        if (value.rfind("unix:", 0) != 0 || !subscription->Connect(value.substr(5))) {
            DebugOutputUtf8("power notifications: cannot subscribe through QV_POWER_NOTIFY=" +
                            value + ": " + std::strerror(errno) + "\n");
            return nullptr;
        }
    }
    return subscription;
}

void InjectPowerNotification(uint32_t kind, uint32_t flags, std::u16string_view stateName) {
    const std::string message = EncodePowerBroadcast(kind, flags, stateName);
    std::lock_guard lock(g_subscriptionsMutex);
    for (Subscription* s : g_subscriptions)
        s->Deliver(message);
}

std::string EncodePowerBroadcast(uint32_t kind, uint32_t flags, std::u16string_view stateName) {
    std::string out;
    auto put32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put32(kind);
    put32(flags);
    put32(static_cast<uint32_t>(stateName.size() * 2));
    for (char16_t c : stateName) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

}  // namespace qv::platform

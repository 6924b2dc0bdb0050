#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/clock.h"
#include "platform/core/configuration.h"
#include "platform/log/debug_output.h"
#include "platform/power_notify/power_notify.h"
#include "platform/power_notify/power_queue.h"

namespace qv::platform {
namespace {

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
    explicit Subscription(PowerQueue* queue) : m_queue(queue) {
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
        m_source.reset();  // no feed may write once the writer has ended
        if (m_socket >= 0) {
            ::shutdown(m_socket, SHUT_RDWR);  // ends the pump's pending recv
            if (m_pump.joinable()) m_pump.join();
            ::close(m_socket);
            m_socket = -1;
        }
        m_queue->EndWriter();
        return true;
    }

    void Attach(std::unique_ptr<PowerSource> source) { m_source = std::move(source); }

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

    PowerQueue* const m_queue;
    int m_socket = -1;
    std::thread m_pump;
    std::unique_ptr<PowerSource> m_source;
    std::mutex m_stopMutex;
    bool m_stopped = false;
};

}  // namespace

std::unique_ptr<PowerMessageQueue> PowerMessageQueue::Create(uint32_t maxMessages,
                                                             uint32_t maxMessageBytes) {
    if (maxMessages == 0 || maxMessageBytes == 0) return nullptr;
    return std::make_unique<PowerQueue>(maxMessages, maxMessageBytes);
}

std::unique_ptr<PowerNotifications> PowerNotifications::Request(PowerMessageQueue* queue,
                                                                uint32_t /*mask*/) {
    auto* impl = dynamic_cast<PowerQueue*>(queue);
    if (impl == nullptr) return nullptr;
    auto subscription = std::make_unique<Subscription>(impl);
    // As read when the imager was opened, not on the watcher's thread.
    const std::string value = CurrentConfiguration()->powerNotify;
    if (!value.empty()) {
        if (value == "logind") {
            // The source says why it failed.
            auto source = StartLogindPowerSource(*impl);
            if (!source) return nullptr;
            subscription->Attach(std::move(source));
            return subscription;
        }
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

// Suspend and resume from systemd-logind: PrepareForSleep(true) becomes the
// suspend record, PrepareForSleep(false) the on-state record. A delay
// inhibitor lock for sleep keeps the system awake until the watcher has
// dealt with the suspend record (so the engine is marked inactive before the
// system sleeps); it is taken again after the resume, and asked for again at
// a suspend when logind refused it. A lost bus connection is made again, the
// lock with it. Every bus call is asynchronous, so neither an open nor a stop
// waits on a bus that does not answer.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/core/clock.h"
#include "platform/log/debug_output.h"
#include "platform/power_notify/power_queue.h"

namespace qv::platform {
namespace {

constexpr char kLogin1[] = "org.freedesktop.login1";
constexpr char kLogin1Path[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";
constexpr char kLogindOwnerMatch[] =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.freedesktop.login1'";

void Report(const std::string& what, int negativeErrno) {
    DebugOutputUtf8("power notifications: " + what + ": " + std::strerror(-negativeErrno) + "\n");
}

// The lock's file descriptor; closing it releases the lock. Shared with the
// queue's "handled" callbacks, which may run on the watcher's thread.
class Inhibitor {
  public:
    void Hold(int fd) {
        std::lock_guard lock(m_mutex);
        // Already held, the subscription has ended, or granted too late for a
        // suspend the watcher has dealt with (the resume takes it again).
        if (m_fd >= 0 || m_ended || m_asleep) {
            ::close(fd);
            return;
        }
        m_fd = fd;
    }
    // The watcher has dealt with a suspend record: let the system sleep.
    void ReleaseForSleep() {
        std::lock_guard lock(m_mutex);
        m_asleep = true;
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    void Awake() {
        std::lock_guard lock(m_mutex);
        m_asleep = false;
    }
    bool Held() {
        std::lock_guard lock(m_mutex);
        return m_fd >= 0;
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    void End() {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

  private:
    std::mutex m_mutex;
    int m_fd = -1;
    bool m_ended = false;
    bool m_asleep = false;
};

class LogindSource final : public PowerSource {
  public:
    explicit LogindSource(PowerQueue& queue) : m_queue(queue) {}

    ~LogindSource() override {
        if (m_pump.joinable()) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(m_stopFd, &one, sizeof one);
            m_pump.join();
        }
        Disconnect();
        m_inhibitor->End();
        if (m_stopFd >= 0) ::close(m_stopFd);
    }

    bool Start() {
        m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_stopFd < 0) return false;
        if (!Connect()) return false;
        // From here on only the pump thread uses the bus.
        m_pump = std::thread([this] { Pump(); });
        return true;
    }

  private:
    // `report`: say why it failed (once per outage, not at every attempt).
    bool Connect(bool report = true) {
        // Found as libsystemd finds it, DBUS_SYSTEM_BUS_ADDRESS included.
        int r = sd_bus_open_system(&m_bus);
        if (r < 0) {
            if (report) Report("cannot connect to the system bus", r);
            return false;
        }
        r = sd_bus_match_signal_async(m_bus, &m_match, kLogin1, kLogin1Path, kManager,
                                      "PrepareForSleep", &LogindSource::OnPrepareForSleep,
                                      &LogindSource::OnSubscribed, this);
        if (r < 0) {
            if (report) Report("cannot subscribe to logind's PrepareForSleep", r);
            Disconnect();
            return false;
        }
        // A logind that starts after the bus (or again) is asked for the lock anew.
        r = sd_bus_add_match_async(m_bus, &m_ownerMatch, kLogindOwnerMatch,
                                   &LogindSource::OnOwnerChanged, nullptr, this);
        if (r < 0 && report) Report("cannot follow logind's restarts", r);
        TakeInhibitor();
        return true;
    }

    static int OnOwnerChanged(sd_bus_message* message, void* self, sd_bus_error*) {
        auto* source = static_cast<LogindSource*>(self);
        const char *name = nullptr, *before = nullptr, *after = nullptr;
        if (sd_bus_message_read(message, "sss", &name, &before, &after) < 0) return 0;
        if (after == nullptr || *after == '\0') return 0;
        // A lock of a logind that has gone holds nothing.
        source->m_inhibitor->Release();
        source->TakeInhibitor();
        return 0;
    }

    // Without a flush: queued calls are not worth waiting for on a bus that is stuck.
    void Disconnect() {
        m_inhibitCall = sd_bus_slot_unref(m_inhibitCall);
        m_match = sd_bus_slot_unref(m_match);
        m_ownerMatch = sd_bus_slot_unref(m_ownerMatch);
        if (m_bus != nullptr) m_bus = sd_bus_close_unref(m_bus);
    }

    static int OnSubscribed(sd_bus_message* reply, void*, sd_bus_error*) {
        if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
            DebugOutputUtf8(
                std::string("power notifications: cannot subscribe to logind's PrepareForSleep: ") +
                (error->message != nullptr ? error->message : error->name) + "\n");
        }
        return 0;
    }

    // Asynchronous, so a slow logind never holds the pump or a stop.
    void TakeInhibitor() {
        if (m_inhibitor->Held() || m_inhibitCall != nullptr) return;
        const int r =
            sd_bus_call_method_async(m_bus, &m_inhibitCall, kLogin1, kLogin1Path, kManager,
                                     "Inhibit", &LogindSource::OnInhibited, this, "ssss", "sleep",
                                     "RO25 imager", "Marking the imager inactive", "delay");
        if (r < 0) Report("cannot ask logind for a sleep delay lock", r);
    }

    static int OnInhibited(sd_bus_message* reply, void* self, sd_bus_error*) {
        auto* source = static_cast<LogindSource*>(self);
        source->m_inhibitCall = sd_bus_slot_unref(source->m_inhibitCall);
        if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
            DebugOutputUtf8(
                std::string("power notifications: logind refused a sleep delay lock: ") +
                (error->message != nullptr ? error->message : error->name) +
                "; asking again at the next suspend\n");
            return 0;
        }
        int fd = -1;
        const int r = sd_bus_message_read(reply, "h", &fd);
        // The message owns its descriptor; the lock lives in a copy.
        const int copy = r < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (copy < 0) {
            Report("cannot keep logind's sleep delay lock", r < 0 ? r : -errno);
            return 0;
        }
        source->m_inhibitor->Hold(copy);
        return 0;
    }

    static int OnPrepareForSleep(sd_bus_message* message, void* self, sd_bus_error*) {
        auto* source = static_cast<LogindSource*>(self);
        int sleeping = 0;
        if (sd_bus_message_read(message, "b", &sleeping) < 0) return 0;
        if (sleeping != 0) {
            // Refused before: a lock granted now may still hold this suspend
            // until the watcher is done; granted later it is given back.
            source->TakeInhibitor();
            // The lock goes once the watcher is back for its next record,
            // having marked the engine inactive.
            std::shared_ptr<Inhibitor> inhibitor = source->m_inhibitor;
            source->m_queue.Write(
                EncodePowerBroadcast(PBT_TRANSITION, POWER_STATE_SUSPEND, u"suspend"),
                [inhibitor] { inhibitor->ReleaseForSleep(); });
        } else {
            source->m_inhibitor->Awake();
            source->m_queue.Write(
                EncodePowerBroadcast(PBT_TRANSITION, POWER_STATE_ON_BACKLIGHT_PASSWORD, u"on"));
            source->TakeInhibitor();
        }
        return 0;
    }

    // Whatever the bus wants and the stop; false once stopped.
    bool Wait(int timeoutMs) {
        pollfd fds[2] = {{-1, 0, 0}, {m_stopFd, POLLIN, 0}};
        if (m_bus != nullptr) {
            const int events = sd_bus_get_events(m_bus);
            fds[0] = {sd_bus_get_fd(m_bus), static_cast<short>(events < 0 ? 0 : events), 0};
        }
        if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) return false;
        return (fds[1].revents & POLLIN) == 0;
    }

    // Milliseconds until sd-bus wants to run again (-1: only on input).
    int BusTimeoutMs() {
        uint64_t until = UINT64_MAX;
        if (sd_bus_get_timeout(m_bus, &until) < 0 || until == UINT64_MAX) return -1;
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const uint64_t nowUs = static_cast<uint64_t>(now.tv_sec) * 1000000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000u;
        return until <= nowUs ? 0 : static_cast<int>((until - nowUs + 999) / 1000);
    }

    // Waits a growing pause between attempts; false once stopped.
    bool Reconnect() {
        uint32_t pauseMs = kFirstReconnectMs;
        for (;;) {
            const auto pause = std::chrono::ceil<std::chrono::milliseconds>(RealDuration(pauseMs));
            if (!Wait(static_cast<int>(pause.count()))) return false;
            if (Connect(pauseMs == kFirstReconnectMs)) {
                DebugOutputUtf8("power notifications: connected to the system bus again\n");
                return true;
            }
            pauseMs = std::min(pauseMs * 2, kLastReconnectMs);
        }
    }

    void Pump() {
        for (;;) {
            int r = 0;
            do {
                r = sd_bus_process(m_bus, nullptr);
            } while (r > 0);
            if (r < 0) {
                Report("the system bus connection ended", r);
                // The lock went with the connection in logind's eyes; drop
                // ours so the new connection asks afresh.
                Disconnect();
                m_inhibitor->Release();
                if (!Reconnect()) return;
                continue;
            }
            if (!Wait(BusTimeoutMs())) return;
        }
    }

    static constexpr uint32_t kFirstReconnectMs = 250;
    static constexpr uint32_t kLastReconnectMs = 8000;

    PowerQueue& m_queue;
    std::shared_ptr<Inhibitor> m_inhibitor = std::make_shared<Inhibitor>();
    sd_bus* m_bus = nullptr;
    sd_bus_slot* m_match = nullptr;
    sd_bus_slot* m_ownerMatch = nullptr;
    sd_bus_slot* m_inhibitCall = nullptr;
    int m_stopFd = -1;
    std::thread m_pump;
};

}  // namespace

std::unique_ptr<PowerSource> StartLogindPowerSource(PowerQueue& queue) {
    auto source = std::make_unique<LogindSource>(queue);
    if (!source->Start()) return nullptr;
    return source;
}

}  // namespace qv::platform

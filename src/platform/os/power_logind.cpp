// Suspend and resume from systemd-logind: PrepareForSleep(true) becomes the
// suspend record, PrepareForSleep(false) the on-state record. A delay
// inhibitor lock for sleep keeps the system awake until the watcher has
// dealt with the suspend record (so the engine is marked inactive before the
// system sleeps); it is taken again after the resume.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/debug_output.h"
#include "platform/os/power_queue.h"

namespace qv::platform {
namespace {

constexpr char kLogin1[] = "org.freedesktop.login1";
constexpr char kLogin1Path[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";

void Report(const std::string& what, int negativeErrno) {
    DebugOutputUtf8("power notifications: " + what + ": " + std::strerror(-negativeErrno) + "\n");
}

// The lock's file descriptor; closing it releases the lock. Shared with the
// queue's "handled" callbacks, which may run on the watcher's thread.
class Inhibitor {
  public:
    void Hold(int fd) {
        std::lock_guard lock(m_mutex);
        if (m_fd >= 0 || m_ended) {
            ::close(fd);  // already held, or the subscription has ended
            return;
        }
        m_fd = fd;
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
        sd_bus_slot_unref(m_inhibitCall);
        sd_bus_slot_unref(m_match);
        if (m_bus != nullptr) sd_bus_flush_close_unref(m_bus);
        m_inhibitor->End();
        if (m_stopFd >= 0) ::close(m_stopFd);
    }

    bool Start() {
        m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_stopFd < 0) return false;
        // Found as libsystemd finds it, DBUS_SYSTEM_BUS_ADDRESS included.
        int r = sd_bus_open_system(&m_bus);
        if (r < 0) {
            Report("cannot connect to the system bus", r);
            return false;
        }
        r = sd_bus_match_signal(m_bus, &m_match, kLogin1, kLogin1Path, kManager, "PrepareForSleep",
                                &LogindSource::OnPrepareForSleep, this);
        if (r < 0) {
            Report("cannot subscribe to logind's PrepareForSleep", r);
            return false;
        }
        TakeInhibitor();
        // From here on only the pump thread uses the bus.
        m_pump = std::thread([this] { Pump(); });
        return true;
    }

  private:
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
                (error->message != nullptr ? error->message : error->name) + "\n");
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
            // The lock goes once the watcher is back for its next record,
            // having marked the engine inactive.
            std::shared_ptr<Inhibitor> inhibitor = source->m_inhibitor;
            source->m_queue.Write(
                EncodePowerBroadcast(PBT_TRANSITION, POWER_STATE_SUSPEND, u"suspend"),
                [inhibitor] { inhibitor->Release(); });
        } else {
            source->m_queue.Write(
                EncodePowerBroadcast(PBT_TRANSITION, POWER_STATE_ON_BACKLIGHT_PASSWORD, u"on"));
            source->TakeInhibitor();
        }
        return 0;
    }

    void Pump() {
        for (;;) {
            int r = 0;
            do {
                r = sd_bus_process(m_bus, nullptr);
            } while (r > 0);
            if (r < 0) {
                Report("the system bus connection ended", r);
                return;
            }
            uint64_t until = UINT64_MAX;
            int timeoutMs = -1;
            if (sd_bus_get_timeout(m_bus, &until) >= 0 && until != UINT64_MAX) {
                timespec now{};
                ::clock_gettime(CLOCK_MONOTONIC, &now);
                const uint64_t nowUs = static_cast<uint64_t>(now.tv_sec) * 1000000u +
                                       static_cast<uint64_t>(now.tv_nsec) / 1000u;
                timeoutMs = until <= nowUs ? 0 : static_cast<int>((until - nowUs + 999) / 1000);
            }
            const int events = sd_bus_get_events(m_bus);
            pollfd fds[2] = {{sd_bus_get_fd(m_bus), static_cast<short>(events < 0 ? 0 : events), 0},
                             {m_stopFd, POLLIN, 0}};
            if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) return;
            if ((fds[1].revents & POLLIN) != 0) return;
        }
    }

    PowerQueue& m_queue;
    std::shared_ptr<Inhibitor> m_inhibitor = std::make_shared<Inhibitor>();
    sd_bus* m_bus = nullptr;
    sd_bus_slot* m_match = nullptr;
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

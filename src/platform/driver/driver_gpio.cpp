// Every libgpiod call of the library is in this file (the 1.6 API), so that
// moving to the 2.x API touches nothing else.
#include "platform/driver/driver_gpio.h"

#include <gpiod.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/driver/driver_common.h"
#include "platform/driver/gpio_binding.h"

namespace qv::platform {
namespace {

const char* RoleName(GpioRole role) {
    switch (role) {
        case GpioRole::Power:
            return "power";
        case GpioRole::Trigger:
            return "trigger";
        case GpioRole::Wake:
            return "wake";
        case GpioRole::Status:
            return "status";
    }
    return "?";
}

// "<program>[<pid>]", cut to what the kernel keeps.
std::string DefaultConsumer() {
    const std::string pid = "[" + std::to_string(::getpid()) + "]";
    std::string name = program_invocation_short_name;
    if (name.empty()) name = "qvimager";
    name = name.substr(0, kGpioConsumerMax - pid.size());
    return name + pid;
}

class GpioLines;

// The handles open in this process, so that an exit with the imager still
// open takes back what they drove: the engine object is never destroyed at
// exit, and a released output keeps its level on most GPIO controllers.
struct OpenLines {
    std::mutex mutex;
    std::set<GpioLines*> lines;
    bool exitHookSet = false;
};
OpenLines& LinesOpen() {
    static OpenLines& open = *new OpenLines;  // outlives every exit handler
    return open;
}
void ReleaseAtExit();

class GpioLines final : public DriverHandle {
  public:
    GpioLines(std::string device, gpiod_chip* chip) : m_device(std::move(device)), m_chip(chip) {}
    // Closing the chip releases its lines: whatever this handle drove active
    // is driven inactive first.
    ~GpioLines() override {
        {
            std::lock_guard lock(LinesOpen().mutex);
            LinesOpen().lines.erase(this);
        }
        {
            std::lock_guard lock(m_mutex);
            DriveInactive();
        }
        gpiod_chip_close(m_chip);
    }
    GpioLines(const GpioLines&) = delete;
    GpioLines& operator=(const GpioLines&) = delete;

    bool Take(const GpioBinding& binding) {
        std::string consumer = binding.consumer.empty() ? DefaultConsumer() : binding.consumer;
        const std::array<std::pair<GpioRole, const GpioLineRef*>, 4> wanted = {{
            {GpioRole::Power, &binding.power},
            {GpioRole::Trigger, &binding.trigger},
            {GpioRole::Wake, &binding.wake},
            {GpioRole::Status, binding.status ? &*binding.status : nullptr},
        }};
        // Every line is held before any is driven: an open that fails on a
        // busy line has switched nothing.
        for (const auto& [role, ref] : wanted) {
            if (ref == nullptr) continue;
            gpiod_line* line = Find(role, *ref);
            if (line == nullptr) return false;
            gpiod_line_request_config config{};
            config.consumer = consumer.c_str();
            config.request_type = role == GpioRole::Status ? GPIOD_LINE_REQUEST_DIRECTION_INPUT
                                                           : GPIOD_LINE_REQUEST_DIRECTION_AS_IS;
            config.flags = ref->activeLow ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW : 0;
            if (gpiod_line_request(line, &config, 0) != 0) {
                Refused(role, line, errno);
                return false;
            }
            m_lines[static_cast<size_t>(role)] = line;
        }
        for (const GpioRole role : {GpioRole::Power, GpioRole::Trigger, GpioRole::Wake}) {
            gpiod_line* line = m_lines[static_cast<size_t>(role)];
            const int level = gpiod_line_get_value(line);
            const int flags = wanted[static_cast<size_t>(role)].second->activeLow
                                  ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW
                                  : 0;
            if (level < 0 || gpiod_line_set_config(line, GPIOD_LINE_REQUEST_DIRECTION_OUTPUT, flags,
                                                   level) != 0) {
                DiagnoseDriver(m_device, Where(role, line) +
                                             ": cannot make it an output: " + std::strerror(errno));
                return false;
            }
        }
        if (!StatusAgreesWithPower()) return false;
        std::lock_guard lock(LinesOpen().mutex);
        LinesOpen().lines.insert(this);
        if (!LinesOpen().exitHookSet) LinesOpen().exitHookSet = std::atexit(ReleaseAtExit) == 0;
        return true;
    }

    // At exit: the lines are driven as at release, and nothing drives them after.
    void ReleaseForExit() {
        std::lock_guard lock(m_mutex);
        DriveInactive();
        m_released = true;
    }

    bool Lost() const override { return m_lost.load(); }

    int32_t IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize) override {
        if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) return 0;
        const GpioAction action =
            DecodeGpioRequest(code, std::span(static_cast<const uint8_t*>(in), inSize),
                              std::span(static_cast<const uint8_t*>(out), outSize));
        std::lock_guard lock(m_mutex);
        if (m_released) return 0;
        switch (action.kind) {
            case GpioAction::Kind::Invalid:
                return 0;
            case GpioAction::Kind::Set: {
                gpiod_line* line = m_lines[static_cast<size_t>(action.role)];
                if (gpiod_line_set_value(line, action.level ? 1 : 0) != 0) {
                    Failed(action.role, line, "set");
                    return 0;
                }
                m_active[static_cast<size_t>(action.role)] = action.level;
                return 1;
            }
            case GpioAction::Kind::Read: {
                // Without a status input, power reads as it was last set.
                GpioRole role = action.role;
                if (role == GpioRole::Power && m_lines[static_cast<size_t>(GpioRole::Status)]) {
                    role = GpioRole::Status;
                }
                gpiod_line* line = m_lines[static_cast<size_t>(role)];
                const int level = gpiod_line_get_value(line);
                if (level < 0) {
                    Failed(role, line, "read");
                    return 0;
                }
                const auto reply = GpioReadReply(action, level != 0);
                std::memcpy(out, reply.data(), reply.size());
                return 1;
            }
        }
        return 0;
    }

  private:
    // A status input that reads on while the power output is off, before
    // anything was switched, is almost always wired or declared the other
    // way round; an open that went on would believe an unpowered engine on.
    bool StatusAgreesWithPower() {
        gpiod_line* status = m_lines[static_cast<size_t>(GpioRole::Status)];
        if (status == nullptr) return true;
        gpiod_line* power = m_lines[static_cast<size_t>(GpioRole::Power)];
        const int supply = gpiod_line_get_value(status);
        const int output = gpiod_line_get_value(power);
        if (supply < 0 || output < 0) {
            DiagnoseDriver(m_device, Where(supply < 0 ? GpioRole::Status : GpioRole::Power,
                                           supply < 0 ? status : power) +
                                         " cannot be read: " + std::strerror(errno));
            return false;
        }
        if (supply == 0 || output != 0) return true;
        DiagnoseDriver(m_device, Where(GpioRole::Status, status) +
                                     " reads on while the power output is off, before anything "
                                     "was switched: likely a polarity mistake (add or drop :low "
                                     "on status=)");
        return false;
    }

    // Power first, then the trigger and wake lines. A released trigger is
    // taken back only from an engine that is off: a press would start a
    // decode on an engine someone else keeps powered.
    void DriveInactive() {
        // A child forked after the open shares the lines; they stay the opener's.
        if (::getpid() != m_opener) return;
        for (const GpioRole role : {GpioRole::Power, GpioRole::Trigger, GpioRole::Wake}) {
            const auto index = static_cast<size_t>(role);
            if (!m_active[index]) continue;
            if (role != GpioRole::Power &&
                gpiod_line_get_value(m_lines[static_cast<size_t>(GpioRole::Power)]) != 0) {
                continue;
            }
            if (gpiod_line_set_value(m_lines[index], 0) == 0) m_active[index] = false;
        }
    }

    gpiod_line* Find(GpioRole role, const GpioLineRef& ref) {
        const std::string chip = gpiod_chip_name(m_chip);
        if (ref.offset) {
            if (*ref.offset < gpiod_chip_num_lines(m_chip)) {
                if (gpiod_line* line = gpiod_chip_get_line(m_chip, *ref.offset)) return line;
            }
            DiagnoseDriver(m_device, chip + " has no line " + std::to_string(*ref.offset) +
                                         " (it has " +
                                         std::to_string(gpiod_chip_num_lines(m_chip)) + ") for " +
                                         RoleName(role));
            return nullptr;
        }
        if (gpiod_line* line = gpiod_chip_find_line(m_chip, ref.name.c_str())) return line;
        DiagnoseDriver(m_device,
                       chip + " has no line named \"" + ref.name + "\" for " + RoleName(role));
        return nullptr;
    }

    std::string Where(GpioRole role, gpiod_line* line) const {
        return "line " + std::to_string(gpiod_line_offset(line)) + " of " +
               gpiod_chip_name(m_chip) + " (" + RoleName(role) + ")";
    }

    void Refused(GpioRole role, gpiod_line* line, int error) {
        if (error == EBUSY) {
            gpiod_line_update(line);
            const char* holder = gpiod_line_consumer(line);
            DiagnoseDriver(m_device, Where(role, line) + " is held by " +
                                         (holder != nullptr && *holder != '\0'
                                              ? std::string(holder)
                                              : std::string("an opener that gave no name")) +
                                         "; the lines have one opener at a time");
            return;
        }
        DiagnoseDriver(m_device,
                       Where(role, line) + " cannot be requested: " + std::strerror(error));
    }

    // Said once: a line that fails keeps failing, and a poll would repeat it.
    void Failed(GpioRole role, gpiod_line* line, const char* what) {
        const int error = errno;
        // The chip was removed (unbound, unplugged, its module unloaded).
        if (error == ENODEV || error == ENXIO) m_lost = true;
        if (m_failureSaid) return;
        m_failureSaid = true;
        DiagnoseDriver(m_device,
                       Where(role, line) + " could not be " + what + ": " + std::strerror(error));
    }

    const std::string m_device;
    gpiod_chip* const m_chip;
    std::array<gpiod_line*, 4> m_lines{};  // indexed by GpioRole
    // Outputs this handle drove active and has not driven inactive since.
    std::array<bool, 4> m_active{};
    std::mutex m_mutex;
    bool m_failureSaid = false;
    bool m_released = false;
    std::atomic<bool> m_lost{false};
    const pid_t m_opener = ::getpid();
};

void ReleaseAtExit() {
    std::lock_guard lock(LinesOpen().mutex);
    for (GpioLines* lines : LinesOpen().lines)
        lines->ReleaseForExit();
}

}  // namespace

std::unique_ptr<DriverHandle> OpenGpioDriver(const std::string& device, std::string_view value) {
    const GpioBindingParse parsed = ParseGpioBinding(value);
    if (!parsed.binding) {
        DiagnoseDriver(device, "gpio:" + std::string(value) + ": " + parsed.error);
        return nullptr;
    }
    const GpioBinding& binding = *parsed.binding;
    gpiod_chip* chip = gpiod_chip_open_lookup(binding.chip.c_str());
    if (chip == nullptr) {
        const int error = errno;
        DiagnoseDriver(device, "no GPIO chip \"" + binding.chip +
                                   "\" (by name, label, number or path): " + std::strerror(error));
        return nullptr;
    }
    auto lines = std::make_unique<GpioLines>(device, chip);
    if (!lines->Take(binding)) return nullptr;
    return lines;
}

}  // namespace qv::platform

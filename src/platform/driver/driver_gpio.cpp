// The GPIO driver above the line access: roles, what was driven, the exit
// hook and every cause it reports, the same whichever libgpiod API is built.
#include "platform/driver/driver_gpio.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>

#include "platform/driver/driver_common.h"
#include "platform/driver/gpio_binding.h"
#include "platform/driver/gpio_lines.h"

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
    GpioLines(std::string device, std::unique_ptr<GpioChipLines> chip)
        : m_device(std::move(device)), m_chip(std::move(chip)) {}
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
            const std::optional<unsigned> offset = Find(role, *ref);
            if (!offset) return false;
            const auto slot = static_cast<size_t>(role);
            m_offsets[slot] = *offset;
            if (!m_chip->Request(slot, *offset, consumer, role == GpioRole::Status,
                                 ref->activeLow)) {
                Refused(role, errno);
                return false;
            }
            m_held[slot] = true;
        }
        for (const GpioRole role : {GpioRole::Power, GpioRole::Trigger, GpioRole::Wake}) {
            const auto slot = static_cast<size_t>(role);
            const int level = m_chip->Get(slot);
            if (level < 0 || !m_chip->MakeOutput(slot, wanted[slot].second->activeLow, level)) {
                DiagnoseDriver(m_device,
                               Where(role) + ": cannot make it an output: " + std::strerror(errno));
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
                if (!m_chip->Set(static_cast<size_t>(action.role), action.level ? 1 : 0)) {
                    Failed(action.role, "set");
                    return 0;
                }
                m_active[static_cast<size_t>(action.role)] = action.level;
                return 1;
            }
            case GpioAction::Kind::Read: {
                // Without a status input, power reads as it was last set.
                GpioRole role = action.role;
                if (role == GpioRole::Power && m_held[static_cast<size_t>(GpioRole::Status)]) {
                    role = GpioRole::Status;
                }
                const int level = m_chip->Get(static_cast<size_t>(role));
                if (level < 0) {
                    Failed(role, "read");
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
        if (!m_held[static_cast<size_t>(GpioRole::Status)]) return true;
        const int supply = m_chip->Get(static_cast<size_t>(GpioRole::Status));
        const int output = m_chip->Get(static_cast<size_t>(GpioRole::Power));
        if (supply < 0 || output < 0) {
            DiagnoseDriver(m_device, Where(supply < 0 ? GpioRole::Status : GpioRole::Power) +
                                         " cannot be read: " + std::strerror(errno));
            return false;
        }
        if (supply == 0 || output != 0) return true;
        DiagnoseDriver(m_device, Where(GpioRole::Status) +
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
            if (role != GpioRole::Power && m_chip->Get(static_cast<size_t>(GpioRole::Power)) != 0) {
                continue;
            }
            if (m_chip->Set(index, 0)) m_active[index] = false;
        }
    }

    std::optional<unsigned> Find(GpioRole role, const GpioLineRef& ref) {
        const std::string chip = m_chip->Name();
        if (ref.offset) {
            if (*ref.offset < m_chip->LineCount()) return *ref.offset;
            DiagnoseDriver(m_device, chip + " has no line " + std::to_string(*ref.offset) +
                                         " (it has " + std::to_string(m_chip->LineCount()) +
                                         ") for " + RoleName(role));
            return std::nullopt;
        }
        if (const auto offset = m_chip->FindLine(ref.name)) return offset;
        DiagnoseDriver(m_device,
                       chip + " has no line named \"" + ref.name + "\" for " + RoleName(role));
        return std::nullopt;
    }

    std::string Where(GpioRole role) const {
        return "line " + std::to_string(m_offsets[static_cast<size_t>(role)]) + " of " +
               m_chip->Name() + " (" + RoleName(role) + ")";
    }

    void Refused(GpioRole role, int error) {
        if (error == EBUSY) {
            const std::string holder = m_chip->Holder(m_offsets[static_cast<size_t>(role)]);
            DiagnoseDriver(
                m_device,
                Where(role) + " is held by " +
                    (!holder.empty() ? holder : std::string("an opener that gave no name")) +
                    "; the lines have one opener at a time");
            return;
        }
        DiagnoseDriver(m_device, Where(role) + " cannot be requested: " + std::strerror(error));
    }

    // Said once: a line that fails keeps failing, and a poll would repeat it.
    void Failed(GpioRole role, const char* what) {
        const int error = errno;
        // The chip was removed (unbound, unplugged, its module unloaded).
        if (error == ENODEV || error == ENXIO) m_lost = true;
        if (m_failureSaid) return;
        m_failureSaid = true;
        DiagnoseDriver(m_device,
                       Where(role) + " could not be " + what + ": " + std::strerror(error));
    }

    const std::string m_device;
    const std::unique_ptr<GpioChipLines> m_chip;
    // Indexed by GpioRole: each line's offset, and whether it is held.
    std::array<unsigned, GpioChipLines::kSlots> m_offsets{};
    std::array<bool, GpioChipLines::kSlots> m_held{};
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
    std::unique_ptr<GpioChipLines> chip = OpenGpioChip(binding.chip);
    if (!chip) {
        const int error = errno;
        DiagnoseDriver(device, "no GPIO chip \"" + binding.chip +
                                   "\" (by name, label, number or path): " + std::strerror(error));
        return nullptr;
    }
    auto lines = std::make_unique<GpioLines>(device, std::move(chip));
    if (!lines->Take(binding)) return nullptr;
    return lines;
}

}  // namespace qv::platform

// Every libgpiod call of the library is in this file (the 1.6 API), so that
// moving to the 2.x API touches nothing else.
#include "platform/driver/driver_gpio.h"

#include <gpiod.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

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

class GpioLines final : public DriverHandle {
  public:
    GpioLines(std::string device, gpiod_chip* chip) : m_device(std::move(device)), m_chip(chip) {}
    // Closing the chip releases its lines; an output keeps its level.
    ~GpioLines() override { gpiod_chip_close(m_chip); }
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
        return true;
    }

    int32_t IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize) override {
        if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) return 0;
        const GpioAction action =
            DecodeGpioRequest(code, std::span(static_cast<const uint8_t*>(in), inSize),
                              std::span(static_cast<const uint8_t*>(out), outSize));
        std::lock_guard lock(m_mutex);
        switch (action.kind) {
            case GpioAction::Kind::Invalid:
                return 0;
            case GpioAction::Kind::Set: {
                gpiod_line* line = m_lines[static_cast<size_t>(action.role)];
                if (gpiod_line_set_value(line, action.level ? 1 : 0) != 0) {
                    Failed(action.role, line, "set");
                    return 0;
                }
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
        if (m_failureSaid) return;
        m_failureSaid = true;
        DiagnoseDriver(m_device,
                       Where(role, line) + " could not be " + what + ": " + std::strerror(error));
    }

    const std::string m_device;
    gpiod_chip* const m_chip;
    std::array<gpiod_line*, 4> m_lines{};  // indexed by GpioRole
    std::mutex m_mutex;
    bool m_failureSaid = false;
};

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

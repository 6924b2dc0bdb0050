#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/core/configuration.h"
#include "platform/driver/device_driver.h"
#include "platform/driver/driver_common.h"
#include "platform/driver/driver_gpio.h"
#include "platform/driver/driver_socket.h"

namespace qv::platform {

namespace {

std::mutex g_driversMutex;
std::map<std::string, std::shared_ptr<DeviceDriver>, std::less<>>& Drivers() {
    // Never destroyed, like the claims: a close at process exit still
    // gives its handle back.
    static auto& drivers = *new std::map<std::string, std::shared_ptr<DeviceDriver>, std::less<>>;
    return drivers;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// "BAR1:" -> "BAR1".
std::string BareName(std::string_view device) {
    std::string name = UpperAscii(device);
    if (!name.empty() && name.back() == ':') name.pop_back();
    return name;
}

// The driver's one opener in this process. Released when the handle goes.
std::mutex g_openMutex;
std::set<std::string>& OpenDevices() {
    static auto& open = *new std::set<std::string>;
    return open;
}

class Claim {
  public:
    explicit Claim(std::string key) : m_key(std::move(key)) {}
    ~Claim() {
        if (m_key.empty()) return;
        std::lock_guard lock(g_openMutex);
        OpenDevices().erase(m_key);
    }
    Claim(Claim&& other) noexcept : m_key(std::move(other.m_key)) { other.m_key.clear(); }
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;

    // Empty when another handle of this process holds the device.
    static std::optional<Claim> Take(const std::string& key) {
        std::lock_guard lock(g_openMutex);
        if (!OpenDevices().insert(key).second) return std::nullopt;
        return Claim(key);
    }

  private:
    std::string m_key;
};

// QV_DRIVER_<NAME>=none: the engine's lines are nobody's to switch (an engine
// powered all the time). Every request succeeds; a read answers 1, so power
// reads as on through either interface: a 4-byte value, or the level of an
// 8-byte line record whose identifier is kept.
class NoLinesHandle final : public DriverHandle {
  public:
    int32_t IoControl(uint32_t, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize) override {
        if (!ValidBuffers(in, inSize, out, outSize)) return 0;
        auto* bytes = static_cast<uint8_t*>(out);
        if (outSize == 4) {
            const uint8_t one[4] = {1, 0, 0, 0};
            std::memcpy(bytes, one, 4);
        } else if (outSize == 8) {
            const uint8_t one[4] = {1, 0, 0, 0};
            std::memcpy(bytes + 4, one, 4);
        }
        return 1;
    }
    bool SwitchesLines() const override { return false; }
};

class InProcessHandle final : public DriverHandle {
  public:
    explicit InProcessHandle(std::shared_ptr<DeviceDriver> driver) : m_driver(std::move(driver)) {}

    int32_t IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize) override {
        if (!ValidBuffers(in, inSize, out, outSize)) return 0;
        const auto* inBytes = static_cast<const uint8_t*>(in);
        auto* outBytes = static_cast<uint8_t*>(out);
        // The driver works on a copy, so that only the bytes it reports reach
        // the caller, as over the socket.
        std::vector<uint8_t> scratch(outBytes, outBytes + outSize);
        std::lock_guard lock(m_mutex);
        uint32_t returned = 0;
        int32_t result = 0;
        try {
            result = m_driver->IoControl(code, std::span<const uint8_t>(inBytes, inSize),
                                         std::span<uint8_t>(scratch), &returned);
        } catch (...) {
            return 0;
        }
        if (returned > outSize) return 0;
        if (returned > 0) std::memcpy(outBytes, scratch.data(), returned);
        return result;
    }
    bool Lost() const override { return m_driver->Lost(); }

  private:
    std::shared_ptr<DeviceDriver> m_driver;
    std::mutex m_mutex;
};

// A handle that holds the claim on its device for as long as it lives.
class ClaimedHandle final : public DriverHandle {
  public:
    ClaimedHandle(Claim claim, std::unique_ptr<DriverHandle> inner)
        : m_inner(std::move(inner)), m_claim(std::move(claim)) {}
    int32_t IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize) override {
        return m_inner->IoControl(code, in, inSize, out, outSize);
    }
    bool SwitchesLines() const override { return m_inner->SwitchesLines(); }
    bool Lost() const override { return m_inner->Lost(); }

  private:
    std::unique_ptr<DriverHandle> m_inner;
    Claim m_claim;  // released after the handle is closed
};

}  // namespace

void RegisterDriver(std::string_view device, std::shared_ptr<DeviceDriver> driver) {
    std::lock_guard lock(g_driversMutex);
    auto& drivers = Drivers();
    const std::string key = UpperAscii(device);
    if (driver == nullptr) {
        drivers.erase(key);
    } else {
        drivers[key] = std::move(driver);
    }
}

void UnregisterDriver(std::string_view device) {
    std::lock_guard lock(g_driversMutex);
    Drivers().erase(UpperAscii(device));
}

std::unique_ptr<DriverHandle> DriverHandle::Open(std::string_view device) {
    const std::string name(device);
    const std::string variable = "QV_DRIVER_" + BareName(device);
    std::optional<Claim> claim = Claim::Take(BareName(device));
    if (!claim) {
        DiagnoseDriver(name, "is already open in this process; it has one opener at a time", EBUSY);
        return nullptr;
    }
    std::unique_ptr<DriverHandle> handle;
    if (const auto binding = ReadEnvironment(variable.c_str())) {
        const std::string_view value(*binding);
        constexpr std::string_view kUnix = "unix:";
        constexpr std::string_view kGpio = "gpio:";
        if (value == "none") {
            NoteDriver(name, variable +
                                 "=none: the engine's lines are not switched by this library; "
                                 "power reads as on, trigger and wake requests do nothing");
            handle = std::make_unique<NoLinesHandle>();
        } else if (value.substr(0, kUnix.size()) == kUnix) {
            handle = Connect(name, value.substr(kUnix.size()));
        } else if (value.substr(0, kGpio.size()) == kGpio) {
            handle = OpenGpioDriver(name, value.substr(kGpio.size()));
        } else {
            DiagnoseDriver(name,
                           variable + " is none of: empty, none, unix:<path>, gpio:<chip>:<lines>",
                           EINVAL);
        }
    } else {
        std::shared_ptr<DeviceDriver> driver;
        {
            std::lock_guard lock(g_driversMutex);
            const auto it = Drivers().find(UpperAscii(device));
            if (it != Drivers().end()) driver = it->second;
        }
        if (driver == nullptr) {
            DiagnoseDriver(
                name, "has no driver: none registered in this process and " + variable + " not set",
                ENODEV);
        } else {
            handle = std::make_unique<InProcessHandle>(std::move(driver));
        }
    }
    if (handle == nullptr) return nullptr;
    return std::make_unique<ClaimedHandle>(std::move(*claim), std::move(handle));
}

}  // namespace qv::platform

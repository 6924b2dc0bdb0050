// The RO25 engine and its "BAR1:" driver, running: the engine model on the
// master side of a pseudo-terminal, the driver model served in-process and
// on a Unix socket, and a Unix socket that sends power notifications. One
// I/O thread does all the waiting; the models stay pure logic behind a lock.
//
// Timing follows the platform clock, so tests that scale it scale the
// simulator too.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/driver/device_driver.h"
#include "sim/driver_model.h"
#include "sim/engine_model.h"

namespace qv::sim {

class Simulator {
  public:
    struct Options {
        EngineSettings engine;
        std::string socketDir;     // empty: a fresh private directory, removed at Stop
        bool driverSocket = true;  // serve "BAR1:" on <dir>/bar1.sock
        bool powerSocket = true;   // serve notifications on <dir>/power.sock
        // Registers "BAR1:" in this process; one simulator at a time, since
        // Stop unregisters the name.
        bool registerDriver = true;
    };

    Simulator();
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Start(std::string* error = nullptr);
    void Stop();

    std::string SlavePath() const;
    std::string DriverSocketPath() const;
    std::string PowerSocketPath() const;
    // "QV_PORT_COM2=...", "QV_DRIVER_BAR1=unix:...", "QV_POWER_NOTIFY=unix:...".
    std::vector<std::string> EnvironmentLines() const;

    // The engine.
    bool QueueBarcode(int symbology, std::string_view text, std::string* error = nullptr);
    void ClearBarcodes();
    size_t QueuedBarcodes() const;
    EngineSettings Settings() const;
    void SetSettings(const EngineSettings& settings);
    void SetDecodeTime(uint32_t ms);
    void SetAckResendTime(uint32_t ms);
    void SetVersions(std::string firmware, std::string boot, std::string hardware);
    Faults GetFaults() const;
    void SetFaults(const Faults& faults);
    bool SendEventNotification(std::span<const uint8_t> payload = {});
    std::optional<uint16_t> Parameter(uint8_t group, uint8_t parameter) const;
    bool SetParameter(uint8_t group, uint8_t parameter, uint16_t value);
    std::vector<Entry> Parameters() const;
    std::vector<Pair> UnknownPairs() const;
    bool Awake() const;

    // The driver.
    LineLevels Lines() const;
    void DropSupply();
    DriverReply DriverRequest(uint32_t code, std::span<const uint8_t> in,
                              std::span<const uint8_t> out);
    std::shared_ptr<platform::DeviceDriver> Driver() const;

    // Power notifications to every connected listener; the count reached.
    // A suspend also cuts the engine's supply, as the handheld's sleep does.
    size_t Suspend(bool cutSupply = true);
    size_t Resume();
    size_t PowerListeners() const;

    // Observation. The sink gets one line per frame either way and per
    // event; it runs on the simulator's threads and must not call back in.
    void SetTraceSink(std::function<void(const std::string&)> sink);
    // Every run of bytes on the line: the engine's right after it was
    // written, the host's as it was read. For measurements that need the
    // moment a frame left the engine. Runs on whichever thread moved the
    // bytes, with the simulator's lock held: it must be quick and must not
    // call back in.
    using LineHook = std::function<void(Direction, std::span<const uint8_t>)>;
    void SetLineHook(LineHook hook);
    size_t CountReceived(uint8_t type) const;
    size_t CountSent(uint8_t type) const;
    // True once `count` frames of `type` have come from the host.
    bool WaitForReceived(uint8_t type, size_t count, uint32_t timeoutMs) const;
    bool WaitForSent(uint8_t type, size_t count, uint32_t timeoutMs) const;
    // The latest frames from the host (at most 256), oldest first.
    std::vector<Frame> Received() const;
    std::optional<Frame> LastReceived(uint8_t type) const;

  private:
    struct Io;
    class DriverAdapter;

    void Run();
    void ServeDriverClient(int fd, std::vector<uint8_t>& buffer, bool& keep);
    size_t Broadcast(std::vector<uint8_t> message);
    // Runs the model up to now and writes what is due; needs m_mutex.
    void PumpLocked(uint32_t now);
    void NoteLocked(Note note);
    // Tells the sink what was noted; called with m_mutex held in `lock`.
    void Flush(std::unique_lock<std::mutex>& lock);
    void LinesChangedLocked(uint32_t now);

    Options m_options;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    EngineModel m_engine;
    DriverModel m_driver;
    std::vector<Note> m_pending;  // noted, not yet told
    std::vector<Frame> m_received;
    std::map<uint8_t, size_t> m_receivedCount;
    std::map<uint8_t, size_t> m_sentCount;
    LineHook m_lineHook;

    std::mutex m_traceMutex;  // keeps lines in order; taken after m_mutex
    std::function<void(const std::string&)> m_sink;

    std::shared_ptr<DriverAdapter> m_driverAdapter;
    std::unique_ptr<Io> m_io;
};

}  // namespace qv::sim

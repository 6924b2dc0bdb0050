// One use of the imager by this program: the environment the library reads
// (device, registry, debug output), the embedded engine when no device is
// configured, and the imager opened and, whatever happens, closed again.
#pragma once

#include <memory>
#include <string>

#include "embedded_engine.h"
#include "engine_watch.h"

namespace qv::cli {

struct SessionSetup {
    bool trace = false;
    bool log = false;
    // The demo: the embedded engine even when a device is configured, and a
    // state directory of its own (demo/ in the user's).
    bool embeddedOnly = false;
};

class ImagerSession {
  public:
    // Throws CommandFailed when the embedded engine cannot be started.
    explicit ImagerSession(const SessionSetup& setup);
    // Closes the imager if it is open.
    ~ImagerSession();
    ImagerSession(const ImagerSession&) = delete;
    ImagerSession& operator=(const ImagerSession&) = delete;

    bool Embedded() const { return m_engine != nullptr; }
    // Where the library keeps the settings files and, unless QV_REGISTRY
    // names another, its registry; empty when there is no home directory.
    const std::string& StateDirectory() const { return m_stateDir; }
    // The outside device's serial line, empty with the embedded engine.
    const std::string& Device() const { return m_device; }
    EngineWatch& Watch() { return *m_watch; }
    // Null with an outside device.
    EmbeddedEngine* Engine() { return m_engine.get(); }

    // Throw ExportFailed when the export returns -1.
    void Open();
    void Close();
    bool IsOpen() const { return m_open; }

  private:
    std::string m_stateDir;
    std::string m_device;
    // Before the engine, so that it sees the engine's last words.
    std::unique_ptr<EngineWatch> m_watch;
    std::unique_ptr<EmbeddedEngine> m_engine;
    bool m_open = false;
};

}  // namespace qv::cli

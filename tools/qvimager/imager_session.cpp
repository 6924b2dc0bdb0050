#include "imager_session.h"

#include "QVPlatform.h"
#include "QV_Rizoviv2I_RO25.h"
#include "export_check.h"
#include "os/process.h"
#include "output.h"

namespace qv::cli {
namespace {

// The settings files go to the user's state directory: beside the program
// (/usr/bin once installed) a user cannot write. The library's registry is
// there by default too (registry.reg). A directory that cannot be made is
// not fatal here: reading works without it, and a save that fails is
// reported by the command that saves.
// The demo, which changes settings on its simulator, keeps its own under
// demo/, so that it never alters what a real engine is given.
std::string PrepareStateDirectory(bool demo) {
    std::string dir = os::StateDirectory();
    if (dir.empty()) return dir;
    if (demo) {
        dir += "/demo";
        if (!os::GetEnv("QV_REGISTRY")) os::SetEnv("QV_REGISTRY", dir + "/registry.reg");
    }
    os::CreateDirectories(dir);
    QVPlatformSetApplicationDirectory(dir.c_str());
    return dir;
}

}  // namespace

ImagerSession::ImagerSession(const SessionSetup& setup)
    : m_stateDir(PrepareStateDirectory(setup.embeddedOnly)) {
    const bool deviceConfigured = os::GetEnv("QV_PORT_COM2") || os::GetEnv("QV_DRIVER_BAR1");
    const bool outside = deviceConfigured && !setup.embeddedOnly;
    if (outside) m_device = os::GetEnv("QV_PORT_COM2").value_or("/dev/ttyS1");
    m_watch = std::make_unique<EngineWatch>(setup.log, m_device);
    if (deviceConfigured && setup.embeddedOnly) {
        PrintError(
            "qvimager: using the embedded simulator; QV_PORT_COM2 and QV_DRIVER_BAR1 are "
            "ignored");
    } else if (deviceConfigured) {
        if (setup.trace) {
            PrintError(
                "qvimager: --trace needs the embedded simulator; the device of "
                "QV_PORT_COM2 / QV_DRIVER_BAR1 is used without a trace");
        }
        return;
    }
    m_engine = std::make_unique<EmbeddedEngine>(setup.trace);
    m_engine->Start();
}

ImagerSession::~ImagerSession() {
    if (m_open) QVImagerClose();
    // The engine stops after the imager is closed: the close still talks to it.
    m_engine.reset();
    m_watch.reset();
}

void ImagerSession::Open() {
    m_open = false;
    int32_t opened = -1;
    {
        EngineWatch::Activity opening(*m_watch, m_device.empty()
                                                    ? "opening the imager"
                                                    : "opening the imager on " + m_device);
        opened = QVImagerOpen();
    }
    // Why it failed (the device path, the system's text) comes with the
    // failure: the library keeps it for this thread.
    Check("QVImagerOpen", opened);
    m_open = true;
}

void ImagerSession::Close() {
    if (!m_open) return;
    m_open = false;
    Check("QVImagerClose", QVImagerClose());
}

}  // namespace qv::cli

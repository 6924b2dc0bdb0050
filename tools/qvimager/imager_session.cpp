#include "imager_session.h"

#include "QV_Rizoviv2I_RO25.h"
#include "export_check.h"
#include "os/process.h"
#include "output.h"

namespace qv::cli {
namespace {

void PrepareEnvironment(const SessionSetup& setup) {
    // A registry of the program's own, beside it like the settings files,
    // unless the user names one.
    if (!os::GetEnv("QV_REGISTRY")) {
        os::SetEnv("QV_REGISTRY", os::ExecutableDirectory() + "/qvimager.reg");
    }
    // --log shows the "[RO25]" lines here, wherever the library would send
    // them by default (the journal, when one runs).
    if (!os::GetEnv("QV_DEBUG_OUTPUT")) {
        os::SetEnv("QV_DEBUG_OUTPUT", setup.log ? "stderr" : "/dev/null");
    }
}

}  // namespace

ImagerSession::ImagerSession(const SessionSetup& setup) {
    PrepareEnvironment(setup);
    const bool deviceConfigured = os::GetEnv("QV_PORT_COM2") || os::GetEnv("QV_DRIVER_BAR1");
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
}

void ImagerSession::Open() {
    m_open = false;
    Check("QVImagerOpen", QVImagerOpen());
    m_open = true;
}

void ImagerSession::Close() {
    if (!m_open) return;
    m_open = false;
    Check("QVImagerClose", QVImagerClose());
}

}  // namespace qv::cli

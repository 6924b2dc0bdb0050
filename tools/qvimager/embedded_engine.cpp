#include "embedded_engine.h"

#include "export_check.h"
#include "os/code_page.h"
#include "os/process.h"
#include "output.h"
#include "sim/simulator.h"

namespace qv::cli {

EmbeddedEngine::EmbeddedEngine(bool trace) : m_trace(trace) {}

EmbeddedEngine::~EmbeddedEngine() {
    Stop();
}

void EmbeddedEngine::Start() {
    sim::Simulator::Options options;
    // Everything stays in this process: no socket files to leave behind.
    options.driverSocket = false;
    options.powerSocket = false;
    options.registerDriver = true;
    auto engine = std::make_unique<sim::Simulator>(options);
    if (m_trace) engine->SetTraceSink([](const std::string& line) { PrintLine("trace " + line); });
    std::string error;
    if (!engine->Start(&error)) {
        throw CommandFailed("cannot start the embedded engine simulator: " + error);
    }
    os::SetEnv("QV_PORT_COM2", engine->SlavePath());
    // The in-process driver serves "BAR1:" only while no socket is named.
    os::UnsetEnv("QV_DRIVER_BAR1");
    m_sim = std::move(engine);
}

void EmbeddedEngine::Restart() {
    Stop();
    Start();
}

void EmbeddedEngine::Queue(const BarcodeToQueue& barcode) {
    // The library reads the engine's bytes in this code page.
    const std::string codePage = os::GetEnv("QV_ANSI_CODEPAGE").value_or("CP1252");
    const auto bytes = os::Utf8ToCodePage(barcode.text, codePage);
    if (!bytes) {
        throw CommandFailed("cannot queue " + Quoted(barcode.text) + ": the engine's code page " +
                            codePage + " (QV_ANSI_CODEPAGE) cannot hold it");
    }
    std::string error;
    if (!m_sim || !m_sim->QueueBarcode(barcode.symbology->number, *bytes, &error)) {
        throw CommandFailed("cannot queue the " + std::string(barcode.symbology->title) +
                            " barcode: " + error);
    }
}

void EmbeddedEngine::Stop() {
    if (!m_sim) return;
    m_sim->Stop();
    m_sim->SetTraceSink(nullptr);
    m_sim.reset();
}

}  // namespace qv::cli

// The RO25 engine simulator started inside the program when no device is
// configured: the engine on a pseudo-terminal whose slave becomes
// QV_PORT_COM2, and its "BAR1:" driver registered in this process. Used only
// to start the engine, queue barcodes for it and trace its frames; the
// imager itself is driven through the library's exports.
#pragma once

#include <memory>
#include <string>

#include "command_line.h"

namespace qv::sim {
class Simulator;
}

namespace qv::cli {

class EmbeddedEngine {
  public:
    explicit EmbeddedEngine(bool trace);
    ~EmbeddedEngine();
    EmbeddedEngine(const EmbeddedEngine&) = delete;
    EmbeddedEngine& operator=(const EmbeddedEngine&) = delete;

    // Throws CommandFailed when the engine cannot be started.
    void Start();
    // A new engine at its factory settings, as after a power cycle; the
    // imager must be closed.
    void Restart();
    // Throws CommandFailed for a barcode the engine cannot carry.
    void Queue(const BarcodeToQueue& barcode);

  private:
    void Stop();

    bool m_trace;
    std::unique_ptr<sim::Simulator> m_sim;
};

}  // namespace qv::cli

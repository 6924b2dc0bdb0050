// The engine's end of the serial line: the master side of a pseudo-terminal.
// The host opens the slave side by its path and sets its own line settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace qv::sim::os {

class PtyMaster {
  public:
    // Null (with the reason in `error`) when no pseudo-terminal can be had.
    static std::unique_ptr<PtyMaster> Open(std::string* error);
    ~PtyMaster();
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int Fd() const { return m_master; }
    // What the host has written, without blocking; empty when nothing.
    size_t Read(std::span<uint8_t> buffer);
    // Writes without blocking; returns the count the line took (the rest is
    // lost when nobody drains the slave side).
    size_t Write(std::span<const uint8_t> bytes);

  private:
    PtyMaster(int master, int slaveKeeper, std::string slavePath);

    int m_master;
    int m_slaveKeeper;  // keeps the line up between host sessions
    std::string m_slavePath;
};

}  // namespace qv::sim::os

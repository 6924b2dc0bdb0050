// Standard input for ro25-sim, read a line at a time, together with the
// termination signals, so the program waits in one place and ends cleanly
// (socket files removed) on Ctrl-C or a kill.
#pragma once

#include <string>

namespace qv::sim::os {

class Console {
  public:
    // Blocks SIGINT, SIGTERM and SIGHUP for the whole process: call it
    // before any thread is started.
    Console();
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    enum class Event { Line, EndOfInput, Signal };
    // After EndOfInput it waits for a signal only.
    Event Next(std::string& line);

  private:
    int m_signalFd = -1;
    bool m_inputOpen = true;
    std::string m_held;
};

}  // namespace qv::sim::os

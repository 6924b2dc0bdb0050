// The serial port "COM2:" that the engine is wired to.
#pragma once

namespace qv {

class SerialPort {
  public:
    SerialPort() = default;
    bool IsOpen() const { return false; }
};

}  // namespace qv

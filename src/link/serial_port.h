// The serial port "COM2:" that the engine is wired to: opened with fixed
// line settings, read without blocking, written a whole frame at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/serial/serial_port.h"

namespace qv {

class SerialPort {
  public:
    // The line events the reader waits for: received character, break, error.
    static constexpr uint32_t kEventMask =
        platform::EV_RXCHAR | platform::EV_BREAK | platform::EV_ERR;
    static constexpr uint32_t kPurgeAll = platform::PURGE_TXABORT | platform::PURGE_RXABORT |
                                          platform::PURGE_TXCLEAR | platform::PURGE_RXCLEAR;
    static constexpr uint32_t kQueueSize = 1024;

    SerialPort() = default;
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Stores the line settings used by the next Open; touches no device.
    void Configure(uint8_t port, uint32_t baudRate, uint8_t byteSize, uint8_t stopBits,
                   uint8_t parity);
    bool Open();
    // Writes the configured line state; nonzero on success.
    int32_t ApplyLineSettings();
    // Takes up to `room` of the bytes the driver already holds; with nothing
    // held or no room it purges both queues and returns 0.
    int32_t Read(uint8_t* destination, int32_t room);
    // True when all `length` bytes were written.
    bool WriteComblock(const uint8_t* frame, int32_t length);
    void Purge();
    // Bytes the driver holds, without taking or discarding any.
    int32_t QueuedBytes() const;
    // Releases the reader's wait for line events, drops DTR and purges;
    // true when all three succeeded.
    bool PrepareClose();
    int32_t Close();

    int32_t IsOpen() const { return m_bOpened.load(); }
    // "COM2: (<path>)" as the last open found it, for failure lines.
    const std::string& Name() const { return m_name; }
    // True once the device hung up (a USB adapter unplugged): nothing can
    // be written any more, so commands fail at once instead of at the write.
    bool IsHungUp() const { return m_hComDev && m_hComDev->HungUp(); }
    platform::SerialDevice* GetHandle() const { return m_hComDev.get(); }

  private:
    std::unique_ptr<platform::SerialDevice> m_hComDev;
    std::atomic<int32_t> m_bOpened{0};
    std::string m_name = "COM2:";
    uint8_t m_nPort = 0;
    uint8_t m_byteSize = 0;
    uint8_t m_parity = 0;
    uint8_t m_stopBits = 0;
    uint32_t m_baudRate = 0;
};

}  // namespace qv

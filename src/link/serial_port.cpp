#include "link/serial_port.h"

#include <cerrno>
#include <cstring>

#include "log/write_log.h"
#include "platform/core/clock.h"
#include "platform/core/last_failure.h"

namespace qv {
namespace {

// The device name is fixed; the port number is kept for the record only.
constexpr char kDeviceName[] = "COM2:";

}  // namespace

SerialPort::~SerialPort() {
    if (m_bOpened.load() != 0) Close();
}

void SerialPort::Configure(uint8_t port, uint32_t baudRate, uint8_t byteSize, uint8_t stopBits,
                           uint8_t parity) {
    m_nPort = port;
    m_baudRate = baudRate;
    m_byteSize = byteSize;
    m_stopBits = stopBits;
    m_parity = parity;
}

bool SerialPort::Open() {
    // A port opened twice would leak the first device; start from closed.
    m_bOpened = 0;
    m_hComDev.reset();
    const std::string path = platform::SerialDevice::DevicePath(kDeviceName);
    m_name = path.empty() ? std::string(kDeviceName) : std::string(kDeviceName) + " (" + path + ")";
    m_hComDev = platform::SerialDevice::Open(kDeviceName);
    if (!m_hComDev) return false;
    const int32_t applied = ApplyLineSettings();
    uint32_t errors = 0;
    platform::QueueStatus status;
    (void)m_hComDev->ClearError(&errors, &status);
    (void)m_hComDev->SetMask(kEventMask);
    (void)m_hComDev->SetupQueues(kQueueSize, kQueueSize);
    (void)m_hComDev->Purge(kPurgeAll);
    if (applied != 0) {
        m_bOpened = 1;
        return true;
    }
    m_bOpened = 0;
    m_hComDev.reset();
    platform::SetLastFailure(EIO, m_name + ": the line settings (57600 8N1) were not taken");
    return false;
}

int32_t SerialPort::ApplyLineSettings() {
    int32_t result = 0;
    platform::LineState state;
    if (m_hComDev && m_hComDev->GetState(state)) {
        state.length = 28;
        state.baudRate = m_baudRate;
        state.byteSize = m_byteSize;
        state.parity = m_parity;
        state.stopBits = m_stopBits;
        state.dtrControl = platform::DTR_CONTROL_DISABLE;
        state.rtsControl = platform::RTS_CONTROL_DISABLE;
        // Flow control is the library's to set too: a device left with
        // RTS/CTS by an earlier user would otherwise keep it.
        state.outxCtsFlow = false;
        result = m_hComDev->SetState(state) ? 1 : 0;
    }
    WriteLog(u"SetCommState : %d m_hComDev : %X \r\n", result,
             m_hComDev ? m_hComDev->NativeHandle() : -1);
    return result;
}

int32_t SerialPort::Read(uint8_t* destination, int32_t room) {
    if (!m_hComDev) return 0;
    uint32_t errors = 0;
    platform::QueueStatus status;
    (void)m_hComDev->ClearError(&errors, &status);
    const uint32_t wanted = room > 0 ? std::min(static_cast<uint32_t>(room), status.inQueue) : 0;
    if (wanted == 0) {
        Purge();
        return 0;
    }
    uint32_t read = 0;
    if (!m_hComDev->Read(destination, wanted, &read)) WriteLog(u"Read False\r\n");
    return static_cast<int32_t>(read);
}

bool SerialPort::WriteComblock(const uint8_t* frame, int32_t length) {
    if (length < 0) return false;
    uint32_t written = 0;
    if (m_hComDev) {
        uint32_t errors = 0;
        platform::QueueStatus status;
        (void)m_hComDev->ClearError(&errors, &status);
        (void)m_hComDev->Purge(platform::PURGE_TXCLEAR);
        if (!m_hComDev->Write(frame, static_cast<uint32_t>(length), &written)) {
            const int error = platform::SerialDevice::LastError();
            WriteLog(u"WriteFile : %d \r\n", error);
            platform::SetLastFailure(error != 0 ? error : EIO,
                                     m_name + ": write failed: " + std::strerror(error));
            // Handed over but never sent (the drain timed out): not written.
            return false;
        }
    }
    return written == static_cast<uint32_t>(length);
}

int32_t SerialPort::QueuedBytes() const {
    if (!m_hComDev) return 0;
    uint32_t errors = 0;
    platform::QueueStatus status;
    if (!m_hComDev->ClearError(&errors, &status)) return 0;
    return static_cast<int32_t>(status.inQueue);
}

void SerialPort::Purge() {
    if (m_hComDev) (void)m_hComDev->Purge(kPurgeAll);
}

bool SerialPort::PrepareClose() {
    if (!m_hComDev) return false;
    bool result = true;
    if (!m_hComDev->SetMask(0)) {
        WriteLog(u" PurgeComm  ERR : %d\r\n", platform::SerialDevice::LastError());
        result = false;
    }
    platform::Sleep(1);
    // A device that went away was let go of already: nothing to drop or purge.
    if (m_hComDev->HungUp()) return result;
    // A device without modem lines says so on the platform's own output.
    if (!m_hComDev->ClearDtr()) {
        WriteLog(u" PurgeComm  ERR : %d\r\n", platform::SerialDevice::LastError());
        result = false;
    }
    if (!m_hComDev->Purge(kPurgeAll)) {
        WriteLog(u" PurgeComm  ERR : %d\r\n", platform::SerialDevice::LastError());
        result = false;
    }
    return result;
}

int32_t SerialPort::Close() {
    m_bOpened = 0;
    if (m_hComDev) {
        m_hComDev.reset();
        WriteLog(u"CloseHandle( m_hComDev ) SUCCESS\r\n");
    } else {
        WriteLog(u"CloseHandle( m_hComDev ) FAIL\r\n");
    }
    WriteLog(u"CloseHandle( m_hComDev )\r\n");
    return 1;
}

}  // namespace qv

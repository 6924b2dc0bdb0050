#include "sim/simulator.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "platform/core/clock.h"
#include "sim/os/poller.h"
#include "sim/os/pty.h"
#include "sim/os/unix_socket.h"

namespace qv::sim {
namespace {

constexpr size_t kKeptFrames = 256;
// A driver request larger than this breaks the protocol; the real ones are 8 bytes.
constexpr uint32_t kMaxDriverBuffer = 64 * 1024;

uint32_t ReadU32(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

// The in-process "BAR1:" binding. It outlives the simulator when the
// platform still holds it, so it is detached at Stop and then refuses.
class Simulator::DriverAdapter : public platform::DeviceDriver {
  public:
    explicit DriverAdapter(Simulator* sim) : m_sim(sim) {}
    void Detach() {
        std::lock_guard lock(m_mutex);
        m_sim = nullptr;
    }
    int32_t IoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                      uint32_t* returned) override {
        std::lock_guard lock(m_mutex);
        if (returned != nullptr) *returned = 0;
        if (m_sim == nullptr) return 0;
        const DriverReply reply = m_sim->DriverRequest(code, in, out);
        const size_t n = std::min(reply.returned.size(), out.size());
        std::copy_n(reply.returned.begin(), n, out.begin());
        if (returned != nullptr) *returned = static_cast<uint32_t>(n);
        return reply.result;
    }

  private:
    std::mutex m_mutex;
    Simulator* m_sim;
};

struct Simulator::Io {
    std::unique_ptr<os::PtyMaster> pty;
    os::Poller poller;
    std::unique_ptr<os::UnixListener> driverListener;
    std::unique_ptr<os::UnixListener> powerListener;
    std::map<int, std::vector<uint8_t>> driverClients;  // I/O thread only
    mutable std::mutex powerMutex;
    std::vector<int> powerClients;
    std::string dir;
    bool ownsDir = false;
    bool registered = false;
    std::atomic<bool> stop{false};
    std::thread thread;
};

Simulator::Simulator() : Simulator(Options{}) {}

Simulator::Simulator(Options options)
    : m_options(std::move(options)),
      m_engine(m_options.engine),
      m_driverAdapter(std::make_shared<DriverAdapter>(this)) {}

Simulator::~Simulator() {
    Stop();
    m_driverAdapter->Detach();
}

bool Simulator::Start(std::string* error) {
    if (m_io) return true;
    auto io = std::make_unique<Io>();
    if (!io->poller.Ok()) {
        if (error) *error = "cannot create the wake-up descriptor";
        return false;
    }
    io->pty = os::PtyMaster::Open(error);
    if (!io->pty) return false;
    if (m_options.driverSocket || m_options.powerSocket) {
        io->dir = m_options.socketDir;
        if (io->dir.empty()) {
            io->dir = os::MakePrivateDir("ro25-sim", error);
            if (io->dir.empty()) return false;
            io->ownsDir = true;
        }
        auto failed = [&] {
            if (io->ownsDir) os::RemoveDir(io->dir);
            return false;
        };
        if (m_options.driverSocket) {
            io->driverListener = os::UnixListener::Open(io->dir + "/bar1.sock", error);
            if (!io->driverListener) return failed();
        }
        if (m_options.powerSocket) {
            io->powerListener = os::UnixListener::Open(io->dir + "/power.sock", error);
            if (!io->powerListener) return failed();
        }
    }
    if (m_options.registerDriver) {
        platform::RegisterDriver("BAR1:", m_driverAdapter);
        io->registered = true;
    }
    m_io = std::move(io);
    m_io->thread = std::thread([this] { Run(); });
    return true;
}

void Simulator::Stop() {
    if (!m_io) return;
    if (m_io->registered) platform::UnregisterDriver("BAR1:");
    m_io->stop = true;
    m_io->poller.Wake();
    m_io->thread.join();
    for (auto& [fd, buffer] : m_io->driverClients)
        os::CloseSocket(fd);
    {
        std::lock_guard lock(m_io->powerMutex);
        for (int fd : m_io->powerClients)
            os::CloseSocket(fd);
        m_io->powerClients.clear();
    }
    const std::string dir = m_io->ownsDir ? m_io->dir : std::string();
    m_io.reset();  // closes the line and removes the socket files
    if (!dir.empty()) os::RemoveDir(dir);
}

std::shared_ptr<platform::DeviceDriver> Simulator::Driver() const {
    return m_driverAdapter;
}

std::string Simulator::SlavePath() const {
    return m_io ? m_io->pty->SlavePath() : std::string();
}

std::string Simulator::DriverSocketPath() const {
    return m_io && m_io->driverListener ? m_io->driverListener->Path() : std::string();
}

std::string Simulator::PowerSocketPath() const {
    return m_io && m_io->powerListener ? m_io->powerListener->Path() : std::string();
}

std::vector<std::string> Simulator::EnvironmentLines() const {
    std::vector<std::string> lines;
    if (!m_io) return lines;
    lines.push_back("QV_PORT_COM2=" + SlavePath());
    if (m_io->driverListener) lines.push_back("QV_DRIVER_BAR1=unix:" + DriverSocketPath());
    if (m_io->powerListener) lines.push_back("QV_POWER_NOTIFY=unix:" + PowerSocketPath());
    return lines;
}

void Simulator::Run() {
    std::vector<uint8_t> buffer(4096);
    while (!m_io->stop) {
        std::optional<uint32_t> next;
        {
            std::unique_lock lock(m_mutex);
            const uint32_t now = platform::GetTickCount();
            PumpLocked(now);
            next = m_engine.NextDeadline(now);
            if (next) next = static_cast<uint32_t>(std::max<int32_t>(TickDiff(*next, now), 0));
            Flush(lock);
        }
        // Deadlines are counted from before the model ran, plus one tick so a
        // deadline is never met a fraction early under a scaled clock.
        const auto deadline = next ? platform::DeadlineAfter(*next + 1)
                                   : std::chrono::steady_clock::time_point::max();

        // Reserved first, not started from a braced list: GCC 16 then sees a
        // one-element allocation grow and warns of a write past its end.
        std::vector<int> fds;
        fds.reserve(3 + m_io->driverClients.size());
        fds.push_back(m_io->pty->Fd());
        if (m_io->driverListener) fds.push_back(m_io->driverListener->Fd());
        if (m_io->powerListener) fds.push_back(m_io->powerListener->Fd());
        for (const auto& [fd, pending] : m_io->driverClients)
            fds.push_back(fd);
        {
            std::lock_guard lock(m_io->powerMutex);
            fds.insert(fds.end(), m_io->powerClients.begin(), m_io->powerClients.end());
        }

        for (const os::Poller::Ready& r : m_io->poller.Wait(fds, deadline)) {
            if (r.fd == m_io->pty->Fd()) {
                while (const size_t n = m_io->pty->Read(buffer)) {
                    std::unique_lock lock(m_mutex);
                    if (m_lineHook) m_lineHook(Direction::HostToEngine, std::span(buffer).first(n));
                    m_engine.OnHostBytes(std::span(buffer).first(n), platform::GetTickCount());
                    Flush(lock);
                }
            } else if (m_io->driverListener && r.fd == m_io->driverListener->Fd()) {
                for (int fd; (fd = m_io->driverListener->Accept()) >= 0;) {
                    m_io->driverClients[fd];
                }
            } else if (m_io->powerListener && r.fd == m_io->powerListener->Fd()) {
                for (int fd; (fd = m_io->powerListener->Accept()) >= 0;) {
                    std::lock_guard lock(m_io->powerMutex);
                    m_io->powerClients.push_back(fd);
                }
            } else if (auto it = m_io->driverClients.find(r.fd); it != m_io->driverClients.end()) {
                bool keep = os::ReceiveSome(r.fd, it->second);
                ServeDriverClient(r.fd, it->second, keep);
                if (!keep) {
                    os::CloseSocket(r.fd);
                    m_io->driverClients.erase(it);
                }
            } else {
                // A notification listener only ever closes; what it sends is ignored.
                std::vector<uint8_t> ignored;
                if (!os::ReceiveSome(r.fd, ignored) || (r.hangup && !r.readable)) {
                    std::lock_guard lock(m_io->powerMutex);
                    std::erase(m_io->powerClients, r.fd);
                    os::CloseSocket(r.fd);
                }
            }
        }
    }
}

void Simulator::ServeDriverClient(int fd, std::vector<uint8_t>& buffer, bool& keep) {
    while (keep && buffer.size() >= 12) {
        const uint32_t code = ReadU32(&buffer[0]);
        const uint32_t inSize = ReadU32(&buffer[4]);
        const uint32_t outSize = ReadU32(&buffer[8]);
        if (inSize > kMaxDriverBuffer || outSize > kMaxDriverBuffer) {
            keep = false;  // not a driver client; drop it rather than buffer without end
            return;
        }
        const size_t total = 12 + static_cast<size_t>(inSize) + outSize;
        if (buffer.size() < total) return;
        const std::span<const uint8_t> all(buffer);
        const DriverReply reply =
            DriverRequest(code, all.subspan(12, inSize), all.subspan(12 + inSize, outSize));
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(reply.returned.size(), outSize));
        std::vector<uint8_t> answer;
        AppendU32(answer, static_cast<uint32_t>(reply.result));
        AppendU32(answer, n);
        answer.insert(answer.end(), reply.returned.begin(), reply.returned.begin() + n);
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
        keep = os::SendAll(fd, answer);
    }
}

void Simulator::PumpLocked(uint32_t now) {
    m_engine.Advance(now);
    // What the engine decided comes before the bytes that follow from it.
    for (Note& note : m_engine.TakeNotes())
        NoteLocked(std::move(note));
    for (Chunk& chunk : m_engine.TakeDue(now)) {
        const size_t written = m_io ? m_io->pty->Write(chunk.bytes) : 0;
        if (m_lineHook && written > 0) {
            m_lineHook(Direction::EngineToHost, std::span(chunk.bytes).first(written));
        }
        if (chunk.note) NoteLocked(std::move(*chunk.note));
        if (written < chunk.bytes.size()) {
            NoteLocked({"-- line full: " + std::to_string(chunk.bytes.size() - written) +
                            " bytes lost (is the host reading?)",
                        std::nullopt});
        }
    }
    for (Note& note : m_engine.TakeNotes())
        NoteLocked(std::move(note));
}

void Simulator::NoteLocked(Note note) {
    if (note.frame) {
        if (note.direction == Direction::HostToEngine) {
            ++m_receivedCount[note.frame->type];
            m_received.push_back(*note.frame);
            if (m_received.size() > kKeptFrames) m_received.erase(m_received.begin());
        } else {
            ++m_sentCount[note.frame->type];
        }
        m_changed.notify_all();
    }
    m_pending.push_back(std::move(note));
}

void Simulator::Flush(std::unique_lock<std::mutex>& lock) {
    for (Note& note : m_engine.TakeNotes())
        NoteLocked(std::move(note));
    if (m_pending.empty()) return;
    std::vector<Note> notes = std::exchange(m_pending, {});
    std::unique_lock trace(m_traceMutex);
    lock.unlock();
    if (m_sink) {
        for (const Note& note : notes)
            m_sink(note.text);
    }
    trace.unlock();
    lock.lock();
}

void Simulator::LinesChangedLocked(uint32_t now) {
    m_engine.OnLines(m_driver.Levels(), now);
    PumpLocked(now);
    if (m_io) m_io->poller.Wake();
}

DriverReply Simulator::DriverRequest(uint32_t code, std::span<const uint8_t> in,
                                     std::span<const uint8_t> out) {
    std::unique_lock lock(m_mutex);
    const LineLevels before = m_driver.Levels();
    DriverReply reply = m_driver.Request(code, in, out, m_engine.GetFaults().refuseDriverCodes);
    if (!reply.description.empty()) NoteLocked({"-- " + reply.description, std::nullopt});
    if (!(m_driver.Levels() == before)) LinesChangedLocked(platform::GetTickCount());
    Flush(lock);
    return reply;
}

bool Simulator::QueueBarcode(int symbology, std::string_view text, std::string* error) {
    std::unique_lock lock(m_mutex);
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    if (!m_engine.QueueBarcode(symbology, {bytes, text.size()}, platform::GetTickCount(), error)) {
        return false;
    }
    if (m_io) m_io->poller.Wake();
    return true;
}

void Simulator::ClearBarcodes() {
    std::lock_guard lock(m_mutex);
    m_engine.ClearBarcodes();
}

size_t Simulator::QueuedBarcodes() const {
    std::lock_guard lock(m_mutex);
    return m_engine.Barcodes().size();
}

EngineSettings Simulator::Settings() const {
    std::lock_guard lock(m_mutex);
    return m_engine.Settings();
}

void Simulator::SetSettings(const EngineSettings& settings) {
    std::lock_guard lock(m_mutex);
    m_engine.SetSettings(settings);
    if (m_io) m_io->poller.Wake();
}

void Simulator::SetDecodeTime(uint32_t ms) {
    EngineSettings s = Settings();
    s.decodeMs = ms;
    SetSettings(s);
}

void Simulator::SetAckResendTime(uint32_t ms) {
    EngineSettings s = Settings();
    s.ackResendMs = ms;
    SetSettings(s);
}

void Simulator::SetVersions(std::string firmware, std::string boot, std::string hardware) {
    EngineSettings s = Settings();
    s.firmwareVersion = std::move(firmware);
    s.bootVersion = std::move(boot);
    s.hardwareVersion = std::move(hardware);
    SetSettings(s);
}

Faults Simulator::GetFaults() const {
    std::lock_guard lock(m_mutex);
    return m_engine.GetFaults();
}

void Simulator::SetFaults(const Faults& faults) {
    std::lock_guard lock(m_mutex);
    m_engine.SetFaults(faults);
}

bool Simulator::SendEventNotification(std::span<const uint8_t> payload) {
    std::unique_lock lock(m_mutex);
    const uint32_t now = platform::GetTickCount();
    if (!m_engine.SendEventNotification(payload, now)) return false;
    PumpLocked(now);
    if (m_io) m_io->poller.Wake();
    Flush(lock);
    return true;
}

std::optional<uint16_t> Simulator::Parameter(uint8_t group, uint8_t parameter) const {
    std::lock_guard lock(m_mutex);
    return m_engine.Table().Get(group, parameter);
}

bool Simulator::SetParameter(uint8_t group, uint8_t parameter, uint16_t value) {
    std::lock_guard lock(m_mutex);
    return m_engine.Table().Set(group, parameter, value);
}

std::vector<Entry> Simulator::Parameters() const {
    std::lock_guard lock(m_mutex);
    return m_engine.Table().All();
}

std::vector<Pair> Simulator::UnknownPairs() const {
    std::lock_guard lock(m_mutex);
    return m_engine.UnknownPairs();
}

bool Simulator::Awake() const {
    std::lock_guard lock(m_mutex);
    return m_engine.AwakeAt(platform::GetTickCount());
}

LineLevels Simulator::Lines() const {
    std::lock_guard lock(m_mutex);
    return m_driver.Levels();
}

void Simulator::DropSupply() {
    std::unique_lock lock(m_mutex);
    if (!m_driver.Levels().power) return;
    m_driver.SetSupply(false);
    NoteLocked({"-- supply dropped (fault)", std::nullopt});
    LinesChangedLocked(platform::GetTickCount());
    Flush(lock);
}

size_t Simulator::Broadcast(std::vector<uint8_t> message) {
    if (!m_io) return 0;
    std::lock_guard lock(m_io->powerMutex);
    size_t reached = 0;
    for (int fd : m_io->powerClients) {
        if (os::SendAll(fd, message)) ++reached;
    }
    return reached;
}

size_t Simulator::Suspend(bool cutSupply) {
    const size_t reached =
        Broadcast(PowerMessage(PowerBroadcastRecord(kPowerTransition, kPowerSuspend, u"suspend")));
    std::unique_lock lock(m_mutex);
    NoteLocked({"-- power notification: suspend, " + std::to_string(reached) + " listener(s)",
                std::nullopt});
    if (cutSupply && m_driver.Levels().power) {
        m_driver.SetSupply(false);
        LinesChangedLocked(platform::GetTickCount());
    }
    Flush(lock);
    return reached;
}

size_t Simulator::Resume() {
    const size_t reached =
        Broadcast(PowerMessage(PowerBroadcastRecord(kPowerTransition, kPowerResume, u"on")));
    std::unique_lock lock(m_mutex);
    NoteLocked({"-- power notification: resume, " + std::to_string(reached) + " listener(s)",
                std::nullopt});
    Flush(lock);
    return reached;
}

size_t Simulator::PowerListeners() const {
    if (!m_io) return 0;
    std::lock_guard lock(m_io->powerMutex);
    return m_io->powerClients.size();
}

void Simulator::SetTraceSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(m_traceMutex);
    m_sink = std::move(sink);
}

void Simulator::SetLineHook(LineHook hook) {
    std::lock_guard lock(m_mutex);
    m_lineHook = std::move(hook);
}

size_t Simulator::CountReceived(uint8_t type) const {
    std::lock_guard lock(m_mutex);
    auto it = m_receivedCount.find(type);
    return it == m_receivedCount.end() ? 0 : it->second;
}

size_t Simulator::CountSent(uint8_t type) const {
    std::lock_guard lock(m_mutex);
    auto it = m_sentCount.find(type);
    return it == m_sentCount.end() ? 0 : it->second;
}

bool Simulator::WaitForReceived(uint8_t type, size_t count, uint32_t timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, platform::DeadlineAfter(timeoutMs), [&] {
        auto it = m_receivedCount.find(type);
        return it != m_receivedCount.end() && it->second >= count;
    });
}

bool Simulator::WaitForSent(uint8_t type, size_t count, uint32_t timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, platform::DeadlineAfter(timeoutMs), [&] {
        auto it = m_sentCount.find(type);
        return it != m_sentCount.end() && it->second >= count;
    });
}

std::vector<Frame> Simulator::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::optional<Frame> Simulator::LastReceived(uint8_t type) const {
    std::lock_guard lock(m_mutex);
    for (auto it = m_received.rbegin(); it != m_received.rend(); ++it) {
        if (it->type == type) return *it;
    }
    return std::nullopt;
}

}  // namespace qv::sim

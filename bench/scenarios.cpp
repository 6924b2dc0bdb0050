#include "bench/scenarios.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "QV_Rizoviv2I_RO25.h"
#include "bench/floor.h"
#include "bench/line_tally.h"
#include "bench/os/alloc_counter.h"
#include "bench/os/process_stats.h"
#include "bench/sample_stream.h"
#include "bench/stats.h"
#include "link/frame.h"
#include "log/write_log.h"
#include "platform/core/clock.h"
#include "platform/driver/device_driver.h"
#include "platform/text/utf.h"
#include "platform/windows/window.h"
#include "sim/simulator.h"
#include "symbology/settings_files.h"
#include "symbology/symbology_settings.h"

namespace qv::bench {
namespace {

constexpr std::array<uint8_t, 11> kEngineTypes{0x05, 0x06, 0x15, 0x1B, 0x50, 0x51,
                                               0x53, 0x54, 0x60, 0x61, 0x62};
constexpr uint8_t kBarcodeDataType = 0x60;
constexpr int kShortBarcodeSymbology = 9;  // Code 128
constexpr int kLongBarcodeSymbology = 37;  // QR Code
constexpr auto kDeliveryTimeout = std::chrono::seconds(5);
// Scans follow each other this far apart, as a user's would. (The reader
// once purged the line after each delivery and could lose a barcode that
// came right behind; it no longer does, but the figures keep their pace.)
constexpr auto kPauseBetweenScans = std::chrono::milliseconds(30);
// Frames still on their way when an operation returns (the reader's last
// ACK) are given this long to be counted.
constexpr auto kCountingGrace = std::chrono::milliseconds(30);

void Sleep(std::chrono::milliseconds d) {
    std::this_thread::sleep_for(d);
}

double Ms(int64_t ns) {
    return static_cast<double>(ns) / 1e6;
}

// What the simulator's hooks saw; written on its threads and the reader's.
struct LineCounters {
    std::atomic<uint64_t> wakePulses{0};
    std::atomic<uint64_t> triggerReleases{0};
    std::atomic<uint64_t> hostBytes{0};
    std::atomic<uint64_t> engineBytes{0};
    // The last BARCODE_DATA the engine finished writing, and the line
    // counts at that moment.
    std::atomic<int64_t> barcodeWrittenNs{0};
    std::atomic<uint64_t> wakesAtBarcode{0};
    std::atomic<uint64_t> triggersAtBarcode{0};
    BarcodeEndTracker barcodeEnd;  // line hook only, under the simulator's lock
};

// The application's callback side.
struct DeliveryLog {
    std::mutex mutex;
    std::condition_variable delivered;
    uint64_t count = 0;
    int64_t enteredNs = 0;
    pid_t tid = 0;
    int32_t symbology = 0;
    size_t units = 0;
    uint64_t wakesAtEntry = 0;
    uint64_t triggersAtEntry = 0;
};

LineCounters* g_counters = nullptr;
DeliveryLog* g_delivery = nullptr;

// Runs on the library's reader thread; takes no heap memory, so the
// reader's allocation count is the library's alone.
void OnBarcode(int32_t symbology, const char16_t* text) {
    const int64_t entered = NowNs();
    const uint64_t wakes = g_counters->wakePulses.load();
    const uint64_t triggers = g_counters->triggerReleases.load();
    size_t units = 0;
    while (text != nullptr && text[units] != 0)
        ++units;
    {
        std::lock_guard lock(g_delivery->mutex);
        g_delivery->enteredNs = entered;
        g_delivery->tid = CurrentTid();
        g_delivery->symbology = symbology;
        g_delivery->units = units;
        g_delivery->wakesAtEntry = wakes;
        g_delivery->triggersAtEntry = triggers;
        ++g_delivery->count;
    }
    g_delivery->delivered.notify_all();
}

intptr_t BenchWindowProc(QVHWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return platform::DefWindowProc(window, message, wParam, lParam);
}

// CPU spent by the simulated device inside driver requests, which run on
// whichever thread made them.
struct DeviceCpu {
    std::atomic<int64_t> totalNs{0};
    std::atomic<int64_t> readerNs{0};
    std::atomic<pid_t> reader{0};
};

// The simulated device's side of a driver request runs on whichever
// library thread made it; on the handheld it is the driver's, so its
// allocations are not the library's and are left out of the count, and
// its CPU time is noted apart.
class UncountedDevice final : public platform::DeviceDriver {
  public:
    UncountedDevice(std::shared_ptr<platform::DeviceDriver> device, DeviceCpu& cpu)
        : m_device(std::move(device)), m_cpu(cpu) {}
    int32_t IoControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                      uint32_t* returned) override {
        const alloc::Pause pause;
        const int64_t start = CallingThreadCpuNs();
        const int32_t result = m_device->IoControl(code, in, out, returned);
        const int64_t spent = CallingThreadCpuNs() - start;
        m_cpu.totalNs += spent;
        if (CurrentTid() == m_cpu.reader.load()) m_cpu.readerNs += spent;
        return result;
    }

  private:
    std::shared_ptr<platform::DeviceDriver> m_device;
    DeviceCpu& m_cpu;
};

bool EndsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

struct Timed {
    double ms = 0;
    double fixedMs = 0;
    Floor floor;
    Exchange exchange;
};

struct BarcodeSample {
    double latencyMs = 0;
    double floorMs = 0;
};

class Harness {
  public:
    explicit Harness(const ScenarioOptions& options) : m_options(options) {
        g_counters = &m_counters;
        g_delivery = &m_delivery;
    }
    ~Harness() {
        QVImagerClose();
        StopSimulator();
        SetSettingDirectoryOverride(std::nullopt);
        if (m_window != nullptr) platform::DestroyWindow(m_window);
        std::error_code ignored;
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
        g_counters = nullptr;
        g_delivery = nullptr;
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    bool Setup(std::string& error) {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvbench.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            error = "cannot create a temporary directory";
            return false;
        }
        m_dir = pattern;
        ::setenv("QV_REGISTRY", (m_dir + "/registry.reg").c_str(), 1);
        // The log is written as on the device, one write per line, but to a
        // file rather than the terminal that shows the table.
        if (std::getenv("QV_DEBUG_OUTPUT") == nullptr) {
            ::setenv("QV_DEBUG_OUTPUT", (m_dir + "/debug.log").c_str(), 1);
        }
        ::unsetenv("QV_DRIVER_BAR1");
        ::unsetenv("QV_POWER_NOTIFY");
        ::unsetenv("QV_PLATFORM_TRACE");
        SetSettingDirectoryOverride(platform::Utf8ToUtf16(m_dir + "/"));
        platform::SetClockScale(1.0);
        m_window = platform::CreateWindow(u"QVBenchWindow", &BenchWindowProc);
        if (m_window == nullptr) {
            error = "cannot create the application's window";
            return false;
        }
        alloc::Prepare();
        return true;
    }

    // A new engine, fresh from the factory: nothing initialised, nothing stored.
    bool StartSimulator(std::string& error) {
        StopSimulator();
        sim::Simulator::Options options;
        options.engine.AnswerAtOnce();  // wake pulses stay required
        options.driverSocket = false;
        options.powerSocket = false;
        options.registerDriver = false;
        m_sim = std::make_unique<sim::Simulator>(options);
        if (!m_sim->Start(&error)) {
            m_sim.reset();
            return false;
        }
        m_simIoTid = 0;
        platform::RegisterDriver("BAR1:",
                                 std::make_shared<UncountedDevice>(m_sim->Driver(), m_deviceCpu));
        m_hostFramesSeen = 0;
        m_sim->SetTraceSink([this](const std::string& line) { CountDriverLine(line); });
        m_sim->SetLineHook([this](sim::Direction direction, std::span<const uint8_t> bytes) {
            CountLineBytes(direction, bytes);
        });
        ::setenv("QV_PORT_COM2", m_sim->SlavePath().c_str(), 1);
        return true;
    }

    void StopSimulator() {
        if (!m_sim) return;
        platform::UnregisterDriver("BAR1:");
        m_sim->Stop();
        m_sim.reset();
    }

    void RemoveSettingsFiles() {
        std::error_code ignored;
        for (const char* name :
             {"BarcodeRO25Enable.dat", "BarcodeRO25Detail.dat", "BarcodeRO25Other.dat"}) {
            std::filesystem::remove(m_dir + "/" + name, ignored);
        }
    }

    Exchange Snapshot() {
        Exchange e;
        for (const uint8_t type : kEngineTypes)
            e.engineFrames[type] = m_sim->CountSent(type);
        e.wakePulses = m_counters.wakePulses.load();
        e.triggerReleases = m_counters.triggerReleases.load();
        e.hostBytes = m_counters.hostBytes.load();
        e.engineBytes = m_counters.engineBytes.load();
        m_recordReads += NewRecordReads();
        e.recordReads = m_recordReads;
        return e;
    }

    // QVImagerOpen, timed, with what it exchanged; the window is named after.
    std::optional<Timed> Open(std::string& error) {
        const Exchange before = Snapshot();
        StartTimeline();
        const int64_t start = NowNs();
        const int32_t result = QVImagerOpen();
        const int64_t end = NowNs();
        EndTimeline();
        if (result != 1) {
            error = "QVImagerOpen returned " + std::to_string(result);
            return std::nullopt;
        }
        QVImagerSetWindow(m_window);
        Sleep(kCountingGrace);
        Timed t;
        t.ms = Ms(end - start);
        t.fixedMs = kOpenFixedMs;
        t.exchange = Snapshot() - before;
        t.floor = FloorOf(t.exchange, t.fixedMs);
        return t;
    }

    std::optional<Timed> TimeCommand(const std::function<int32_t()>& command, std::string& error) {
        Sleep(kCountingGrace);
        const Exchange before = Snapshot();
        StartTimeline();
        const int64_t start = NowNs();
        const int32_t result = command();
        const int64_t end = NowNs();
        EndTimeline();
        if (result != 1) {
            error = "a Set export returned " + std::to_string(result);
            return std::nullopt;
        }
        Sleep(kCountingGrace);
        Timed t;
        t.ms = Ms(end - start);
        t.exchange = Snapshot() - before;
        t.floor = FloorOf(t.exchange, 0);
        return t;
    }

    // One scan: the engine holds a barcode, the trigger is pressed, and the
    // callback is waited for.
    std::optional<BarcodeSample> Scan(size_t index, std::string& error) {
        const bool longCode = index % 2 == 1;
        const std::vector<uint8_t> text = BarcodeText(longCode ? 299 : 19);
        if (!m_sim->QueueBarcode(longCode ? kLongBarcodeSymbology : kShortBarcodeSymbology,
                                 {reinterpret_cast<const char*>(text.data()), text.size()},
                                 &error)) {
            return std::nullopt;
        }
        uint64_t before;
        {
            std::lock_guard lock(m_delivery.mutex);
            before = m_delivery.count;
        }
        if (QVImagerScanStart(&OnBarcode) != 1) {
            error = "QVImagerScanStart failed";
            return std::nullopt;
        }
        std::unique_lock lock(m_delivery.mutex);
        if (!m_delivery.delivered.wait_for(lock, kDeliveryTimeout,
                                           [&] { return m_delivery.count > before; })) {
            error = "no barcode reached the callback within 5 s";
            return std::nullopt;
        }
        if (m_delivery.units != text.size()) {
            error = "the callback got " + std::to_string(m_delivery.units) + " units, not " +
                    std::to_string(text.size());
            return std::nullopt;
        }
        m_readerTid = m_delivery.tid;
        m_deviceCpu.reader = m_readerTid;
        Exchange e;
        e.engineFrames[kBarcodeDataType] = 1;
        e.wakePulses = m_delivery.wakesAtEntry - m_counters.wakesAtBarcode.load();
        e.triggerReleases = m_delivery.triggersAtEntry - m_counters.triggersAtBarcode.load();
        BarcodeSample sample;
        sample.latencyMs = Ms(m_delivery.enteredNs - m_counters.barcodeWrittenNs.load());
        sample.floorMs = FloorOf(e, 0).waitsMs;
        lock.unlock();
        Sleep(kPauseBetweenScans);
        return sample;
    }

    uint64_t EngineFramesSent() {
        uint64_t n = 0;
        for (const uint8_t type : kEngineTypes)
            n += m_sim->CountSent(type);
        return n;
    }

    pid_t ReaderTid() const { return m_readerTid; }

    // CPU time so far: the whole process, the reader thread, and the
    // simulator's share (its own thread and its side of driver requests).
    struct CpuSplit {
        double processMs = 0;
        double readerMs = 0;
        double simulatorMs = 0;
        double simulatorOnReaderMs = 0;
    };
    CpuSplit Cpu() const {
        CpuSplit c;
        c.processMs = ProcessCpuMs();
        c.readerMs = ThreadCpuMs(m_readerTid).value_or(0);
        const pid_t io = m_simIoTid.load();
        c.simulatorMs =
            (io != 0 ? ThreadCpuMs(io).value_or(0) : 0) + Ms(m_deviceCpu.totalNs.load());
        c.simulatorOnReaderMs = Ms(m_deviceCpu.readerNs.load());
        return c;
    }
    const ScenarioOptions& Options() const { return m_options; }

    // The simulator's trace of one operation with the time of each line,
    // printed when --timeline asks for it.
    void StartTimeline() {
        if (!m_options.timeline) return;
        std::lock_guard lock(m_timelineMutex);
        m_timeline.clear();
        m_timelineStart = NowNs();
        m_timelineOn = true;
    }
    void PrintTimeline(const char* title) {
        if (!m_options.timeline) return;
        m_timelineOn = false;
        std::lock_guard lock(m_timelineMutex);
        std::fprintf(stderr, "\ntimeline of %s (ms from its start):\n", title);
        for (const auto& [at, line] : m_timeline) {
            std::fprintf(stderr, "  %9.3f  %.110s\n", Ms(at - m_timelineStart), line.c_str());
        }
        std::fprintf(stderr, "  %9.3f  returned\n", Ms(m_timelineEnd - m_timelineStart));
    }
    void EndTimeline() {
        m_timelineEnd = NowNs();
        m_timelineOn = false;
    }

    void Progress(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (m_options.quiet) return;
        va_list args;
        va_start(args, format);
        std::vfprintf(stderr, format, args);
        va_end(args);
        std::fputc('\n', stderr);
    }

  private:
    void CountDriverLine(const std::string& line) {
        if (m_timelineOn.load()) {
            std::lock_guard lock(m_timelineMutex);
            m_timeline.emplace_back(NowNs(), line);
        }
        if (EndsWith(line, ": wake 1")) ++m_counters.wakePulses;
        if (EndsWith(line, ": trigger 1")) ++m_counters.triggerReleases;
    }

    void CountLineBytes(sim::Direction direction, std::span<const uint8_t> bytes) {
        if (direction == sim::Direction::HostToEngine) {
            // Host bytes are read on the simulator's own thread.
            if (m_simIoTid.load() == 0) m_simIoTid = CurrentTid();
            m_counters.hostBytes += bytes.size();
            return;
        }
        m_counters.engineBytes += bytes.size();
        LineCounters& c = m_counters;
        if (c.barcodeEnd.Feed(bytes)) {
            c.wakesAtBarcode = c.wakePulses.load();
            c.triggersAtBarcode = c.triggerReleases.load();
            c.barcodeWrittenNs = NowNs();
        }
    }

    // Record queries among the host frames that arrived since the last look;
    // each is followed by the library's pause after a read.
    uint64_t NewRecordReads() {
        uint64_t total = 0;
        for (int type = 0; type < 256; ++type)
            total += m_sim->CountReceived(static_cast<uint8_t>(type));
        const uint64_t fresh = total - m_hostFramesSeen;
        m_hostFramesSeen = total;
        const std::vector<sim::Frame> frames = m_sim->Received();
        uint64_t reads = 0;
        const size_t from = frames.size() > fresh ? frames.size() - fresh : 0;
        for (size_t i = from; i < frames.size(); ++i) {
            if (IsRecordQuery(frames[i].type, frames[i].payload.size())) ++reads;
        }
        return reads;
    }

    ScenarioOptions m_options;
    std::string m_dir;
    QVHWND m_window = nullptr;
    std::unique_ptr<sim::Simulator> m_sim;
    LineCounters m_counters;
    DeliveryLog m_delivery;
    uint64_t m_hostFramesSeen = 0;
    uint64_t m_recordReads = 0;
    pid_t m_readerTid = 0;
    std::atomic<pid_t> m_simIoTid{0};
    DeviceCpu m_deviceCpu;
    std::atomic<bool> m_timelineOn{false};
    std::mutex m_timelineMutex;
    std::vector<std::pair<int64_t, std::string>> m_timeline;
    int64_t m_timelineStart = 0;
    int64_t m_timelineEnd = 0;
};

std::string Fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

Figure RatioFigure(const std::string& key, const std::string& label,
                   const std::vector<Timed>& runs) {
    std::vector<double> ratios;
    std::vector<double> ms;
    std::vector<double> floors;
    for (const Timed& t : runs) {
        ratios.push_back(t.ms / t.floor.waitsMs);
        ms.push_back(t.ms);
        floors.push_back(t.floor.waitsMs);
    }
    const Summary s = Summarize(ms);
    Figure f;
    f.key = key;
    f.label = label;
    f.value = Median(ratios);
    f.unit = "x floor";
    f.target = 1.03;
    f.samples = runs.size();
    f.detail = "median " + Fixed(s.median, 1) + " ms (" + Fixed(s.min, 1) + ".." + Fixed(s.max, 1) +
               "); floor " + DescribeFloor(runs.back().exchange, runs.back().fixedMs);
    f.extra = {{"median_ms", s.median},
               {"min_ms", s.min},
               {"max_ms", s.max},
               {"floor_ms", Median(floors)},
               {"excess_ms", s.median - Median(floors)},
               {"line_ms", runs.back().floor.lineMs},
               {"line_bytes", static_cast<double>(runs.back().exchange.hostBytes +
                                                  runs.back().exchange.engineBytes)}};
    return f;
}

bool MemoryScenario(Harness& h, Report& report, std::string& error) {
    h.Progress("memory: first open, 10 barcodes, one Set");
    if (!h.StartSimulator(error)) return false;
    const bool reset = ResetPeakResident();
    const auto base = ResidentKiB();
    if (!h.Open(error)) return false;
    for (size_t i = 0; i < 10; ++i) {
        if (!h.Scan(i, error)) return false;
    }
    int32_t level = 0;
    if (QVImagerGetSecurtyLevel(&level) != 1 || QVImagerSetSecurtyLevel(level) != 1) {
        error = "the security level could not be read and set";
        return false;
    }
    const auto peak = PeakResidentKiB();
    const auto open = ResidentKiB();
    QVImagerClose();
    const auto closed = ResidentKiB();
    if (!reset || !base || !peak || !open) {
        error = "this kernel gives no resident set figures";
        return false;
    }
    Figure f;
    f.key = "peak_rss_added_kib";
    f.label = "peak resident memory added by an open imager";
    f.value = static_cast<double>(*peak - *base);
    f.unit = "KiB";
    f.samples = 1;
    f.detail = "VmHWM over the first open, 10 barcodes and a Set, less VmRSS before; " +
               std::to_string(*open - *base) + " KiB still resident while open, " +
               std::to_string(closed.value_or(*open) - *base) + " KiB after close";
    f.extra = {{"base_kib", static_cast<double>(*base)},
               {"open_rss_added_kib", static_cast<double>(*open - *base)},
               {"closed_rss_added_kib", static_cast<double>(closed.value_or(*open) - *base)}};
    report.figures.push_back(f);
    return true;
}

bool OpenScenarios(Harness& h, Report& report, std::string& error) {
    std::vector<Timed> fresh;
    for (int i = 0; i < h.Options().openRuns; ++i) {
        if (!h.StartSimulator(error)) return false;
        h.RemoveSettingsFiles();
        auto t = h.Open(error);
        if (!t) return false;
        QVImagerClose();
        h.Progress("open, engine not initialised %d/%d: %.1f ms, floor %.0f ms", i + 1,
                   h.Options().openRuns, t->ms, t->floor.waitsMs);
        fresh.push_back(*t);
    }

    // Store all three records through the exports, as an application that
    // changed its settings once would have them.
    if (!h.Open(error)) return false;
    EnableRecord enable{};
    DetailRecord detail{};
    OtherRecord other{};
    if (QVImagerGetSymboleEnableByStruct(&enable) != 1 ||
        QVImagerGetSymboleDetailByStruct(&detail) != 1 ||
        QVImagerGetOtherSettingByStruct(&other) != 1 ||
        QVImagerSetSymboleEnableByStruct(enable) != 1 ||
        QVImagerSetSymboleDetailByStruct(detail) != 1 ||
        QVImagerSetOtherSettingByStruct(other) != 1) {
        error = "the three records could not be read and stored";
        return false;
    }
    QVImagerClose();

    std::vector<Timed> stored;
    for (int i = 0; i < h.Options().openRuns; ++i) {
        auto t = h.Open(error);
        if (!t) return false;
        QVImagerClose();
        h.Progress("open, three stored records %d/%d: %.1f ms, floor %.0f ms", i + 1,
                   h.Options().openRuns, t->ms, t->floor.waitsMs);
        if (i == 0) h.PrintTimeline("an open with three stored records");
        stored.push_back(*t);
    }
    report.figures.push_back(
        RatioFigure("open_stored_ratio", "open (3 stored records) / floor", stored));
    report.figures.push_back(
        RatioFigure("open_uninitialised_ratio", "open (uninitialised engine) / floor", fresh));
    return true;
}

struct AllocWindow {
    uint64_t allocations = 0;
    uint64_t frames = 0;
};

Figure AllocFigure(const std::string& key, const std::string& label, const AllocWindow& w,
                   const std::string& what) {
    Figure f;
    f.key = key;
    f.label = label;
    f.value =
        w.frames == 0 ? 0 : static_cast<double>(w.allocations) / static_cast<double>(w.frames);
    f.unit = "allocs";
    f.target = 0;
    f.samples = w.frames;
    f.detail = std::to_string(w.allocations) + " operator new on the reader thread over " +
               std::to_string(w.frames) + " engine frames (" + what + ")";
    f.extra = {{"allocations", static_cast<double>(w.allocations)},
               {"frames", static_cast<double>(w.frames)}};
    return f;
}

void PrintSites(const char* title) {
    const auto sites = alloc::Sites();
    if (sites.empty()) return;
    std::fprintf(stderr, "\nallocation sites on the reader thread, %s:\n", title);
    size_t shown = 0;
    for (const auto& [chain, count] : sites) {
        if (++shown > 15) break;
        std::fprintf(stderr, "  %6llu  %s\n", static_cast<unsigned long long>(count),
                     chain.c_str());
    }
}

bool SessionScenarios(Harness& h, Report& report, std::string& error) {
    const ScenarioOptions& o = h.Options();
    if (!h.Open(error)) return false;
    // Warm-up: the first deliveries also name the reader thread.
    for (size_t i = 0; i < 4; ++i) {
        if (!h.Scan(i, error)) return false;
    }
    const pid_t reader = h.ReaderTid();

    // Sets: a Detail-record member and the Other record's security level.
    int32_t c39[4] = {};
    int32_t level = 0;
    struct SetCase {
        const char* key;
        const char* label;
        std::function<int32_t()> get;
        std::function<int32_t()> set;
    };
    const std::vector<SetCase> cases = {
        {"set_code39_ratio", "Set Code 39 (Detail record) / floor",
         [&] { return QVImagerGetCode39Setting(&c39[0], &c39[1], &c39[2], &c39[3]); },
         [&] { return QVImagerSetCode39Setting(c39[0], c39[1], c39[2], c39[3]); }},
        {"set_security_ratio", "Set security level (Other record) / floor",
         [&] { return QVImagerGetSecurtyLevel(&level); },
         [&] { return QVImagerSetSecurtyLevel(level); }},
    };
    AllocWindow replies;
    for (const SetCase& c : cases) {
        std::vector<Timed> runs;
        for (int i = 0; i < o.setRuns; ++i) {
            if (c.get() != 1) {
                error = std::string("the Get before ") + c.label + " failed";
                return false;
            }
            const uint64_t framesBefore = h.EngineFramesSent();
            alloc::Start(reader, o.allocSites);
            auto t = h.TimeCommand(c.set, error);
            replies.allocations += alloc::Stop();
            replies.frames += h.EngineFramesSent() - framesBefore;
            if (!t) return false;
            h.Progress("%s %d/%d: %.1f ms, floor %.0f ms", c.label, i + 1, o.setRuns, t->ms,
                       t->floor.waitsMs);
            if (i == 0) h.PrintTimeline(c.label);
            runs.push_back(*t);
        }
        report.figures.push_back(RatioFigure(c.key, c.label, runs));
    }
    if (o.allocSites) PrintSites("during the Sets");

    // Barcodes: latency, CPU and the reader's allocations.
    std::vector<double> excess;
    std::vector<double> latency;
    const Harness::CpuSplit cpuBefore = h.Cpu();
    const uint64_t framesBefore = h.EngineFramesSent();
    alloc::Start(reader, o.allocSites);
    for (int i = 0; i < o.barcodes; ++i) {
        auto sample = h.Scan(static_cast<size_t>(i), error);
        if (!sample) {
            alloc::Stop();
            return false;
        }
        latency.push_back(sample->latencyMs);
        excess.push_back(sample->latencyMs - sample->floorMs);
        if ((i + 1) % 50 == 0) h.Progress("barcodes %d/%d", i + 1, o.barcodes);
    }
    AllocWindow barcodes;
    barcodes.allocations = alloc::Stop();
    barcodes.frames = h.EngineFramesSent() - framesBefore;
    const Harness::CpuSplit cpuAfter = h.Cpu();
    const double n = o.barcodes;
    const double cpu = (cpuAfter.processMs - cpuBefore.processMs) / n;
    const double simCpu = (cpuAfter.simulatorMs - cpuBefore.simulatorMs) / n;
    const double readerCpu = (cpuAfter.readerMs - cpuBefore.readerMs -
                              (cpuAfter.simulatorOnReaderMs - cpuBefore.simulatorOnReaderMs)) /
                             n;
    if (o.allocSites) PrintSites("during the barcodes");

    const Summary lat = Summarize(latency);
    const Summary ex = Summarize(excess);
    Figure delivery;
    delivery.key = "delivery_excess_ms";
    delivery.label = "scan-to-delivery minus floor";
    delivery.value = ex.median;
    delivery.unit = "ms";
    delivery.target = 2;
    delivery.samples = latency.size();
    delivery.detail = "last BARCODE_DATA byte written to callback entered: median " +
                      Fixed(lat.median, 2) + " ms, p90 " + Fixed(lat.p90, 2) + ", max " +
                      Fixed(lat.max, 2) + "; floor " + Fixed(lat.median - ex.median, 0) +
                      " ms = 1 settle x 40 + 1 wake x 80 + 1 trigger x 5";
    delivery.extra = {{"latency_median_ms", lat.median}, {"latency_p90_ms", lat.p90},
                      {"latency_max_ms", lat.max},       {"excess_p90_ms", ex.p90},
                      {"excess_max_ms", ex.max},         {"excess_min_ms", ex.min}};
    report.figures.push_back(delivery);

    Figure perBarcode;
    perBarcode.key = "cpu_per_barcode_ms";
    perBarcode.label = "CPU per delivered barcode";
    perBarcode.value = cpu;
    perBarcode.unit = "ms";
    perBarcode.target = 1;
    perBarcode.samples = static_cast<size_t>(o.barcodes);
    perBarcode.detail = "getrusage of the process over " + std::to_string(o.barcodes) +
                        " barcodes; of it the simulator " + Fixed(simCpu, 3) +
                        " ms, so the library and bench " + Fixed(cpu - simCpu, 3) +
                        " ms, the reader thread " + Fixed(readerCpu, 3) + " ms";
    perBarcode.extra = {
        {"simulator_ms", simCpu}, {"library_and_bench_ms", cpu - simCpu}, {"reader_ms", readerCpu}};
    report.figures.push_back(perBarcode);

    // Idle.
    Sleep(std::chrono::milliseconds(1000));
    const Harness::CpuSplit idleBefore = h.Cpu();
    h.Progress("idle for %d s", o.idleSeconds);
    Sleep(std::chrono::seconds(o.idleSeconds));
    const Harness::CpuSplit idleAfter = h.Cpu();
    const double scale = 10.0 / o.idleSeconds;
    const double idle = (idleAfter.processMs - idleBefore.processMs) * scale;
    const double idleSim = (idleAfter.simulatorMs - idleBefore.simulatorMs) * scale;
    const double idleReader = (idleAfter.readerMs - idleBefore.readerMs) * scale;
    Figure idleFigure;
    idleFigure.key = "cpu_idle_ms_per_10s";
    idleFigure.label = "CPU while open and idle, per 10 s";
    idleFigure.value = idle;
    idleFigure.unit = "ms";
    idleFigure.target = 10;
    idleFigure.samples = 1;
    idleFigure.detail = "getrusage of the process over " + std::to_string(o.idleSeconds) +
                        " s, scaled to 10 s; of it the simulator " + Fixed(idleSim, 3) +
                        " ms, the reader thread " + Fixed(idleReader, 3) + " ms";
    idleFigure.extra = {{"simulator_ms_per_10s", idleSim},
                        {"reader_ms_per_10s", idleReader},
                        {"seconds", static_cast<double>(o.idleSeconds)}};
    report.figures.push_back(idleFigure);

    report.figures.push_back(AllocFigure("allocs_per_barcode_frame",
                                         "heap allocations per received frame (barcodes)", barcodes,
                                         "BARCODE_DATA, its ACK and the delivery"));
    report.figures.push_back(AllocFigure("allocs_per_reply_frame",
                                         "heap allocations per received frame (replies)", replies,
                                         "ACK and SETUP_REPLY or RESULT of the Sets"));
    QVImagerClose();
    return true;
}

// What two costs that every Set and every open with stored records pays
// come to on this machine, to tell the overhead apart.
void CostScenario(Harness& h, Report& report) {
    h.Progress("costs: settings file save, log line");
    SymbologySettings store;
    std::vector<double> saves;
    std::vector<double> unchanged;
    for (int i = 0; i < 15; ++i) {
        // Each save changes the record: a save of the bytes the file already
        // holds writes nothing, and is measured apart.
        WriteSlot(&store.m_other, 0, i + 1);
        int64_t start = NowNs();
        SaveOtherSetting(store);
        saves.push_back(Ms(NowNs() - start));
        start = NowNs();
        SaveOtherSetting(store);
        unchanged.push_back(Ms(NowNs() - start));
    }
    const Summary save = Summarize(saves);
    Figure f;
    f.key = "settings_save_ms";
    f.label = "one settings file save";
    f.value = save.median;
    f.unit = "ms";
    f.samples = saves.size();
    f.detail = "temporary file, fsync, rename, fsync of the directory; p90 " + Fixed(save.p90, 2) +
               " ms, max " + Fixed(save.max, 2) + " ms";
    f.extra = {{"p90_ms", save.p90}, {"max_ms", save.max}};
    report.figures.push_back(f);

    const Summary same = Summarize(unchanged);
    Figure u;
    u.key = "settings_save_unchanged_ms";
    u.label = "one settings file save, bytes unchanged";
    u.value = same.median;
    u.unit = "ms";
    u.samples = unchanged.size();
    u.detail = "open, shared lock, compare, nothing written; p90 " + Fixed(same.p90, 3) + " ms";
    u.extra = {{"p90_ms", same.p90}};
    report.figures.push_back(u);

    constexpr int kLines = 2000;
    const int64_t start = NowNs();
    for (int i = 0; i < kLines; ++i)
        WriteLog(u"[%03d] 0x%X\r\n", i % 216, i & 0xFF);
    Figure log;
    log.key = "log_line_us";
    log.label = "one diagnostic log line";
    log.value = Ms(NowNs() - start) * 1000.0 / kLines;
    log.unit = "us";
    log.samples = kLines;
    log.detail = "formatted and written to the open debug output file (one write)";
    report.figures.push_back(log);
}

}  // namespace

ScenarioOptions QuickOptions() {
    ScenarioOptions o;
    o.openRuns = 3;
    o.setRuns = 3;
    o.barcodes = 40;
    o.idleSeconds = 3;
    return o;
}

bool RunScenarios(const ScenarioOptions& options, Report& report, std::string& error) {
    Harness h(options);
    if (!h.Setup(error)) return false;
    if (!MemoryScenario(h, report, error)) return false;
    if (!OpenScenarios(h, report, error)) return false;
    if (!SessionScenarios(h, report, error)) return false;
    CostScenario(h, report);
    return true;
}

}  // namespace qv::bench

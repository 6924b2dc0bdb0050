#include "bench/os/process_stats.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace qv::bench {
namespace {

double Ms(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

std::optional<int64_t> StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') {
            return std::strtoll(line.c_str() + n + 1, nullptr, 10);
        }
    }
    return std::nullopt;
}

}  // namespace

int64_t NowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double ProcessCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return Ms(usage.ru_utime) + Ms(usage.ru_stime);
}

std::optional<double> ThreadCpuMs(pid_t tid) {
    // The kernel's per-thread CPU clock of any thread of the process:
    // (~tid << 3) | CPUCLOCK_SCHED (2) | CPUCLOCK_PERTHREAD (4).
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
    timespec ts{};
    if (::clock_gettime(clock, &ts) != 0) return std::nullopt;
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

pid_t CurrentTid() {
    thread_local const pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
    return tid;
}

int64_t CallingThreadCpuNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::optional<int64_t> ResidentKiB() {
    return StatusKiB("VmRSS");
}

std::optional<int64_t> PeakResidentKiB() {
    return StatusKiB("VmHWM");
}

bool ResetPeakResident() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

std::array<double, 3> LoadAverage() {
    std::array<double, 3> load{};
    if (::getloadavg(load.data(), 3) != 3) load = {};
    return load;
}

int OnlineCpus() {
    return static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
}

}  // namespace qv::bench

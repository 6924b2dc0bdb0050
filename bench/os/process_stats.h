// What the process and its threads cost, read from the kernel.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>

namespace qv::bench {

// Monotonic time in nanoseconds.
int64_t NowNs();

// User + system CPU time of the whole process (getrusage), in milliseconds.
double ProcessCpuMs();
// CPU time of one thread of this process, by its kernel id; nothing when the
// thread is gone.
std::optional<double> ThreadCpuMs(pid_t tid);
pid_t CurrentTid();
// CPU time of the calling thread, in nanoseconds.
int64_t CallingThreadCpuNs();

// Resident set now and its peak since the process started or since the last
// ResetPeakResident, in KiB (from /proc/self/status).
std::optional<int64_t> ResidentKiB();
std::optional<int64_t> PeakResidentKiB();
// Starts the peak afresh from the current resident set; false where the
// kernel does not allow it.
bool ResetPeakResident();

// The 1, 5 and 15 minute load averages.
std::array<double, 3> LoadAverage();
int OnlineCpus();

}  // namespace qv::bench

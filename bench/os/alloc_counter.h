// Heap allocations made on one thread, counted by the replaced global
// operator new of the scenario program (every form of it: plain, array,
// nothrow, aligned). Allocations made with malloc directly (iconv, the C
// library) are not counted; the library's own code allocates through new.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv::bench::alloc {

// Counting starts from zero, for `tid` alone, until Stop.
void Start(pid_t tid, bool recordSites);
uint64_t Stop();

// Where the counted allocations came from: the call chain above operator
// new (innermost first), with how often each was seen. Only the first few
// thousand allocations are recorded.
std::vector<std::pair<std::string, uint64_t>> Sites();

// Loads the unwinder before anything is counted.
void Prepare();

// Nothing the calling thread allocates is counted while one of these lives:
// for work done on the library's threads that is not the library's own,
// such as the simulated device's side of a driver request.
class Pause {
  public:
    Pause();
    ~Pause();
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;
};

}  // namespace qv::bench::alloc

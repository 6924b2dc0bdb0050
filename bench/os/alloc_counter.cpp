#include "bench/os/alloc_counter.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>

namespace qv::bench::alloc {
namespace {

constexpr int kDepth = 12;
constexpr size_t kSlots = 4096;

std::atomic<bool> g_on{false};
std::atomic<bool> g_sites{false};
std::atomic<pid_t> g_tid{0};
std::atomic<uint64_t> g_count{0};
std::atomic<size_t> g_recorded{0};
void* g_stacks[kSlots][kDepth];
int g_depths[kSlots];

thread_local pid_t t_tid = 0;
thread_local int t_paused = 0;

void Note() {
    if (!g_on.load(std::memory_order_relaxed) || t_paused > 0) return;
    if (t_tid == 0) t_tid = static_cast<pid_t>(::syscall(SYS_gettid));
    if (t_tid != g_tid.load(std::memory_order_relaxed)) return;
    const uint64_t n = g_count.fetch_add(1, std::memory_order_relaxed);
    if (!g_sites.load(std::memory_order_relaxed) || n >= kSlots) return;
    g_depths[n] = ::backtrace(g_stacks[n], kDepth);
    g_recorded.store(n + 1, std::memory_order_release);
}

void* Allocate(std::size_t size) {
    Note();
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
    Note();
    void* p = nullptr;
    const auto a = std::max(static_cast<std::size_t>(align), sizeof(void*));
    if (::posix_memalign(&p, a, size == 0 ? 1 : size) != 0) throw std::bad_alloc();
    return p;
}

// Names for return addresses: function and source line from addr2line
// where it is installed (the programs are built with debug information),
// else the dynamic symbol, else the module and offset.
class Symbolizer {
  public:
    std::string Name(void* address) {
        const auto it = m_names.find(address);
        if (it != m_names.end()) return it->second;
        return m_names[address] = Lookup(address);
    }

  private:
    static std::string Lookup(void* address) {
        Dl_info info{};
        if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "?";
        // A return address points behind its call; step back into it.
        const auto offset =
            reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(info.dli_fbase) - 1;
        char command[1024];
        std::snprintf(command, sizeof command, "addr2line -C -f -s -e '%s' 0x%lx 2>/dev/null",
                      info.dli_fname, static_cast<unsigned long>(offset));
        std::string text;
        if (FILE* pipe = ::popen(command, "r")) {
            char line[2048];
            while (std::fgets(line, sizeof line, pipe) != nullptr)
                text += line;
            ::pclose(pipe);
        }
        const size_t newline = text.find('\n');
        if (newline != std::string::npos && text.compare(0, 2, "??") != 0) {
            std::string where = text.substr(newline + 1);
            const size_t cut = where.find_first_of(" \n");
            if (cut != std::string::npos) where.resize(cut);
            return text.substr(0, newline) + " [" + where + "]";
        }
        if (info.dli_sname != nullptr) {
            int status = 0;
            char* name = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
            std::string result = status == 0 && name != nullptr ? name : info.dli_sname;
            std::free(name);
            return result;
        }
        char fallback[512];
        std::snprintf(fallback, sizeof fallback, "%s+0x%lx", info.dli_fname,
                      static_cast<unsigned long>(offset));
        return fallback;
    }

    std::map<void*, std::string> m_names;
};

bool InCounter(const std::string& function) {
    return function.find("qv::bench::alloc") != std::string::npos ||
           function.rfind("operator new", 0) == 0;
}

bool StandardLibrary(const std::string& function) {
    return function.rfind("std::", 0) == 0 || function.rfind("__gnu_cxx::", 0) == 0;
}

}  // namespace

void Prepare() {
    void* frames[4];
    (void)::backtrace(frames, 4);
}

Pause::Pause() {
    ++t_paused;
}

Pause::~Pause() {
    --t_paused;
}

void Start(pid_t tid, bool recordSites) {
    g_on.store(false);
    g_count.store(0);
    g_recorded.store(0);
    g_tid.store(tid);
    g_sites.store(recordSites);
    g_on.store(true);
}

uint64_t Stop() {
    g_on.store(false);
    return g_count.load();
}

std::vector<std::pair<std::string, uint64_t>> Sites() {
    std::map<std::string, uint64_t> counts;
    Symbolizer symbolizer;
    const size_t n = std::min(g_recorded.load(std::memory_order_acquire), kSlots);
    for (size_t i = 0; i < n; ++i) {
        // The innermost frames of the standard library say what was built
        // (a string, a vector); after the first frame of ours they are noise.
        std::string chain;
        int kept = 0;
        bool ours = false;
        for (int f = 0; f < g_depths[i] && kept < 3; ++f) {
            const std::string function = symbolizer.Name(g_stacks[i][f]);
            if (InCounter(function)) continue;
            const bool standard = StandardLibrary(function);
            if (standard && ours) continue;
            ours = ours || !standard;
            chain += (kept++ == 0 ? "" : "  <-  ") + function;
        }
        ++counts[chain];
    }
    std::vector<std::pair<std::string, uint64_t>> sites(counts.begin(), counts.end());
    std::sort(sites.begin(), sites.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    return sites;
}

}  // namespace qv::bench::alloc

using qv::bench::alloc::Allocate;
using qv::bench::alloc::AllocateAligned;

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

// The seeded property run of the reader's frame search: realistic engine
// traffic, cut at random read boundaries, must come out as exactly the
// frames that went in.
//
//   qv_frame_property [--frames N] [--seed S] [--line bursts|pauses]
//
// Prints the counts and the run time; exits 1 on any misframe.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/realistic_traffic.h"

int main(int argc, char** argv) {
    uint64_t frames = 1000000;
    uint64_t seed = 1;
    auto model = qv::bench::LineModel::Bursts;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--frames") == 0) {
            frames = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--seed") == 0) {
            seed = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--line") == 0 &&
                   (std::strcmp(argv[i + 1], "bursts") == 0 ||
                    std::strcmp(argv[i + 1], "pauses") == 0)) {
            model =
                argv[i + 1][0] == 'p' ? qv::bench::LineModel::Pauses : qv::bench::LineModel::Bursts;
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--seed S] [--line bursts|pauses]\n",
                         argv[0]);
            return 2;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    const qv::bench::PropertyResult r = qv::bench::RunFrameProperty(frames, seed, model);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "seed %llu, line %s: %llu frames, %llu bytes in %llu reads: %llu found whole, "
        "%llu misframed, %.2f s\n",
        static_cast<unsigned long long>(seed),
        model == qv::bench::LineModel::Pauses ? "pauses" : "bursts",
        static_cast<unsigned long long>(r.frames), static_cast<unsigned long long>(r.bytes),
        static_cast<unsigned long long>(r.reads), static_cast<unsigned long long>(r.found),
        static_cast<unsigned long long>(r.misframes), seconds);
    return r.misframes == 0 && r.found == r.frames ? 0 : 1;
}

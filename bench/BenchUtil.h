// Small helpers shared by the benchmarks: timing, processor time, running a tool and a scratch
// folder.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace bench {

// Processor time (user + system) of RUSAGE_SELF or RUSAGE_CHILDREN, in seconds.
inline double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Best wall-clock time of `runs` runs of fn() (which returns false on failure: the result is then
// -1); *cpu gets the mean processor time per run of `who` (this process or its children), which
// tells the work apart from waiting on a busy machine.
template <typename Fn>
double BestSeconds(Fn fn, int who, int runs, double* cpu) {
    double best = 1e30;
    const double cpuStart = CpuSeconds(who);
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (!fn()) return -1.0;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    if (cpu) *cpu = (CpuSeconds(who) - cpuStart) / runs;
    return best;
}

// Runs a tool and waits; true when it exited with 0.
inline bool Run(const std::vector<std::string>& argv) {
    int code = -1;
    return platform::RunProcess(argv, &code) && code == 0;
}

// A new private folder under the system temporary folder, with a trailing "/"; empty on failure.
inline std::string MakeScratchFolder(const std::string& prefix) {
    std::string folder = platform::ToUtf8(platform::TempFolder()) + prefix + "-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) return {};
    return folder + "/";
}

}  // namespace bench

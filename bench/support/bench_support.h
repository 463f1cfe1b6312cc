#pragma once

// What the benchmarks share: a clock, the peak memory of this process, medians
// and the machine's load, so every figure is printed with the conditions it
// was taken under. Header only: the bare subject programs link nothing of ours.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace Bench {

inline std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The most memory this process ever had resident, in KiB (VmHWM; getrusage
// when /proc is not there).
inline long PeakMemoryKb()
{
    if (std::FILE *f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        long kb = -1;
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "VmHWM:", 6) == 0) {
                kb = std::strtol(line + 6, nullptr, 10);
                break;
            }
        std::fclose(f);
        if (kb > 0)
            return kb;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Processor time this process has used so far, user and system, in ms: on a
// shared machine it varies far less with the others' work than elapsed time.
inline double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The 1-, 5- and 15-minute load averages as the kernel reports them.
inline std::string LoadAverage()
{
    std::string out = "unknown";
    if (std::FILE *f = std::fopen("/proc/loadavg", "r")) {
        double a = 0, b = 0, c = 0;
        if (std::fscanf(f, "%lf %lf %lf", &a, &b, &c) == 3) {
            char text[64];
            std::snprintf(text, sizeof text, "%.2f %.2f %.2f", a, b, c);
            out = text;
        }
        std::fclose(f);
    }
    return out;
}

} // namespace Bench

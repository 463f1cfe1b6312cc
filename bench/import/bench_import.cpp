// Importing a password manager's list of 100,000 logins (about 9 MB) into an
// empty book with tarnwick-book, as a user would from a terminal: the time
// from start to exit and the peak memory above the tool's own at rest (the
// same tool loading the empty book and searching it), each run a fresh
// process. Then the same file imported again into the book it filled, which
// finds every row already there and writes nothing.
//
//   bench_import [rows] [rounds]
#include "bench/support/bench_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct TRunResult
{
    int exit = -1;
    double ms = 0;
    long peakKb = 0; // the child's VmHWM
    double cpuMs = 0; // its processor time, user and system
};

TRunResult Run(const std::vector<std::string> &arguments)
{
    // Another build of the tool, to compare with: BENCH_TARNWICK_BOOK=path.
    const char *tool = std::getenv("BENCH_TARNWICK_BOOK");
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(tool && *tool ? tool : TARNWICK_BOOK_PATH));
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    TRunResult r;
    std::fflush(stdout);
    const std::int64_t start = Bench::NowNs();
    const pid_t pid = fork();
    if (pid == 0) {
        if (std::FILE *null = std::freopen("/dev/null", "w", stdout); !null)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.ms = double(Bench::NowNs() - start) / 1e6;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peakKb = usage.ru_maxrss;
    r.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
              + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return r;
}

std::string MakeFolder(const std::string &base, const std::string &name)
{
    const std::string path = base + "/" + name;
    mkdir(path.c_str(), 0700);
    return path;
}

// Rows as a password manager writes them: a name, an address, a username, a
// password, a short note and one of 200 folders.
std::string WriteCsv(const std::string &path, int rows)
{
    std::string csv = "name,url,username,password,note,folder\r\n";
    char line[256];
    for (int i = 0; i < rows; ++i) {
        std::snprintf(line, sizeof line,
                      "Program %d,https://program%d.example/login,user%d@mail.example,Pw%07d!,note,Folder %d\r\n",
                      i, i, i, i * 7919 % 10000000, i % 200);
        csv += line;
    }
    if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(csv.data(), 1, csv.size(), f);
        std::fclose(f);
    }
    return csv;
}

} // namespace

int main(int argc, char **argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    char base[] = "/tmp/bench_import-XXXXXX";
    if (!mkdtemp(base)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string csvPath = std::string(base) + "/list.csv";
    const double csvMb = double(WriteCsv(csvPath, rows).size()) / 1e6;
    std::printf("load average %s; %d rows, %.2f MB of CSV, %d rounds\n", Bench::LoadAverage().c_str(), rows, csvMb,
                rounds);

    std::vector<double> rest, times, cpu, peaks, againTimes, againPeaks;
    for (int round = 0; round < rounds; ++round) {
        const std::string folder = MakeFolder(base, "book" + std::to_string(round));
        const TRunResult idle = Run({"--folder", folder, "search", "x"});
        const TRunResult imported = Run({"--folder", folder, "import", "--csv", csvPath});
        const TRunResult again = Run({"--folder", folder, "import", "--csv", csvPath});
        if (idle.exit != 0 || imported.exit != 0 || again.exit != 0) {
            std::fprintf(stderr, "tarnwick-book failed: %d %d %d\n", idle.exit, imported.exit, again.exit);
            return 1;
        }
        rest.push_back(idle.peakKb / 1024.0);
        times.push_back(imported.ms);
        cpu.push_back(imported.cpuMs);
        peaks.push_back(imported.peakKb / 1024.0);
        againTimes.push_back(again.ms);
        againPeaks.push_back(again.peakKb / 1024.0);
        std::printf("round %d: import %.0f ms (processor %.0f ms), peak %.1f MB; again %.0f ms, peak %.1f MB; at rest %.1f MB\n", round,
                    imported.ms, imported.cpuMs, imported.peakKb / 1024.0, again.ms, again.peakKb / 1024.0, idle.peakKb / 1024.0);
    }
    const double restMb = Bench::Median(rest);
    const double above = Bench::Median(peaks) - restMb;
    std::printf("import into an empty book: %.0f ms (target < 2000 ms; processor %.0f ms), %.1f MB above rest = "
                "%.2f x the CSV (target <= 3 x)\n",
                Bench::Median(times), Bench::Median(cpu), above, above / (csvMb / 1.048576));
    std::printf("the same file again (every row already there): %.0f ms, %.1f MB above rest\n",
                Bench::Median(againTimes), Bench::Median(againPeaks) - restMb);
    std::printf("load average %s\n", Bench::LoadAverage().c_str());
    std::system((std::string("rm -rf ") + base).c_str());
    return 0;
}

// The scan's cost on real trees: walk, classification and save timed
// separately, side by side with `find ROOT -printf '%M %p\n'` over the same
// tree, and the process's peak memory against the size of the five files.
//
//   kivra-scan-bench [--entries N] [--depth D] [--fanout F] [--flat N] [--keep] [--tree DIR] [--no-watches]
//                    [--watch-limit N] [--no-read-ahead]
//
// --tree DIR scans a tree made by an earlier run with --keep (or any tree:
// /usr, for one a system holds) instead of making one; --keep leaves the
// made tree for that.
// --flat N also compares N long names sharing their first six characters
// with N names of distinct prefixes, in one directory each.
// --no-watches keeps the directory tables fresh by their directories' times
// alone, without inotify watches.
// --watch-limit N lets the platform hold up to N watches instead of its
// share of the user's allowance: what a scan would cost if every directory of
// a large tree could be watched (the kernel's fs.inotify.max_user_watches
// must allow as many).
// --no-read-ahead reads every directory on the walk's own thread, as before
// the platform read ahead: the same program, to compare in the same minutes.

#include "bench/scan/TreeGenerator.h"
#include "platform/CodePage.h"
#include "platform/WinApi.h"
#include "platform/posix/PosixPlatform.h"
#include "scan/Classify.h"
#include "scan/ResultFiles.h"
#include "scan/TreeWalk.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

double MiB(double bytes) { return bytes / (1024.0 * 1024.0); }

// The Windows form of a Linux path, upper-cased as the run command takes
// its root.
std::string WindowsPath(const fs::path& path)
{
    std::string text;
    if (!kivra::platform::WindowsPathFromSystemPath(path.string(), text)) {
        std::fprintf(stderr, "no Windows path for %s\n", path.c_str());
        std::exit(2);
    }
    return kivra::platform::UpperCaseText(text);
}

// Processor time (user and system) of this process or of its waited-for
// children: on a busy machine it tells more than the time on the clock.
double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double elapsed = 0, cpu = 0;
};

// User and system processor time of this process so far.
struct Processor {
    double user = 0, system = 0;
    static Processor Now()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
                usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6};
    }
    Processor operator-(const Processor& other) const { return {user - other.user, system - other.system}; }
};

// Runs find over the tree once to warm the caches, then again timed.
Timing TimeFind(const fs::path& root)
{
    const std::string command = "find '" + root.string() + "' -printf '%M %p\\n' > /dev/null";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "find failed\n");
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "find failed\n");
    return {Seconds(start, Clock::now()), CpuSeconds(RUSAGE_CHILDREN) - cpu};
}

// Makes the tree in a child process, so that its memory does not count in
// this process's peak.
template <typename F>
double InChild(F make)
{
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        try {
            make();
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "%s\n", failure.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "tree generation failed\n");
        std::exit(1);
    }
    return Seconds(start, Clock::now());
}

class Failures : public kivra::scan::SaveFailureReporter {
public:
    void ReportSaveFailure(const std::string& message) override
    {
        std::fprintf(stderr, "save failed: %s\n", kivra::platform::Utf8FromCp932(message).c_str());
    }
};

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Phases {
    double walk = 0, classify = 0, save = 0;
    double cpu = 0; // all three phases
    Processor walkCpu, classifyCpu, saveCpu;
    std::size_t lines = 0;
    long peakAfterWalk = 0, peakAfterClassify = 0; // KiB
};

Phases Scan(const fs::path& root, const fs::path& output)
{
    Phases phases;
    kivra::scan::ScanLists lists;
    const std::string rootText = WindowsPath(root);
    const std::string outputText = output.empty() ? std::string() : WindowsPath(output);
    const double cpu = CpuSeconds(RUSAGE_SELF);
    const Processor p0 = Processor::Now();
    const auto t0 = Clock::now();
    kivra::scan::ListFiles(rootText, 0x3F, true, true, lists.LongNameList, true, true, false);
    const auto t1 = Clock::now();
    const Processor p1 = Processor::Now();
    phases.peakAfterWalk = PeakKiB();
    kivra::scan::ClassifyPaths(lists.Refs());
    const auto t2 = Clock::now();
    const Processor p2 = Processor::Now();
    phases.peakAfterClassify = PeakKiB();
    Failures failures;
    if (!output.empty()) kivra::scan::SaveResultFiles(lists.Refs(), outputText, failures);
    const auto t3 = Clock::now();
    const Processor p3 = Processor::Now();
    phases.walkCpu = p1 - p0;
    phases.classifyCpu = p2 - p1;
    phases.saveCpu = p3 - p2;
    phases.cpu = CpuSeconds(RUSAGE_SELF) - cpu;
    phases.walk = Seconds(t0, t1);
    phases.classify = Seconds(t1, t2);
    phases.save = Seconds(t2, t3);
    phases.lines = lists.LongNameList.Count() - 1;
    return phases;
}

} // namespace

int main(int argc, char** argv)
{
    kivra::bench::TreeShape shape;
    std::size_t flat = 0;
    bool keep = false;
    bool watches = true;
    std::size_t watchLimit = 0;
    bool readAhead = true;
    fs::path given;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&] { return i + 1 < argc ? std::strtoull(argv[++i], nullptr, 10) : 0ull; };
        if (arg == "--entries")
            shape.entries = value();
        else if (arg == "--depth")
            shape.depth = value();
        else if (arg == "--fanout")
            shape.fanout = value();
        else if (arg == "--flat")
            flat = value();
        else if (arg == "--keep")
            keep = true;
        else if (arg == "--tree" && i + 1 < argc)
            given = argv[++i];
        else if (arg == "--no-watches")
            watches = false;
        else if (arg == "--watch-limit")
            watchLimit = value();
        else if (arg == "--no-read-ahead")
            readAhead = false;
        else {
            std::fprintf(stderr,
                         "usage: %s [--entries N] [--depth D] [--fanout F] [--flat N] [--keep] [--tree DIR] "
                         "[--no-watches] [--watch-limit N] [--no-read-ahead]\n",
                         argv[0]);
            return 2;
        }
    }

    // The system's platform, as the program makes it, with what was asked.
    kivra::platform::PosixSources sources;
    sources.watchChanges = watches;
    sources.watchLimit = watchLimit;
    sources.readAhead = readAhead;
    kivra::platform::PosixPlatform platform(sources);
    kivra::platform::ScopedPlatform scoped(platform.Interfaces());

    char pattern[] = "/tmp/kvbenchXXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const fs::path work = pattern;
    const fs::path tree = given.empty() ? work / "tree" : fs::absolute(given);
    const fs::path output = work / "out";
    fs::create_directory(output);

    if (!given.empty()) {
        std::printf("tree: %s\n", tree.c_str());
    } else if (shape.entries > 0) {
        const double made = InChild([&] { kivra::bench::GenerateTree(tree, shape); });
        std::printf("tree: %zu entries, depth %zu, fan-out %zu (made in %.1f s)\n", shape.entries, shape.depth,
                    shape.fanout, made);
    }
    if (!given.empty() || shape.entries > 0) {
        double load[3] = {};
        if (getloadavg(load, 3) == 3) std::printf("load average: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
        const Timing find = TimeFind(tree);
        const Phases p = Scan(tree, output);
        const double total = p.walk + p.classify + p.save;
        std::uintmax_t files = 0;
        for (const auto& entry : fs::directory_iterator(output)) files += entry.file_size();
        const double peak = PeakKiB() * 1024.0;
        const double limit = 3.0 * files + 30.0 * 1024 * 1024;
        std::printf("lines walked: %zu\n", p.lines);
        std::printf("find:     %8.3f s (processor %.3f s)\n", find.elapsed, find.cpu);
        const auto phase = [](const char* name, double clock, const Processor& cpu) {
            std::printf("%-9s %8.3f s (user %.3f s, system %.3f s)\n", name, clock, cpu.user, cpu.system);
        };
        phase("walk:", p.walk, p.walkCpu);
        phase("classify:", p.classify, p.classifyCpu);
        phase("save:", p.save, p.saveCpu);
        std::printf("scan:     %8.3f s  = %.2f x find (target at most 1); processor %.3f s = %.2f x find's\n", total,
                    total / find.elapsed, p.cpu, p.cpu / find.cpu);
        std::printf("directories read ahead: %zu\n", platform.DirectoriesReadAhead());
        std::printf("per entry: walk %.2f us, classify %.2f us, save %.2f us\n", 1e6 * p.walk / p.lines,
                    1e6 * p.classify / p.lines, 1e6 * p.save / p.lines);
        std::printf("five files: %.1f MiB; peak memory %.1f MiB; limit 3 x files + 30 MiB = %.1f MiB (%s)\n",
                    MiB(files), MiB(peak), MiB(limit), peak <= limit ? "within" : "OVER");
        std::printf("peak memory after the walk %.1f MiB, after the classification %.1f MiB\n",
                    p.peakAfterWalk / 1024.0, p.peakAfterClassify / 1024.0);
    }

    if (flat > 0) {
        const fs::path shared = work / "shared";
        const fs::path distinct = work / "distinct";
        InChild([&] { kivra::bench::GenerateFlatDirectory(shared, flat, true); });
        InChild([&] { kivra::bench::GenerateFlatDirectory(distinct, flat, false); });
        TimeFind(shared);
        TimeFind(distinct);
        // Each side once untimed, so that neither pays alone for the memory
        // the first scan's lists fault in; then each directory is changed, so
        // that both timed scans build their directory's table (and aliases)
        // anew.
        Scan(distinct, {});
        Scan(shared, {});
        const auto changed = [](const fs::path& directory) {
            const fs::path mark = directory / "changed";
            std::ofstream{mark};
            fs::remove(mark);
        };
        changed(shared);
        const Phases s = Scan(shared, {});
        changed(distinct);
        const Phases d = Scan(distinct, {});
        const double sharedTime = s.walk + s.classify;
        const double distinctTime = d.walk + d.classify;
        std::printf("%zu names sharing six characters: walk %.3f s + classify %.3f s = %.3f s\n", flat, s.walk,
                    s.classify, sharedTime);
        std::printf("%zu names of distinct prefixes:   walk %.3f s + classify %.3f s = %.3f s\n", flat, d.walk,
                    d.classify, distinctTime);
        std::printf("shared / distinct: %.2f (target at most 2)\n", sharedTime / distinctTime);
    }

    if (!keep) {
        std::error_code ignored;
        fs::remove_all(work, ignored);
    } else {
        std::printf("kept: %s\n", work.c_str());
    }
    return 0;
}

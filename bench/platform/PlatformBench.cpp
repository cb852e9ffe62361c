// What the per-directory tables buy a scan, on a real tree:
//   1. a walk of a tree with FindFirstFileA/FindNextFileA (the tables are
//      built here), then GetShortPathNameA over every path it found;
//   2. the tables of many small directories, as a walk keeps them: time to
//      build, and the memory they hold;
//   3. the tables of directories of N names that all share their first six
//      characters, against N names with distinct beginnings, for growing N.
//
//   kivra-platform-bench [--entries N] [--fanout F] [--keep] [--tree DIR] [--tree-only]
//
// --tree DIR makes the tree there, or uses it as it is when it exists.

#include "platform/WinApi.h"
#include "platform/posix/DirectoryTable.h"
#include "platform/posix/PosixPlatform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kivra::platform;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Processor time of this process: the machine may be busy with other work.
double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A tree of about `entries` entries: directories of `fanout` entries, two
// levels of directories, a mix of long names, short names and lower case.
std::size_t MakeTree(const fs::path& root, std::size_t entries, std::size_t fanout)
{
    std::size_t made = 0;
    const std::size_t directories = entries / fanout + 1;
    for (std::size_t d = 0; d < directories && made < entries; ++d) {
        const fs::path directory =
            root / ("Group " + std::to_string(d / fanout)) / ("folder number " + std::to_string(d));
        fs::create_directories(directory);
        made += 1;
        for (std::size_t f = 0; f + 1 < fanout && made < entries; ++f, ++made) {
            const std::string name = f % 3 == 0   ? "F" + std::to_string(f) + ".TXT"
                                     : f % 3 == 1 ? "long file name " + std::to_string(f) + ".text"
                                                  : "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" + std::to_string(f) + ".dat";
            std::ofstream(directory / name).put('x');
        }
    }
    return made;
}

void Walk(const std::string& directory, std::vector<std::string>& paths)
{
    WIN32_FIND_DATAA data{};
    const HANDLE search = FindFirstFileA((directory + "*.*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
        std::string path = directory + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            path += "\\";
            paths.push_back(path);
            Walk(path, paths);
        } else {
            paths.push_back(path);
        }
    } while (FindNextFileA(search, &data));
    FindClose(search);
}

PosixSources TreeAsDriveD(const fs::path& root)
{
    PosixSources sources;
    sources.mountTable = "/dev/root / ext4 rw 0 0\n/dev/bench " + root.string() + " ext4 rw 0 0\n";
    return sources;
}

void TreeBench(std::size_t entries, std::size_t fanout, bool keep, fs::path root)
{
    auto start = Clock::now();
    if (root.empty() || !fs::exists(root)) {
        if (root.empty()) root = fs::temp_directory_path() / ("kivra-platform-bench-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
        const std::size_t made = MakeTree(root, entries, fanout);
        std::printf("tree: %zu entries in %zu-entry directories, made in %.2f s\n", made, fanout,
                    Seconds(start, Clock::now()));
    } else {
        keep = true;
        std::printf("tree: %s as it is\n", root.c_str());
    }

    {
        // Once over the tree so that both timed passes find it in the cache.
        PosixPlatform warm(TreeAsDriveD(root));
        ScopedPlatform scoped(warm.Interfaces());
        std::vector<std::string> paths;
        Walk("D:\\", paths);
    }

    PosixPlatform posix(TreeAsDriveD(root));
    ScopedPlatform scoped(posix.Interfaces());
    std::vector<std::string> paths;
    start = Clock::now();
    double cpu = CpuSeconds();
    Walk("D:\\", paths);
    const double walk = CpuSeconds() - cpu;
    const double walkWall = Seconds(start, Clock::now());

    char buffer[1024];
    std::size_t changed = 0;
    std::size_t failed = 0;
    start = Clock::now();
    cpu = CpuSeconds();
    for (const std::string& path : paths) {
        const DWORD length = GetShortPathNameA(path.c_str(), buffer, 255);
        if (length == 0 || length >= 255) {
            ++failed;
        } else if (path.compare(0, std::string::npos, buffer, length) != 0) {
            ++changed;
        }
    }
    const double shortNames = CpuSeconds() - cpu;
    const double shortWall = Seconds(start, Clock::now());
    const auto each = [&paths](double seconds) { return seconds * 1e6 / static_cast<double>(paths.size()); };
    std::printf(
        "walk (FindFirstFileA/FindNextFileA, tables built): %zu paths, cpu %.3f s (%.2f us each), wall %.3f s\n",
        paths.size(), walk, each(walk), walkWall);
    std::printf("GetShortPathNameA over every path:                 %zu paths, cpu %.3f s (%.2f us each), wall %.3f s; "
                "%zu shortened, %zu failed\n",
                paths.size(), shortNames, each(shortNames), shortWall, changed, failed);
    std::printf("short names / walk (cpu): %.2f\n", shortNames / walk);
    if (!keep) fs::remove_all(root);
}

// Bytes the allocator has handed out and not had back.
std::size_t HeapInUse() { return mallinfo2().uordblks; }

// 20,000 directories of five names, the mix of a generated scan tree: 8.3
// names, long names with blanks, lower case, Japanese, and names sharing
// their first six characters. All tables are kept, as a walk keeps them.
void SmallTablesBench()
{
    const char* const words[] = {"report", "Summary", "draft", "Final", "notes", "budget", "Photo", "minutes"};
    const char* const japanese[] = {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\xE8\xB3\x87\xE6\x96\x99",
                                    "\xE5\x86\x99\xE7\x9C\x9F"};
    constexpr std::size_t Directories = 20000;
    constexpr std::size_t Names = 5;
    // Counted from before the names are made: a table takes its names over.
    const std::size_t heapBefore = HeapInUse();
    std::vector<std::vector<std::string>> directories(Directories);
    std::size_t serial = 0;
    for (std::vector<std::string>& names : directories) {
        for (std::size_t i = 0; i < Names; ++i, ++serial) {
            char buffer[128];
            switch (serial * 7 % 10) {
            case 0:
            case 1:
            case 2: std::snprintf(buffer, sizeof buffer, "F%07zX.TXT", serial); break;
            case 3:
            case 4:
                std::snprintf(buffer, sizeof buffer, "%s %s %zu.docx", words[serial % 8], words[serial / 8 % 8],
                              serial);
                break;
            case 5: std::snprintf(buffer, sizeof buffer, "d%07zx.txt", serial); break;
            case 6: std::snprintf(buffer, sizeof buffer, "%s_%zu.txt", japanese[serial % 3], serial); break;
            default: std::snprintf(buffer, sizeof buffer, "SHARED_PREFIX_%zu.CSV", serial); break;
            }
            names.emplace_back(buffer);
        }
    }
    std::vector<std::unique_ptr<const posix::DirectoryTable>> tables;
    tables.reserve(Directories);
    const double start = CpuSeconds();
    for (std::vector<std::string>& names : directories)
        tables.push_back(std::make_unique<const posix::DirectoryTable>(std::move(names)));
    const double cpu = CpuSeconds() - start;
    const std::size_t heap = HeapInUse() - heapBefore - tables.capacity() * sizeof tables[0] -
                             directories.capacity() * sizeof directories[0];
    const double entries = static_cast<double>(Directories * Names);
    std::printf("\ntables of %zu directories of %zu names, all kept: cpu %.3f s (%.2f us per table), "
                "heap %.1f MiB (%.0f bytes per entry)\n",
                Directories, Names, cpu, cpu * 1e6 / Directories, static_cast<double>(heap) / (1024.0 * 1024.0),
                static_cast<double>(heap) / entries);
}

// The best of three builds of one directory's table, in processor seconds.
double TableSeconds(const std::vector<std::string>& names, std::string& lastAlias)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> copy = names;
        const double start = CpuSeconds();
        const posix::DirectoryTable table(std::move(copy));
        best = std::min(best, CpuSeconds() - start);
        lastAlias = table[table.Size() - 1].alias;
    }
    return best;
}

void AliasBench()
{
    std::printf("\naliases of one directory (table built from N names, best of 3, cpu time):\n");
    std::printf("%8s %24s %24s %7s\n", "N", "shared 6 chars (us/name)", "distinct (us/name)", "ratio");
    for (const std::size_t count : {12500u, 25000u, 50000u, 100000u, 200000u}) {
        std::vector<std::string> shared;
        std::vector<std::string> distinct;
        for (std::size_t i = 0; i < count; ++i) {
            shared.push_back("commonprefix number " + std::to_string(i) + ".txt");
            distinct.push_back(std::to_string(i * 7919 % 1000003) + " distinct name.txt");
        }
        std::string sharedAlias;
        std::string distinctAlias;
        const double sharedTime = TableSeconds(shared, sharedAlias);
        const double distinctTime = TableSeconds(distinct, distinctAlias);
        const auto each = [count](double seconds) { return seconds * 1e6 / static_cast<double>(count); };
        std::printf("%8zu %24.3f %24.3f %7.2f   (last alias: %s)\n", count, each(sharedTime), each(distinctTime),
                    sharedTime / distinctTime, sharedAlias.c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t entries = 100000;
    std::size_t fanout = 500;
    bool keep = false;
    fs::path tree;
    bool treeOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--entries") == 0 && i + 1 < argc) {
            entries = std::strtoul(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--fanout") == 0 && i + 1 < argc) {
            fanout = std::strtoul(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--tree") == 0 && i + 1 < argc) {
            tree = argv[++i];
        } else if (std::strcmp(argv[i], "--tree-only") == 0) {
            treeOnly = true;
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else {
            std::fprintf(stderr, "usage: %s [--entries N] [--fanout F] [--keep] [--tree DIR] [--tree-only]\n", argv[0]);
            return 2;
        }
    }
    TreeBench(entries, fanout < 2 ? 2 : fanout, keep, tree);
    if (!treeOnly) {
        SmallTablesBench();
        AliasBench();
    }
    return 0;
}

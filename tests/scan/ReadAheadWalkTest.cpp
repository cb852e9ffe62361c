// A walk on the Linux platform whose next directories are read ahead on a
// second thread reports exactly what a walk on one thread reports: every
// search step the same entry with the same name, alias and attribute word,
// in the same order; the same directories that could not be searched; the
// same short forms. Tried on trees with every kind of name, with few
// descriptors, as a user who may not read everything, and on trees that
// change while the walk goes through them.

#include "platform/FileSystem.h"
#include "platform/WinApi.h"
#include "platform/posix/PosixPlatform.h"
#include "scan/Classify.h"
#include "scan/TreeWalk.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kivra::scan {
namespace {

using namespace platform;

// Passes every call on to the platform beneath, noting what each search
// step and identity reported.
class Recorder : public FileSystem {
public:
    explicit Recorder(FileSystem& inner) : inner_(inner) {}
    std::vector<std::string> steps;

    HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override
    {
        const HANDLE search = inner_.FindFirstFileA(pattern, data);
        steps.push_back(std::string("first ") + pattern + " " + Reported(search != INVALID_HANDLE_VALUE, data));
        return search;
    }
    BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) override
    {
        const BOOL found = inner_.FindNextFileA(search, data);
        steps.push_back("next " + Reported(found, data));
        return found;
    }
    BOOL FindClose(HANDLE search) override { return inner_.FindClose(search); }
    DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity) override
    {
        return inner_.GetShortPathNameA(longPath, shortPath, capacity);
    }
    DWORD GetFileAttributesA(const char* path) override { return inner_.GetFileAttributesA(path); }
    BOOL SetFileAttributesA(const char* path, DWORD attributes) override
    {
        return inner_.SetFileAttributesA(path, attributes);
    }
    BOOL SetCurrentDirectoryA(const char* path) override { return inner_.SetCurrentDirectoryA(path); }
    DWORD GetCurrentDirectoryA(DWORD capacity, char* buffer) override
    {
        return inner_.GetCurrentDirectoryA(capacity, buffer);
    }
    HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                       DWORD flagsAndAttributes) override
    {
        return inner_.CreateFileA(path, access, shareMode, disposition, flagsAndAttributes);
    }
    BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) override
    {
        return inner_.WriteFile(file, data, size, written);
    }
    BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) override
    {
        return inner_.ReadFile(file, buffer, size, read);
    }
    BOOL CloseHandle(HANDLE handle) override { return inner_.CloseHandle(handle); }
    BOOL MoveFileExA(const char* existing, const char* target, DWORD flags) override
    {
        return inner_.MoveFileExA(existing, target, flags);
    }
    BOOL DeleteFileA(const char* path) override { return inner_.DeleteFileA(path); }
    DWORD GetModuleFileNameA(char* buffer, DWORD capacity) override
    {
        return inner_.GetModuleFileNameA(buffer, capacity);
    }
    BOOL GetFileIdentity(const char* path, FileIdentity* identity) override
    {
        const BOOL known = inner_.GetFileIdentity(path, identity);
        // Identities differ between trees made alike; whether one was known
        // does not.
        steps.push_back(std::string("identity ") + path + (known ? " known" : " unknown"));
        return known;
    }
    BOOL WindowsPathFromSystemPath(std::string_view linuxPath, std::string& windowsPath) override
    {
        return inner_.WindowsPathFromSystemPath(linuxPath, windowsPath);
    }
    BOOL SystemPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath) override
    {
        return inner_.SystemPathFromWindowsPath(windowsPath, linuxPath);
    }
    BOOL FindRealName(HANDLE search, std::string& realName) override { return inner_.FindRealName(search, realName); }

private:
    static std::string Reported(bool found, const WIN32_FIND_DATAA* data)
    {
        if (!found) return "error " + std::to_string(GetLastError());
        return std::string(data->cFileName) + " / " + data->cAlternateFileName + " / " +
               std::to_string(data->dwFileAttributes);
    }

    FileSystem& inner_;
};

// What a walk and the classification after it reported.
struct Outcome {
    std::vector<std::string> steps;
    std::vector<std::string> lines;
    std::vector<std::string> shortForms;
    std::vector<std::string> failures;
    std::size_t readAhead = 0; // directories the walk found read ahead
};

class Progress : public WalkProgress {
public:
    explicit Progress(std::function<void(const Text&)> searching) : searching_(std::move(searching)) {}
    void Searching(const Text& directory, std::size_t) override
    {
        if (searching_) searching_(directory);
    }
    void CouldNotSearch(const Text& directory, DWORD error) override
    {
        failures.push_back(directory + " " + std::to_string(error));
    }
    std::vector<std::string> failures;

private:
    std::function<void(const Text&)> searching_;
};

// Walks the tree at `tree`, as drive D:, and classifies what it found;
// `searching` is told of each directory before its search starts.
Outcome Scan(const std::string& tree, bool readAhead, std::function<void(const Text&)> searching = {},
             bool watches = true)
{
    PosixSources sources;
    sources.mountTable = "/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 " + tree + " ext4 rw 0 0\n";
    sources.byLabelDirectory = "/nonexistent";
    sources.sysfsRoot = "/nonexistent";
    sources.readAhead = readAhead;
    sources.watchChanges = watches;
    PosixPlatform posix(sources);
    Platform interfaces = posix.Interfaces();
    Recorder recorder(*interfaces.files);
    interfaces.files = &recorder;
    ScopedPlatform scoped(interfaces);

    Outcome outcome;
    Progress progress(std::move(searching));
    ScanLists lists;
    ListFiles("D:\\", 0x3F, true, true, lists.LongNameList, true, true, false, &progress);
    outcome.readAhead = posix.DirectoriesReadAhead();
    for (std::size_t i = 0; i < lists.LongNameList.Count(); ++i) outcome.lines.emplace_back(lists.LongNameList[i]);
    ClassifyPaths(lists.Refs());
    for (std::size_t i = 0; i < lists.ShortNameList.Count(); ++i)
        outcome.shortForms.emplace_back(lists.ShortNameList[i]);
    outcome.steps = std::move(recorder.steps);
    outcome.failures = std::move(progress.failures);
    return outcome;
}

// Names of every kind: 8.3 names, long names, lower case, Japanese (a second
// byte of 0x5C among them), half-width katakana, names 932 cannot hold,
// bytes that are no UTF-8, names equal but for case, names sharing their
// first six characters, trailing periods and blanks, hidden names, names a
// Windows volume cannot hold, a read-only file, and links of every kind.
void MakeNames(const test::TempDir& temp, const std::string& at)
{
    for (const char* name : {"README.TXT",
                             "a long file name.text",
                             "lower.txt",
                             "MixedCase.Doc",
                             "表示.txt",
                             "\xEF\xBE\x8A\xEF\xBE\x9D.TXT",
                             "\xC3\x9C-umlaut.txt",
                             "smile \xF0\x9F\x98\x80.txt",
                             "bad \xFF\xFE bytes",
                             "DATA",
                             "Data",
                             "data",
                             "Common1.txt",
                             "Common2.txt",
                             "CommonName3.txt",
                             "trailing.",
                             "trailing ",
                             ".hidden",
                             "a:b",
                             "x?y"})
        temp.MakeFile(at + "/" + name);
    chmod((temp.Path() + "/" + at + "/README.TXT").c_str(), 0444);
    const std::string base = temp.Path() + "/" + at + "/";
    symlink("README.TXT", (base + "link to file").c_str());
    symlink("nowhere", (base + "dangling").c_str());
    symlink("..", (base + "up").c_str());
}

// Directories `depth` levels deep, each with the names above and
// subdirectories of every kind of name (two of them equal but for case, and
// one a link to a sibling).
void MakeTree(const test::TempDir& temp, const std::string& at, int depth)
{
    temp.MakeDirectory(at);
    MakeNames(temp, at);
    if (depth == 0) return;
    for (const char* name : {"sub0", "Sub Long Name", "日本語のフォルダ", "表", "DIR", "dir"})
        MakeTree(temp, at + "/" + name, depth - 1);
    symlink("sub0", (temp.Path() + "/" + at + "/link to dir").c_str());
}

void ExpectSame(const Outcome& alone, const Outcome& ahead)
{
    EXPECT_EQ(alone.readAhead, 0u) << "the walk on one thread read nothing ahead";
    EXPECT_EQ(ahead.lines, alone.lines);
    EXPECT_EQ(ahead.shortForms, alone.shortForms);
    EXPECT_EQ(ahead.failures, alone.failures);
    ASSERT_EQ(ahead.steps.size(), alone.steps.size());
    for (std::size_t i = 0; i < alone.steps.size(); ++i) ASSERT_EQ(ahead.steps[i], alone.steps[i]) << "step " << i;
}

// The same comparison in a child: 0 when equal, else the part that differs.
int CompareInChild(const std::string& tree)
{
    const Outcome alone = Scan(tree, false);
    const Outcome ahead = Scan(tree, true);
    if (ahead.readAhead == 0) return 1;
    if (ahead.lines != alone.lines) return 2;
    if (ahead.shortForms != alone.shortForms) return 3;
    if (ahead.failures != alone.failures) return 4;
    if (ahead.steps != alone.steps) return 5;
    if (alone.lines.empty()) return 6;
    return 0;
}

class ReadAheadWalk : public ::testing::Test {
protected:
    test::TempDir temp;
};

TEST_F(ReadAheadWalk, ReportsEveryKindOfNameAsAWalkOnOneThreadDoes)
{
    MakeTree(temp, "tree", 3);
    // Large directories, whose entries both threads examine, one of them
    // with subdirectories of its own.
    for (int i = 0; i < 700; ++i) temp.MakeFile("tree/sub0/large/File Number " + std::to_string(i) + ".txt");
    for (int i = 0; i < 300; ++i) temp.MakeFile("tree/dir/many/d" + std::to_string(i) + "/x.txt");
    const std::string tree = temp.Path() + "/tree";
    const Outcome alone = Scan(tree, false);
    const Outcome ahead = Scan(tree, true);
    ASSERT_GT(alone.lines.size(), 7000u);
    ExpectSame(alone, ahead);
    // Every directory but those below the root's first, which the walk
    // enters before it knows it walks.
    EXPECT_GT(ahead.readAhead, 500u) << "of 561 directories";
}

TEST_F(ReadAheadWalk, ReportsTheSameWithSixtyFourDescriptors)
{
    MakeTree(temp, "tree", 3);
    // And a branch far deeper than the descriptors, a subdirectory beside
    // each level.
    int fd = open((temp.Path() + "/tree").c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 400; ++i) {
        ASSERT_EQ(mkdirat(fd, "beside", 0755), 0);
        close(openat(fd, "beside/file.txt", O_CREAT | O_WRONLY, 0644));
        ASSERT_EQ(mkdirat(fd, "deeper", 0755), 0);
        const int next = openat(fd, "deeper", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(fd);
    const std::string tree = temp.Path() + "/tree";
    int status = 0;
    ASSERT_TRUE(test::InChild(
        [&] {
            const rlimit limit{64, 64};
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 98;
            return CompareInChild(tree);
        },
        status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the part that differs";
}

TEST_F(ReadAheadWalk, ReportsTheSameDirectoriesThatCannotBeSearchedOrOnlyRead)
{
    MakeTree(temp, "tree", 2);
    temp.MakeFile("tree/locked/secret.txt");
    temp.MakeFile("tree/locked/inner/deeper.txt");
    temp.MakeFile("tree/listed only/seen.txt");
    temp.MakeFile("tree/listed only/sub/below.txt");
    temp.MakeFile("tree/sub0/locked too/secret.txt");
    chmod(temp.Path().c_str(), 0755);
    chmod((temp.Path() + "/tree/locked").c_str(), 0);
    chmod((temp.Path() + "/tree/listed only").c_str(), 0444);
    chmod((temp.Path() + "/tree/sub0/locked too").c_str(), 0);
    const std::string tree = temp.Path() + "/tree";
    int status = 0;
    const bool ran = test::InChild(
        [&] {
            const Outcome alone = Scan(tree, false);
            if (alone.failures.size() != 3) return 7;
            return CompareInChild(tree);
        },
        status, true);
    if (!ran) GTEST_SKIP() << "cannot run a child process as nobody here";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the part that differs";
}

// Thirty directories side by side, each with a file and a subdirectory.
void MakeSiblings(const test::TempDir& temp, const std::string& at)
{
    for (int i = 0; i < 30; ++i) {
        const std::string name = at + "/d" + (i < 10 ? "0" : "") + std::to_string(i);
        temp.MakeFile(name + "/old.txt");
        temp.MakeFile(name + "/s/inside.txt");
    }
}

// When the walk is about to search an even directory, the directory after
// it (which the walk reads ahead by then) changes: a file is added, one is
// removed, and its subdirectory is put aside and made anew.
std::function<void(const Text&)> ChangeTheNextDirectory(const std::string& tree)
{
    return [tree](const Text& directory) {
        if (directory.size() != 7 || directory.compare(0, 4, "D:\\d") != 0) return;
        const int number = std::stoi(directory.substr(4, 2));
        if (number % 2 != 0 || number + 1 >= 30) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        const std::string next = tree + "/d" + (number + 1 < 10 ? "0" : "") + std::to_string(number + 1);
        close(open((next + "/new.txt").c_str(), O_CREAT | O_WRONLY, 0644));
        unlink((next + "/old.txt").c_str());
        rename((next + "/s").c_str(), (next + "/s aside").c_str());
        mkdir((next + "/s").c_str(), 0755);
        close(open((next + "/s/made anew.txt").c_str(), O_CREAT | O_WRONLY, 0644));
    };
}

TEST_F(ReadAheadWalk, SeesDirectoriesThatChangedAfterTheyWereReadAhead)
{
    MakeSiblings(temp, "alone");
    MakeSiblings(temp, "ahead");
    const Outcome alone = Scan(temp.Path() + "/alone", false, ChangeTheNextDirectory(temp.Path() + "/alone"));
    const Outcome ahead = Scan(temp.Path() + "/ahead", true, ChangeTheNextDirectory(temp.Path() + "/ahead"));
    ASSERT_GT(ahead.readAhead, 20u);
    EXPECT_EQ(ahead.lines, alone.lines);
    EXPECT_EQ(ahead.shortForms, alone.shortForms);
    // The change shows: the new file, not the old one, and the new
    // subdirectory's file.
    const auto has = [&](const std::string& line) {
        return std::find(ahead.lines.begin(), ahead.lines.end(), line) != ahead.lines.end();
    };
    EXPECT_TRUE(has("D:\\d01\\new.txt"));
    EXPECT_FALSE(has("D:\\d01\\old.txt"));
    EXPECT_TRUE(has("D:\\d01\\s\\made anew.txt"));
    EXPECT_TRUE(has("D:\\d01\\s aside\\inside.txt"));
    EXPECT_TRUE(has("D:\\d28\\old.txt")) << "an odd directory after it stays as it was";
}

TEST_F(ReadAheadWalk, SeesDirectoriesThatChangedAfterTheyWereReadAheadWithoutWatches)
{
    MakeSiblings(temp, "alone");
    MakeSiblings(temp, "ahead");
    // Unwatched, a directory's times tell nothing within a clock tick of its
    // last change: the trees are left to settle first.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const Outcome alone = Scan(temp.Path() + "/alone", false, ChangeTheNextDirectory(temp.Path() + "/alone"), false);
    const Outcome ahead = Scan(temp.Path() + "/ahead", true, ChangeTheNextDirectory(temp.Path() + "/ahead"), false);
    ASSERT_GT(ahead.readAhead, 20u);
    EXPECT_EQ(ahead.lines, alone.lines);
    EXPECT_EQ(ahead.shortForms, alone.shortForms);
    EXPECT_NE(std::find(ahead.lines.begin(), ahead.lines.end(), "D:\\d03\\new.txt"), ahead.lines.end());
}

} // namespace
} // namespace kivra::scan

// The walk over real Linux trees: it stays on its volume and ends on every
// tree (links to directories and mounted file systems are listed, not
// entered), it is complete however deep the tree and however few
// descriptors the process may open, and every directory it cannot search is
// told, never taken for an empty one.

#include "platform/WinApi.h"
#include "platform/posix/PosixPlatform.h"
#include "scan/TreeWalk.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kivra::scan {
namespace {

using test::InChild;

using platform::DWORD;
using platform::Text;

class Failures : public WalkProgress {
public:
    void Searching(const Text& directory, std::size_t) override
    {
        if (searching) searching(directory);
    }
    void CouldNotSearch(const Text& directory, DWORD error) override
    {
        told.push_back(directory + " " + std::to_string(error));
    }
    std::vector<std::string> told;
    // Told of each directory before its search starts.
    std::function<void(const Text&)> searching;
};

platform::PosixSources TreeAsDriveD(const std::string& tree)
{
    platform::PosixSources sources;
    sources.mountTable = "/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 " + tree + " ext4 rw 0 0\n";
    sources.byLabelDirectory = "/nonexistent";
    sources.sysfsRoot = "/nonexistent";
    return sources;
}

class LinuxTreeWalk : public ::testing::Test {
protected:
    void Use(const std::string& tree)
    {
        posix.emplace(TreeAsDriveD(tree));
        scoped.emplace(posix->Interfaces());
    }

    std::vector<std::string> Walk(const Text& root, Failures* failures = nullptr)
    {
        TStringList list;
        ListFiles(root, 0x3F, true, true, list, true, true, false, failures);
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < list.Count(); ++i) lines.emplace_back(list[i]);
        return lines;
    }

    void Link(const std::string& target, const std::string& at)
    {
        ASSERT_EQ(symlink(target.c_str(), (temp.Path() + "/" + at).c_str()), 0) << at;
    }

    test::TempDir temp;
    std::optional<platform::PosixPlatform> posix;
    std::optional<platform::ScopedPlatform> scoped;
};

TEST_F(LinuxTreeWalk, LinksToDirectoriesAreListedAndNotEnteredSoADiamondChainEnds)
{
    // Each of 24 directories holds two links to the next: entered, they would
    // make 2^24 paths.
    constexpr int count = 24;
    std::vector<std::string> expected;
    for (int i = 0; i < count; ++i) {
        const std::string name = "n" + std::string(i < 10 ? "0" : "") + std::to_string(i);
        temp.MakeDirectory(name);
        expected.push_back("D:\\" + name + "\\");
        if (i + 1 == count) continue;
        const std::string next = "../n" + std::string(i + 1 < 10 ? "0" : "") + std::to_string(i + 1);
        Link(next, name + "/x");
        Link(next, name + "/y");
        expected.push_back("D:\\" + name + "\\x\\");
        expected.push_back("D:\\" + name + "\\y\\");
    }
    Use(temp.Path());
    EXPECT_EQ(Walk("D:\\"), expected);
    EXPECT_EQ(platform::GetFileAttributesA("D:\\n00\\x"), 0x410u);
    EXPECT_EQ(Walk("D:\\N00\\X"), (std::vector<std::string>{"D:\\N00\\X\\x\\", "D:\\N00\\X\\y\\"}))
        << "a root that is a link is walked";
}

TEST_F(LinuxTreeWalk, ALinkUpTheTreeAndALinkOutOfItAreListedOnly)
{
    temp.MakeFile("tree/a/file.txt");
    temp.MakeFile("outside/secret.txt");
    Link("..", "tree/a/up");
    Link(temp.Path() + "/outside", "tree/out");
    Link("a/file.txt", "tree/file link");
    Use(temp.Path() + "/tree");
    EXPECT_EQ(Walk("D:\\"),
              (std::vector<std::string>{"D:\\a\\", "D:\\a\\file.txt", "D:\\a\\up\\", "D:\\file link", "D:\\out\\"}));
    // The directory list still enters them.
    ASSERT_TRUE(platform::SetCurrentDirectoryA("D:\\out"));
    EXPECT_EQ(platform::GetFileAttributesA("secret.txt"), 0x20u);
    ASSERT_TRUE(platform::SetCurrentDirectoryA("C:\\"));
}

// Between the search that reports a directory and the walk's going down
// into it, something else takes its place: the walk does not enter it, says
// so, and goes on with the rest of the tree.
TEST_F(LinuxTreeWalk, ADirectoryReplacedBeforeTheWalkEntersItIsToldAndNotEntered)
{
    const std::string victim = temp.Path() + "/tree/b/victim";
    const std::string aside = victim + " aside";
    const struct {
        const char* what;
        std::function<void()> replace;
    } replacements[] = {
        {"a link out of the tree", [&] { ASSERT_EQ(symlink((temp.Path() + "/outside").c_str(), victim.c_str()), 0); }},
        {"a link to the directory itself, moved aside", [&] { ASSERT_EQ(symlink(aside.c_str(), victim.c_str()), 0); }},
        {"another directory",
         [&] {
             ASSERT_EQ(mkdir(victim.c_str(), 0755), 0);
             close(open((victim + "/made anew.txt").c_str(), O_CREAT | O_WRONLY, 0644));
         }},
    };
    temp.MakeFile("outside/secret.txt");
    temp.MakeFile("tree/a/seen.txt");
    temp.MakeFile("tree/zafter/z.txt");
    const std::vector<std::string> expected = {"D:\\a\\",         "D:\\a\\seen.txt",  "D:\\b\\",
                                               "D:\\b\\victim\\", "D:\\b\\zafter\\",  "D:\\b\\zafter\\z.txt",
                                               "D:\\zafter\\",    "D:\\zafter\\z.txt"};
    for (const bool readAhead : {false, true}) {
        for (const auto& replacement : replacements) {
            SCOPED_TRACE(std::string(replacement.what) + (readAhead ? ", read ahead" : ", on one thread"));
            std::filesystem::remove_all(temp.Path() + "/tree/b");
            temp.MakeFile("tree/b/victim/inside.txt");
            temp.MakeFile("tree/b/victim/below/deeper.txt");
            temp.MakeFile("tree/b/zafter/z.txt");
            platform::PosixSources sources = TreeAsDriveD(temp.Path() + "/tree");
            sources.readAhead = readAhead;
            posix.emplace(sources);
            scoped.emplace(posix->Interfaces());
            Failures failures;
            failures.searching = [&](const Text& directory) {
                if (directory != "D:\\b\\victim\\") return;
                ASSERT_EQ(rename(victim.c_str(), aside.c_str()), 0);
                replacement.replace();
            };
            EXPECT_EQ(Walk("D:\\", &failures), expected);
            EXPECT_EQ(failures.told, std::vector<std::string>{"D:\\b\\victim\\ 1006"});
            scoped.reset();
        }
    }
}

TEST_F(LinuxTreeWalk, AFileSystemMountedInsideTheTreeIsListedAndNotEntered)
{
    temp.MakeFile("tree/mnt/hidden below.txt");
    temp.MakeFile("tree/plain/seen.txt");
    const std::string tree = temp.Path() + "/tree";
    int status = 0;
    ASSERT_TRUE(InChild(
        [&] {
            // A mount namespace of its own, so that nothing outlives the child.
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 98;
            if (mount("kivra-test", (tree + "/mnt").c_str(), "tmpfs", 0, "size=1m") != 0) return 98;
            close(open((tree + "/mnt/on tmpfs.txt").c_str(), O_CREAT | O_WRONLY, 0644));
            platform::PosixPlatform posix(TreeAsDriveD(tree));
            platform::ScopedPlatform scoped(posix.Interfaces());
            TStringList list;
            ListFiles("D:\\", 0x3F, true, true, list, true, true, false);
            const std::vector<std::string> expected = {"D:\\mnt\\", "D:\\plain\\", "D:\\plain\\seen.txt"};
            if (list.Count() != expected.size()) return 1;
            for (std::size_t i = 0; i < expected.size(); ++i)
                if (std::string(list[i]) != expected[i]) return 2;
            if (platform::GetFileAttributesA("D:\\MNT") != 0x410u) return 3;
            // Searched when asked for: the mounted file system's own entries.
            platform::WIN32_FIND_DATAA data{};
            const platform::HANDLE search = platform::FindFirstFileA("D:\\mnt\\on*", &data);
            if (search == platform::INVALID_HANDLE_VALUE || std::string(data.cFileName) != "on tmpfs.txt") return 4;
            platform::FindClose(search);
            return 0;
        },
        status));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 98) GTEST_SKIP() << "mounting a file system is not permitted here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

TEST_F(LinuxTreeWalk, AWalkThreeThousandLevelsDeepIsCompleteWithSixtyFourDescriptors)
{
    constexpr int depth = 3000;
    int fd = open(temp.Path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
        const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(openat(fd, "Deep File.txt", O_CREAT | O_WRONLY, 0644));
    close(fd);
    const std::string tree = temp.Path();
    int status = 0;
    ASSERT_TRUE(InChild(
        [&] {
            const rlimit limit{64, 64};
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
            platform::PosixPlatform posix(TreeAsDriveD(tree));
            platform::ScopedPlatform scoped(posix.Interfaces());
            Failures failures;
            TStringList list;
            ListFiles("D:\\", 0x3F, true, true, list, true, true, false, &failures);
            if (!failures.told.empty()) return 2;
            if (list.Count() != depth + 1) return 3;
            const std::string last(list[depth]);
            if (last.size() != 3 + 2 * depth + 13 || last.substr(last.size() - 15) != "d\\Deep File.txt") return 4;
            return 0;
        },
        status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
    // The tree is too deep for path names: it is removed from descriptors.
    std::function<void(int, const char*)> remove = [&](int parent, const char* name) {
        const int dir = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (dir >= 0) {
            unlinkat(dir, "Deep File.txt", 0);
            remove(dir, "d");
            close(dir);
        }
        unlinkat(parent, name, AT_REMOVEDIR);
    };
    const int top = open(temp.Path().c_str(), O_RDONLY | O_DIRECTORY);
    remove(top, "d");
    close(top);
}

// Without watches every directory on a path is looked at on each call, and
// one that has given up its descriptor is opened again from an ancestor.
TEST_F(LinuxTreeWalk, ADeepWalkWithoutWatchesAndFewDescriptorsIsComplete)
{
    constexpr int depth = 150;
    std::string relative;
    for (int i = 0; i < depth; ++i) relative += (i ? "/" : "") + std::string(i % 2 ? "odd" : "even");
    temp.MakeFile(relative + "/last.txt");
    temp.MakeFile("even/beside.txt");
    const std::string tree = temp.Path();
    int status = 0;
    ASSERT_TRUE(InChild(
        [&] {
            const rlimit limit{64, 64};
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
            platform::PosixSources sources = TreeAsDriveD(tree);
            sources.watchChanges = false;
            platform::PosixPlatform posix(sources);
            platform::ScopedPlatform scoped(posix.Interfaces());
            Failures failures;
            TStringList list;
            ListFiles("D:\\", 0x3F, true, true, list, true, true, false, &failures);
            if (!failures.told.empty()) return 2;
            if (list.Count() != depth + 2) return 3;
            // And back up to the top from the bottom, in one call.
            if (platform::GetFileAttributesA("D:\\even\\beside.txt") != 0x20u) return 4;
            return 0;
        },
        status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

TEST_F(LinuxTreeWalk, RunningOutOfDescriptorsIsToldAsSuchNeverAsAnEmptyDirectory)
{
#ifdef KIVRA_SANITIZED
    GTEST_SKIP() << "the sanitizers' checks need descriptors of their own, which this test takes";
#endif
    temp.MakeFile("sub/file.txt");
    const std::string tree = temp.Path();
    int status = 0;
    ASSERT_TRUE(InChild(
        [&] {
            const rlimit limit{64, 64};
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
            platform::PosixPlatform posix(TreeAsDriveD(tree));
            platform::ScopedPlatform scoped(posix.Interfaces());
            Failures failures;
            TStringList list;
            // The drive's root open, every other descriptor taken: the
            // directory cannot be opened.
            if (!CanSearchDirectory("D:\\")) return 2;
            std::vector<int> taken;
            for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
            ListFiles("D:\\sub\\", 0x3F, true, true, list, true, true, false, &failures);
            if (list.Count() != 0) return 3;
            if (failures.told != std::vector<std::string>{"D:\\sub\\ 4"}) return 4;
            // With descriptors to spare again, the same walk is whole.
            for (const int fd : taken) close(fd);
            failures.told.clear();
            ListFiles("D:\\sub\\", 0x3F, true, true, list, true, true, false, &failures);
            if (list.Count() != 1 || !failures.told.empty()) return 5;
            return 0;
        },
        status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

TEST_F(LinuxTreeWalk, DirectoriesThatCannotBeSearchedAreToldAndThoseThatCanBeReadStillGiveTheirNames)
{
    temp.MakeFile("tree/readable/.hidden");
    temp.MakeFile("tree/readable/file.txt");
    temp.MakeFile("tree/readable/sub/below.txt");
    temp.MakeFile("tree/locked/secret.txt");
    temp.MakeFile("tree/open/seen.txt");
    chmod(temp.Path().c_str(), 0755);
    chmod((temp.Path() + "/tree").c_str(), 0755);
    chmod((temp.Path() + "/tree/readable").c_str(), 0444); // read, no search
    chmod((temp.Path() + "/tree/locked").c_str(), 0);
    const std::string tree = temp.Path() + "/tree";
    int status = 0;
    const bool ran = InChild(
        [&] {
            platform::PosixPlatform posix(TreeAsDriveD(tree));
            platform::ScopedPlatform scoped(posix.Interfaces());
            Failures failures;
            TStringList list;
            ListFiles("D:\\", 0x3F, true, true, list, true, true, false, &failures);
            const std::vector<std::string> expected = {"D:\\locked\\",          "D:\\open\\",
                                                       "D:\\open\\seen.txt",    "D:\\readable\\",
                                                       "D:\\readable\\.hidden", "D:\\readable\\file.txt",
                                                       "D:\\readable\\sub\\"};
            if (list.Count() != expected.size()) return 1;
            for (std::size_t i = 0; i < expected.size(); ++i)
                if (std::string(list[i]) != expected[i]) return 2;
            if (failures.told != std::vector<std::string>{"D:\\locked\\ 5", "D:\\readable\\sub\\ 5"}) return 3;
            // What the listing tells: the kind, and hidden for a leading ".".
            platform::WIN32_FIND_DATAA data{};
            const platform::HANDLE search = platform::FindFirstFileA("D:\\readable\\.h*", &data);
            if (search == platform::INVALID_HANDLE_VALUE || data.dwFileAttributes != 0x22u) return 4;
            platform::FindClose(search);
            if (platform::FindFirstFileA("D:\\readable\\sub*", &data) == platform::INVALID_HANDLE_VALUE ||
                data.dwFileAttributes != 0x10u)
                return 5;
            return 0;
        },
        status, true);
    if (!ran) GTEST_SKIP() << "cannot run a child process as nobody here";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

TEST_F(LinuxTreeWalk, AnUnreadableRootGivesNoLinesAndIsTold)
{
    temp.MakeFile("tree/locked/secret.txt");
    chmod(temp.Path().c_str(), 0755);
    chmod((temp.Path() + "/tree").c_str(), 0755);
    chmod((temp.Path() + "/tree/locked").c_str(), 0);
    const std::string tree = temp.Path() + "/tree";
    int status = 0;
    const bool ran = InChild(
        [&] {
            platform::PosixPlatform posix(TreeAsDriveD(tree));
            platform::ScopedPlatform scoped(posix.Interfaces());
            if (CanSearchDirectory("D:\\locked")) return 1;
            Failures failures;
            TStringList list;
            ListFiles("D:\\LOCKED", 0x3F, true, true, list, true, true, false, &failures);
            if (list.Count() != 0) return 2;
            if (failures.told != std::vector<std::string>{"D:\\LOCKED\\ 5"}) return 3;
            return 0;
        },
        status, true);
    if (!ran) GTEST_SKIP() << "cannot run a child process as nobody here";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

} // namespace
} // namespace kivra::scan

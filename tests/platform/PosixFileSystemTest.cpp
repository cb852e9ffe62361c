// The Linux file system seen through the Windows calls, on real temporary
// trees: a test's temporary directory is drive D:.

#include "platform/posix/PosixPlatform.h"

#include "platform/WinApi.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kivra::platform {
namespace {

using test::Bytes;
using test::TempDir;

struct Entry {
    std::string name;
    DWORD attributes;
    std::string alias;
};

class PosixFiles : public ::testing::Test {
protected:
    // watchLimit 0: as many directories watched as the machine allows.
    explicit PosixFiles(std::size_t watchLimit = 0)
        : posix(Sources(temp.Path(), watchLimit)),
          scoped(posix.Interfaces())
    {}

    static PosixSources Sources(const std::string& root, std::size_t watchLimit = 0)
    {
        PosixSources sources;
        sources.mountTable = "/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 " + root + " ext4 rw 0 0\n";
        sources.byLabelDirectory = "/nonexistent";
        sources.sysfsRoot = "/nonexistent";
        sources.executablePath = root + "/bin/kivra";
        sources.watchLimit = watchLimit;
        return sources;
    }

    // Every entry a search reports, in its order.
    static std::vector<Entry> List(const std::string& pattern)
    {
        std::vector<Entry> entries;
        WIN32_FIND_DATAA data{};
        const HANDLE search = FindFirstFileA(pattern.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return entries;
        do entries.push_back(Entry{data.cFileName, data.dwFileAttributes, data.cAlternateFileName});
        while (FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        FindClose(search);
        return entries;
    }

    static std::vector<std::string> Names(const std::string& pattern)
    {
        std::vector<std::string> names;
        for (const Entry& entry : List(pattern)) names.push_back(entry.name);
        return names;
    }

    static std::string Short(const std::string& path)
    {
        std::vector<char> buffer(path.size() + 16);
        const DWORD length = GetShortPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return "<error " + std::to_string(GetLastError()) + ">";
        if (length >= buffer.size()) return "<far longer than the long path>";
        return std::string(buffer.data(), length);
    }

    // The Windows path through C: of a Linux path whose names show as they are.
    static std::string OnC(std::string linuxPath)
    {
        for (char& c : linuxPath) c = c == '/' ? '\\' : c;
        return "C:" + linuxPath;
    }

    static FileIdentity LinuxIdentity(const std::string& path)
    {
        struct stat st {};
        EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
        return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

    static FileIdentity Identity(const std::string& path)
    {
        FileIdentity identity;
        EXPECT_TRUE(GetFileIdentity(path.c_str(), &identity)) << path << " error " << GetLastError();
        return identity;
    }

    static std::string Contents(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    TempDir temp;
    PosixPlatform posix;
    ScopedPlatform scoped;
};

// A platform that watches few directories, so that tests reach the
// directories beyond the watched ones quickly.
class PosixFilesWithFewWatches : public PosixFiles {
protected:
    static constexpr int WatchLimit = 128;
    PosixFilesWithFewWatches() : PosixFiles(WatchLimit) {}

    // The inodes of the directories the process watches, read from the
    // kernel's view of its inotify descriptors.
    static std::set<ino_t> WatchedInodes()
    {
        std::set<ino_t> inodes;
        DIR* descriptors = opendir("/proc/self/fd");
        while (const dirent* entry = readdir(descriptors)) {
            char target[64] = {};
            const std::string link = std::string("/proc/self/fd/") + entry->d_name;
            if (readlink(link.c_str(), target, sizeof target - 1) <= 0 || std::string(target) != "anon_inode:inotify")
                continue;
            std::ifstream info(std::string("/proc/self/fdinfo/") + entry->d_name);
            for (std::string line; std::getline(info, line);) {
                const std::size_t at = line.find(" ino:");
                if (line.rfind("inotify ", 0) == 0 && at != std::string::npos)
                    inodes.insert(static_cast<ino_t>(std::stoull(line.substr(at + 5), nullptr, 16)));
            }
        }
        closedir(descriptors);
        return inodes;
    }

    static ino_t InodeOf(const std::string& path)
    {
        struct stat st {};
        EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
        return st.st_ino;
    }
};

TEST_F(PosixFiles, AttributeWordsTellDirectoriesFilesReadOnlyAndHiddenEntries)
{
    temp.MakeDirectory("dir");
    temp.MakeFile("file");
    const std::string readOnly = temp.MakeFile("locked");
    chmod(readOnly.c_str(), 0444);
    temp.MakeFile(".hidden");
    ASSERT_EQ(symlink("dir", (temp.Path() + "/dirlink").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (temp.Path() + "/dangling").c_str()), 0);
    std::map<std::string, DWORD> seen;
    for (const Entry& entry : List("D:\\*.*")) seen[entry.name] = entry.attributes;
    EXPECT_EQ(seen["dir"], 0x10u);
    EXPECT_EQ(seen["file"], 0x20u);
    EXPECT_EQ(seen["locked"], 0x21u);
    EXPECT_EQ(seen[".hidden"], 0x22u);
    EXPECT_EQ(seen["dirlink"], 0x410u) << "a directory link is a reparse point";
    EXPECT_EQ(seen["dangling"], 0x20u);
    EXPECT_EQ(GetFileAttributesA("D:\\locked"), 0x21u);

    // "." and ".." both carry the word of the directory searched.
    chmod((temp.Path() + "/dir").c_str(), 0555);
    std::map<std::string, DWORD> dots;
    for (const Entry& entry : List("D:\\dir\\*.*")) dots[entry.name] = entry.attributes;
    EXPECT_EQ(dots["."], 0x11u);
    EXPECT_EQ(dots[".."], 0x11u);
    chmod((temp.Path() + "/dir").c_str(), 0755);
    EXPECT_EQ(GetFileAttributesA("D:\\"), 0x10u);
}

TEST_F(PosixFiles, LossyNamesShowQuestionMarksAndStillResolve)
{
    temp.MakeFile("caf\xC3\xA9.txt", "e-acute"); // café.txt
    temp.MakeFile("a\\b", "backslash");
    temp.MakeFile("c:d", "colon");
    temp.MakeFile("bad\xFF\xFE", "not UTF-8");
    std::map<std::string, std::string> aliases;
    for (const Entry& entry : List("D:\\*.*")) aliases[entry.name] = entry.alias;
    ASSERT_EQ(aliases.size(), 4u);
    EXPECT_EQ(aliases["caf?.txt"], "CAF_~1.TXT");
    EXPECT_EQ(aliases["a?b"], "A_B~1");
    EXPECT_EQ(aliases["c?d"], "C_D~1");
    EXPECT_EQ(aliases["bad??"], "BAD__~1");
    EXPECT_EQ(Identity("D:\\caf?.txt"), LinuxIdentity(temp.Path() + "/caf\xC3\xA9.txt"));
    EXPECT_EQ(Identity("D:\\CAF_~1.TXT"), LinuxIdentity(temp.Path() + "/caf\xC3\xA9.txt"));
    EXPECT_EQ(Identity("D:\\a?b"), LinuxIdentity(temp.Path() + "/a\\b"));
    EXPECT_EQ(Identity("D:\\bad??"), LinuxIdentity(temp.Path() + "/bad\xFF\xFE"));
    EXPECT_EQ(Short("D:\\caf?.txt"), "D:\\CAF_~1.TXT");
}

TEST_F(PosixFiles, NamesShownAlikeAreNumberedFromTheSecondOn)
{
    temp.MakeFile("caf\xC3\xA8", "e-grave"); // cafè sorts before café
    temp.MakeFile("caf\xC3\xA9", "e-acute");
    const std::vector<Entry> entries = List("D:\\*.*");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "caf?");
    EXPECT_EQ(entries[0].alias, "CAF_~1");
    EXPECT_EQ(entries[1].name, "caf?~2");
    EXPECT_EQ(entries[1].alias, "CAF_~2");
    EXPECT_EQ(Identity("D:\\caf?"), LinuxIdentity(temp.Path() + "/caf\xC3\xA8"));
    EXPECT_EQ(Identity("D:\\CAF?~2"), LinuxIdentity(temp.Path() + "/caf\xC3\xA9"));
    EXPECT_EQ(Identity("D:\\CAF_~2"), LinuxIdentity(temp.Path() + "/caf\xC3\xA9"));
}

TEST_F(PosixFiles, AChangedDirectoryGetsANewTable)
{
    temp.MakeFile("first file.txt");
    EXPECT_EQ(Short("D:\\first file.txt"), "D:\\FIRSTF~1.TXT");
    EXPECT_EQ(Short("D:\\second file.txt"), "<error 2>");
    temp.MakeFile("second file.txt");
    EXPECT_EQ(Short("D:\\second file.txt"), "D:\\SECOND~1.TXT");
    EXPECT_EQ(Names("D:\\*.*").size(), 2u);
}

TEST_F(PosixFiles, ChangesMadeByAnotherProcessAreSeenAtTheNextCall)
{
    temp.MakeFile("dir/old name.txt");
    EXPECT_EQ(Short("D:\\dir\\old name.txt"), "D:\\dir\\OLDNAM~1.TXT");
    const std::string directory = temp.Path() + "/dir";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool renamed = rename((directory + "/old name.txt").c_str(), (directory + "/new name.txt").c_str()) == 0;
        const int made = open((directory + "/another long name.txt").c_str(), O_CREAT | O_WRONLY, 0644);
        _exit(renamed && made >= 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Short("D:\\dir\\old name.txt"), "<error 2>");
    EXPECT_EQ(Short("D:\\dir\\new name.txt"), "D:\\dir\\NEWNAM~1.TXT");
    EXPECT_EQ(Short("D:\\dir\\another long name.txt"), "D:\\dir\\ANOTHE~1.TXT");
}

TEST_F(PosixFilesWithFewWatches, ChangesAreSeenInMoreDirectoriesThanAreWatched)
{
    constexpr int count = 2 * WatchLimit;
    for (int i = 0; i < count; ++i) temp.MakeFile("d" + std::to_string(i) + "/first long name.txt");
    for (int i = 0; i < count; ++i) ASSERT_EQ(Names("D:\\d" + std::to_string(i) + "\\*.*").size(), 3u) << i;
    for (const int i : {0, count / 2, count - 1}) {
        const std::string directory = temp.Path() + "/d" + std::to_string(i);
        ASSERT_EQ(rename((directory + "/first long name.txt").c_str(), (directory + "/second long name.txt").c_str()),
                  0);
        EXPECT_EQ(Names("D:\\d" + std::to_string(i) + "\\*.*"),
                  (std::vector<std::string>{".", "..", "second long name.txt"}))
            << i;
        EXPECT_EQ(Short("D:\\d" + std::to_string(i) + "\\second long name.txt"),
                  "D:\\d" + std::to_string(i) + "\\SECOND~1.TXT");
    }
}

// A scan asks for the short form of every path of a tree in its order; each
// answer must still follow the directories as they are at that moment.
TEST_F(PosixFiles, ShortPathsInTurnFollowTheirDirectoriesAsTheyAreNow)
{
    temp.MakeFile("long directory/first long name.txt");
    temp.MakeFile("long directory/second long name.txt");
    temp.MakeFile("long directory/inner long directory/third long name.txt");
    EXPECT_EQ(Short("D:\\long directory\\first long name.txt"), "D:\\LONGDI~1\\FIRSTL~1.TXT");
    EXPECT_EQ(Short("D:\\long directory\\second long name.txt"), "D:\\LONGDI~1\\SECOND~1.TXT");
    EXPECT_EQ(Short("D:\\long directory\\inner long directory\\"), "D:\\LONGDI~1\\INNERL~1\\");
    EXPECT_EQ(Short("D:\\long directory\\inner long directory\\third long name.txt"),
              "D:\\LONGDI~1\\INNERL~1\\THIRDL~1.TXT");
    EXPECT_EQ(Short("D:\\long directory\\SECOND LONG NAME.TXT"), "D:\\LONGDI~1\\SECOND~1.TXT");
    EXPECT_EQ(Short("D:\\long directory\\missing.txt"), "<error 2>");

    // A name of the same directory, after the directory itself was renamed.
    const std::string from = temp.Path() + "/long directory";
    ASSERT_EQ(rename(from.c_str(), (temp.Path() + "/moved directory").c_str()), 0);
    EXPECT_EQ(Short("D:\\long directory\\first long name.txt"), "<error 3>");
    EXPECT_EQ(Short("D:\\long directory\\inner long directory\\third long name.txt"), "<error 3>");
    EXPECT_EQ(Short("D:\\moved directory\\first long name.txt"), "D:\\MOVEDD~1\\FIRSTL~1.TXT");

    // A name of a subdirectory, after the entry was renamed within it.
    EXPECT_EQ(Short("D:\\moved directory\\inner long directory\\third long name.txt"),
              "D:\\MOVEDD~1\\INNERL~1\\THIRDL~1.TXT");
    const std::string inner = temp.Path() + "/moved directory/inner long directory/";
    ASSERT_EQ(rename((inner + "third long name.txt").c_str(), (inner + "fourth long name.txt").c_str()), 0);
    EXPECT_EQ(Short("D:\\moved directory\\inner long directory\\third long name.txt"), "<error 2>");
    EXPECT_EQ(Short("D:\\moved directory\\inner long directory\\fourth long name.txt"),
              "D:\\MOVEDD~1\\INNERL~1\\FOURTH~1.TXT");
}

// A walk asks for the identity of each directory a search has just found.
TEST_F(PosixFiles, TheIdentityOfADirectoryJustFoundIsTheOneThereNow)
{
    temp.MakeDirectory("dir/sub");
    WIN32_FIND_DATAA data{};
    const HANDLE search = FindFirstFileA("D:\\dir\\*.*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    while (std::string(data.cFileName) != "sub") ASSERT_TRUE(FindNextFileA(search, &data));
    EXPECT_EQ(Identity("D:\\dir\\sub\\"), LinuxIdentity(temp.Path() + "/dir/sub"));
    EXPECT_EQ(Identity("D:\\dir\\SUB"), LinuxIdentity(temp.Path() + "/dir/sub"));

    // Replaced between the search step and the question.
    const std::string sub = temp.Path() + "/dir/sub";
    ASSERT_EQ(rename(sub.c_str(), (temp.Path() + "/dir/old").c_str()), 0);
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    EXPECT_EQ(Identity("D:\\dir\\sub\\"), LinuxIdentity(sub));
    EXPECT_FALSE(Identity("D:\\dir\\sub\\") == LinuxIdentity(temp.Path() + "/dir/old"));
    FindClose(search);
}

// Directories beyond the watched ones keep their tables; a change made while
// they were not watched is still seen.
TEST_F(PosixFilesWithFewWatches, ShortPathsSeeChangesInDirectoriesNoLongerWatched)
{
    constexpr int count = 2 * WatchLimit;
    for (int i = 0; i < count; ++i) temp.MakeFile("d" + std::to_string(i) + "/first long name.txt");
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(Short("D:\\d" + std::to_string(i) + "\\first long name.txt"),
                  "D:\\d" + std::to_string(i) + "\\FIRSTL~1.TXT");
    const std::string directory = temp.Path() + "/d0";
    // Past the tick the directory's times stand at, so that only its times tell.
    usleep(150000);
    ASSERT_EQ(rename((directory + "/first long name.txt").c_str(), (directory + "/second long name.txt").c_str()), 0);
    EXPECT_EQ(Short("D:\\d0\\first long name.txt"), "<error 2>");
    EXPECT_EQ(Short("D:\\d0\\second long name.txt"), "D:\\d0\\SECOND~1.TXT");
}

// Once every watch is taken, a directory that paths go through takes the
// watch of one that only held last names; other directories go without.
TEST_F(PosixFilesWithFewWatches, DirectoriesThatPathsGoThroughAreWatchedBeforeThoseHoldingLastNames)
{
    constexpr int count = 2 * WatchLimit;
    std::vector<std::string> tree;
    for (int i = 0; i < count; ++i) tree.push_back(temp.MakeDirectory("leaf" + std::to_string(i)));
    temp.MakeFile("trunk/branch/twig/file.txt");
    for (const char* name : {"trunk", "trunk/branch", "trunk/branch/twig"}) tree.push_back(temp.Path() + "/" + name);
    // Of this tree's directories (the process may watch others too).
    const auto watchedInTree = [&] {
        const std::set<ino_t> watched = WatchedInodes();
        std::size_t n = 0;
        for (const std::string& directory : tree) n += watched.count(InodeOf(directory));
        return n;
    };
    for (int i = 0; i < count; ++i) ASSERT_EQ(Names("D:\\leaf" + std::to_string(i) + "\\*.*").size(), 2u) << i;
    const std::size_t before = watchedInTree();
    EXPECT_LE(before, static_cast<std::size_t>(WatchLimit));
    EXPECT_GT(before, static_cast<std::size_t>(WatchLimit) / 2);
    std::set<ino_t> watched = WatchedInodes();
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/leaf0")), 1u) << "the first directories keep their watches";
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/leaf" + std::to_string(count - 1))), 0u);

    EXPECT_EQ(Names("D:\\trunk\\branch\\twig\\*.*"), (std::vector<std::string>{".", "..", "file.txt"}));
    EXPECT_EQ(watchedInTree(), before) << "taken from others, not added";
    watched = WatchedInodes();
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/trunk")), 1u);
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/trunk/branch")), 1u);
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/trunk/branch/twig")), 0u);
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/leaf0")), 0u)
        << "the longest-watched last directory gave its watch";

    // A change in a directory that gave its watch is still seen.
    temp.MakeFile("leaf0/made.txt");
    EXPECT_EQ(Names("D:\\leaf0\\*.*"), (std::vector<std::string>{".", "..", "made.txt"}));
}

// Watches are borrowed from the user's allowance: a bounded number while
// calls come, none once the program has been idle for a while, and a
// change made meanwhile is seen all the same.
TEST_F(PosixFilesWithFewWatches, WatchesAreBoundedAndGivenBackWhenTheProgramIsIdle)
{
    constexpr int count = 2 * WatchLimit;
    for (int i = 0; i < count; ++i) temp.MakeFile("leaf" + std::to_string(i) + "/file.txt");
    PosixSources sources = Sources(temp.Path(), WatchLimit);
    sources.idleMilliseconds = 300;
    PosixPlatform idle(sources);
    ScopedPlatform scoped(idle.Interfaces());
    const auto watchedLeaves = [&] {
        const std::set<ino_t> watched = WatchedInodes();
        std::size_t leaves = 0;
        for (int i = 0; i < count; ++i) leaves += watched.count(InodeOf(temp.Path() + "/leaf" + std::to_string(i)));
        return leaves;
    };
    for (int i = 0; i < count; ++i) ASSERT_EQ(Names("D:\\leaf" + std::to_string(i) + "\\*.*").size(), 3u) << i;
    EXPECT_GT(watchedLeaves(), 0u);
    EXPECT_LE(watchedLeaves(), static_cast<std::size_t>(WatchLimit));
    EXPECT_EQ(WatchedInodes().count(InodeOf(temp.Path() + "/leaf0")), 1u);

    usleep(1000000);
    EXPECT_EQ(watchedLeaves(), 0u) << "all given back";
    ASSERT_EQ(rename((temp.Path() + "/leaf0/file.txt").c_str(), (temp.Path() + "/leaf0/renamed.txt").c_str()), 0);
    EXPECT_EQ(Names("D:\\leaf0\\*.*"), (std::vector<std::string>{".", "..", "renamed.txt"}));
    EXPECT_EQ(WatchedInodes().count(InodeOf(temp.Path() + "/leaf0")), 1u) << "watched again when used again";
}

// Watches name a directory through the descriptor table of the process that
// adds them: a forked child watches its own directories, not whatever its
// parent holds under the same numbers.
TEST_F(PosixFilesWithFewWatches, AForkedChildWatchesTheDirectoriesItReads)
{
    temp.MakeFile("parent/long file name.txt");
    temp.MakeFile("child/long file name.txt");
    EXPECT_EQ(Short("D:\\parent\\long file name.txt"), "D:\\parent\\LONGFI~1.TXT");
    ASSERT_EQ(WatchedInodes().count(InodeOf(temp.Path() + "/parent")), 1u);
    const std::string root = temp.Path();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        PosixPlatform own(PosixFiles::Sources(root, WatchLimit));
        ScopedPlatform scoped(own.Interfaces());
        if (Short("D:\\child\\long file name.txt") != "D:\\child\\LONGFI~1.TXT") _exit(1);
        if (WatchedInodes().count(InodeOf(root + "/child")) != 1) _exit(2);
        if (rename((root + "/child/long file name.txt").c_str(), (root + "/child/other long name.txt").c_str()) != 0)
            _exit(3);
        if (Short("D:\\child\\other long name.txt") != "D:\\child\\OTHERL~1.TXT") _exit(4);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

// A run of look-ups in a directory no longer watched leaves it unwatched;
// a change made to it between two look-ups is still seen by the second.
TEST_F(PosixFilesWithFewWatches, ShortPathsInTurnSeeChangesInADirectoryLeftUnwatched)
{
    constexpr int count = 2 * WatchLimit;
    for (int i = 0; i < count; ++i) {
        temp.MakeFile("d" + std::to_string(i) + "/first long name.txt");
        temp.MakeFile("d" + std::to_string(i) + "/other long name.txt");
    }
    temp.MakeFile("d1/inner/last long name.txt");
    // Past the tick the directories' times stand at, so that only their times tell.
    usleep(150000);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(Names("D:\\d" + std::to_string(i) + "\\*.*").size(), i == 1 ? 5u : 4u) << i;
    // In the order of a scan: from the last directory listed to the first.
    EXPECT_EQ(Short("D:\\d" + std::to_string(count - 1) + "\\first long name.txt"),
              "D:\\d" + std::to_string(count - 1) + "\\FIRSTL~1.TXT");
    EXPECT_EQ(Short("D:\\d0\\first long name.txt"), "D:\\d0\\FIRSTL~1.TXT");
    const std::string directory = temp.Path() + "/d0";
    ASSERT_EQ(rename((directory + "/other long name.txt").c_str(), (directory + "/third long name.txt").c_str()), 0);
    EXPECT_EQ(Short("D:\\d0\\other long name.txt"), "<error 2>");
    EXPECT_EQ(Short("D:\\d0\\third long name.txt"), "D:\\d0\\THIRDL~1.TXT");
    ASSERT_EQ(rename((directory + "/first long name.txt").c_str(), (directory + "/fourth long name.txt").c_str()), 0);
    EXPECT_EQ(Short("D:\\d0\\fourth long name.txt"), "D:\\d0\\FOURTH~1.TXT");

    // Then a path through it, after a directory in it was renamed.
    EXPECT_EQ(Short("D:\\d1\\first long name.txt"), "D:\\d1\\FIRSTL~1.TXT");
    ASSERT_EQ(rename((temp.Path() + "/d1/inner").c_str(), (temp.Path() + "/d1/moved").c_str()), 0);
    EXPECT_EQ(Short("D:\\d1\\inner\\last long name.txt"), "<error 3>");
    EXPECT_EQ(Short("D:\\d1\\moved\\last long name.txt"), "D:\\d1\\moved\\LASTLO~1.TXT");
}

// Paths in many unwatched directories side by side, as a scan asks for
// them: each directory is looked at through its parent, never opened; a
// change made to one between two look-ups is seen all the same, and so is a
// directory put in the place of one.
TEST_F(PosixFilesWithFewWatches, ShortPathsInUnwatchedDirectoriesSideBySideSeeTheirChanges)
{
    constexpr int count = 2 * WatchLimit;
    const auto leaf = [](int i) { return "D:\\top\\mid\\leaf" + std::to_string(i) + "\\"; };
    const auto shortForm = [](int i, const char* name) {
        return "D:\\top\\mid\\leaf" + std::to_string(i) + "\\" + name;
    };
    for (int i = 0; i < count; ++i) temp.MakeFile("top/mid/leaf" + std::to_string(i) + "/first long name.txt");
    usleep(150000);
    for (int i = 0; i < count; ++i) ASSERT_EQ(Names(leaf(i) + "*.*").size(), 3u) << i;
    for (int i = 0; i < count; ++i) ASSERT_EQ(Short(leaf(i) + "first long name.txt"), shortForm(i, "FIRSTL~1.TXT"));

    // Past the watched ones, in turn as a scan asks, one of them changed.
    const std::string mid = temp.Path() + "/top/mid/";
    const int changed = count - 10;
    ASSERT_EQ(rename((mid + "leaf" + std::to_string(changed) + "/first long name.txt").c_str(),
                     (mid + "leaf" + std::to_string(changed) + "/second long name.txt").c_str()),
              0);
    for (int i = changed - 2; i < count; ++i)
        EXPECT_EQ(Short(leaf(i) + "first long name.txt"), i == changed ? "<error 2>" : shortForm(i, "FIRSTL~1.TXT"))
            << i;
    EXPECT_EQ(Short(leaf(changed) + "second long name.txt"), shortForm(changed, "SECOND~1.TXT"));

    // And one put aside, a new one made in its place.
    const int replaced = count - 5;
    const std::string old = mid + "leaf" + std::to_string(replaced);
    ASSERT_EQ(rename(old.c_str(), (old + " old").c_str()), 0);
    temp.MakeFile("top/mid/leaf" + std::to_string(replaced) + "/new long name.txt");
    EXPECT_EQ(Short(leaf(replaced) + "first long name.txt"), "<error 2>");
    EXPECT_EQ(Short(leaf(replaced) + "new long name.txt"), shortForm(replaced, "NEWLON~1.TXT"));
}

TEST_F(PosixFiles, EachDriveKeepsItsCurrentDirectoryAndTheProcessFollows)
{
    temp.MakeDirectory("sub/inner");
    temp.MakeFile("sub/inner/here.txt");
    char current[4096] = {};
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\sub"));
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STREQ(current, "C:\\");
    ASSERT_TRUE(SetCurrentDirectoryA("D:"));
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STREQ(current, "D:\\sub");
    ASSERT_TRUE(SetCurrentDirectoryA("inner"));
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STREQ(current, "D:\\sub\\inner");
    char* linux = get_current_dir_name();
    EXPECT_EQ(std::string(linux), temp.Path() + "/sub/inner");
    free(linux);
    EXPECT_EQ(GetFileAttributesA("here.txt"), 0x20u);
    EXPECT_EQ(GetFileAttributesA("D:here.txt"), 0x20u);
    EXPECT_EQ(GetFileAttributesA("..\\inner\\here.txt"), 0x20u);

    // Too small a buffer: the size needed, with the zero.
    EXPECT_EQ(GetCurrentDirectoryA(5, current), 13u);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
}

TEST_F(PosixFiles, SettingAttributesMapsReadOnlyToTheOwnersWriteBit)
{
    const std::string path = temp.MakeFile("f.txt");
    ASSERT_TRUE(SetFileAttributesA("D:\\f.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    struct stat st {};
    stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0200, 0u);
    EXPECT_EQ(GetFileAttributesA("D:\\f.txt"), 0x21u);
    ASSERT_TRUE(SetFileAttributesA("D:\\f.txt", FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesA("D:\\f.txt"), 0x20u);
}

// Creating, replacing or moving to a spelling that no Linux name has makes
// that name beside its case variants, which keep their bytes; every name
// shown, the numbered one included, still reaches its own file.
TEST_F(PosixFiles, WritesToANameDifferingOnlyInCaseMakeThatNameBesideTheOther)
{
    temp.MakeFile("notes.txt", "the user's");
    temp.MakeFile("moved", "moved");
    const auto write = [](const char* path, DWORD disposition, const std::string& text) {
        const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, disposition, FILE_ATTRIBUTE_NORMAL);
        if (file == INVALID_HANDLE_VALUE) return "<error " + std::to_string(GetLastError()) + ">";
        const DWORD created = GetLastError();
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written));
        EXPECT_TRUE(CloseHandle(file));
        return std::to_string(created);
    };
    EXPECT_EQ(write("D:\\NOTES.TXT", CREATE_ALWAYS, "upper"), "0");
    EXPECT_EQ(write("D:\\Notes.txt", CREATE_NEW, "title"), "0");
    ASSERT_TRUE(MoveFileExA("D:\\moved", "D:\\Notes.TXT", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(write("D:\\NOTES.TXT", CREATE_NEW, "again"), "<error 80>");
    EXPECT_EQ(Contents(temp.Path() + "/notes.txt"), "the user's");
    EXPECT_EQ(Contents(temp.Path() + "/NOTES.TXT"), "upper");
    EXPECT_EQ(Contents(temp.Path() + "/Notes.txt"), "title");
    EXPECT_EQ(Contents(temp.Path() + "/Notes.TXT"), "moved");
    EXPECT_EQ(Names("D:\\*.*"), (std::vector<std::string>{"NOTES.TXT", "Notes.TXT~2", "Notes.txt~3", "notes.txt~4"}));

    EXPECT_EQ(write("D:\\notes.txt~4", CREATE_ALWAYS, "shown"), std::to_string(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(Contents(temp.Path() + "/notes.txt"), "shown");
    EXPECT_EQ(GetFileAttributesA("D:\\notes.TXT"), 0x20u) << "reading finds any spelling";
    ASSERT_TRUE(MoveFileExA("D:\\NOTES.TXT", "D:\\Upper.txt", 0));
    ASSERT_TRUE(MoveFileExA("D:\\Upper.txt", "D:\\UPPER.TXT", 0)) << "a new spelling of the same file";
    EXPECT_EQ(Contents(temp.Path() + "/UPPER.TXT"), "upper");
    EXPECT_EQ(Names("D:\\*.*"), (std::vector<std::string>{"Notes.TXT", "Notes.txt~2", "notes.txt~3", "UPPER.TXT"}));
}

TEST_F(PosixFiles, TheExecutableIsSeenThroughC)
{
    temp.MakeFile("bin/kivra");
    char buffer[4096] = {};
    const DWORD length = GetModuleFileNameA(buffer, sizeof buffer);
    std::string expected = "C:" + temp.Path() + "/bin/kivra";
    for (char& c : expected) c = c == '/' ? '\\' : c;
    EXPECT_EQ(std::string(buffer, length), expected);
    EXPECT_EQ(GetModuleFileNameA(buffer, 4), 4u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(buffer, "C:\\");
}

TEST_F(PosixFiles, LinuxPathsBecomeWindowsPathsNameByNameAndBack)
{
    // Both names show as "?": only the directories' own tables tell them apart.
    temp.MakeFile("lossy/\xC3\xBC/in-u.txt");
    temp.MakeFile("lossy/\xC3\xA9/in-e.txt");
    for (const std::string name : {"\xC3\xBC", "\xC3\xA9"}) {
        const std::string linux = temp.Path() + "/lossy/" + name;
        std::string windows;
        ASSERT_TRUE(WindowsPathFromSystemPath(linux, windows));
        EXPECT_EQ(windows.rfind("C:\\", 0), 0u) << windows;
        std::string back;
        ASSERT_TRUE(SystemPathFromWindowsPath(windows, back)) << GetLastError();
        EXPECT_EQ(back, linux);
        std::string upperBack;
        ASSERT_TRUE(SystemPathFromWindowsPath(UpperCaseText(windows), upperBack));
        EXPECT_EQ(upperBack, linux) << "the upper-case spelling names the same directory";
    }
    std::string onDriveD;
    ASSERT_TRUE(SystemPathFromWindowsPath("D:\\LOSSY", onDriveD));
    EXPECT_EQ(onDriveD, temp.Path() + "/lossy");
    std::string missing;
    EXPECT_FALSE(SystemPathFromWindowsPath("D:\\lossy\\none", missing));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(PosixFiles, RelativeLinuxPathsStartAtTheWorkingDirectoryWhileItExists)
{
    temp.MakeDirectory("work/sub");
    const std::string root = temp.Path();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir((root + "/work").c_str()) != 0) _exit(1);
        PosixPlatform own(PosixFiles::Sources(root));
        ScopedPlatform scoped(own.Interfaces());
        std::string windows;
        std::string linux;
        if (!WindowsPathFromSystemPath("sub/../sub/./", windows)) _exit(2);
        if (!SystemPathFromWindowsPath(windows, linux) || linux != root + "/work/sub") _exit(3);
        if (rmdir((root + "/work/sub").c_str()) != 0 || chdir((root + "/work").c_str()) != 0) _exit(4);
        if (rmdir((root + "/work").c_str()) != 0) _exit(5);
        if (WindowsPathFromSystemPath("sub", windows) || GetLastError() != ERROR_PATH_NOT_FOUND) _exit(6);
        if (!WindowsPathFromSystemPath(root, windows)) _exit(7);
        // What tells a working directory gone from a name missing.
        if (GetCurrentDirectoryA(0, nullptr) != 0 || GetLastError() != ERROR_PATH_NOT_FOUND) _exit(8);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

TEST_F(PosixFiles, LinuxPathsMeanWhatTheKernelMakesOfThem)
{
    temp.MakeDirectory("elsewhere/target");
    temp.MakeDirectory("home");
    temp.MakeFile("lossy/\xC3\xBC/in-u.txt");
    temp.MakeFile("lossy/\xC3\xA9/in-e.txt");
    temp.MakeFile("file.txt");
    const std::string root = temp.Path();
    const std::vector<std::pair<std::string, std::string>> links = {
        {root + "/elsewhere/target", "lk"},
        {"lk", "chain1"},
        {"chain1", "chain2"},
        {"../lossy", "to-lossy"},
        {"nowhere", "dangling"},
        {"loop-b", "loop-a"},
        {"loop-a", "loop-b"},
    };
    for (const auto& [target, name] : links) ASSERT_EQ(symlink(target.c_str(), (root + "/home/" + name).c_str()), 0);
    struct Case {
        std::string linuxPath;
        std::string windowsPath; // after the temporary directory's; empty when the call fails
        DWORD error;
    };
    const Case cases[] = {
        {"home/lk/..", "\\elsewhere", ERROR_SUCCESS},
        {"home/chain2/../target/./", "\\elsewhere\\target", ERROR_SUCCESS},
        {"home/lk/new/newer", "\\elsewhere\\target\\new\\newer", ERROR_SUCCESS},
        // Both show "?": each is the entry its directory's table shows.
        {"home/to-lossy/\xC3\xA9", "\\lossy\\?", ERROR_SUCCESS},
        {"home/to-lossy/\xC3\xBC", "\\lossy\\?~2", ERROR_SUCCESS},
        {"home/dangling", "", ERROR_FILE_NOT_FOUND},
        {"home/dangling/x", "", ERROR_PATH_NOT_FOUND},
        {"home/loop-a/x", "", ERROR_CANT_RESOLVE_FILENAME},
        {"home/new/../x", "", ERROR_PATH_NOT_FOUND},
        {"file.txt/x", "", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        std::string windows;
        SetLastError(ERROR_SUCCESS);
        const bool found = WindowsPathFromSystemPath(root + "/" + c.linuxPath, windows);
        EXPECT_EQ(GetLastError(), c.error) << c.linuxPath;
        if (found) {
            EXPECT_EQ(windows, OnC(root) + c.windowsPath) << c.linuxPath;
        }
        EXPECT_EQ(found, c.error == ERROR_SUCCESS) << c.linuxPath;
    }
}

TEST_F(PosixFiles, ALinkBackToAnAncestorIsTheAncestorItself)
{
    temp.MakeDirectory("loop/inner");
    ASSERT_EQ(symlink("..", (temp.Path() + "/loop/inner/up").c_str()), 0);
    EXPECT_EQ(GetFileAttributesA("D:\\loop\\inner\\up"), 0x410u);
    EXPECT_EQ(Identity("D:\\loop\\inner\\up"), Identity("D:\\loop"));
    EXPECT_EQ(Names("D:\\loop\\inner\\up\\*.*"), (std::vector<std::string>{".", "..", "inner"}));
}

// Runs a check in a child process that has dropped root for "nobody";
// returns false (and the check is skipped) when that cannot be done.
bool RunAsNobody(const std::function<int()>& check, int& status)
{
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (getuid() == 0 && (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)) _exit(99);
        if (getuid() == 0) _exit(99);
        _exit(check());
    }
    waitpid(child, &status, 0);
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 99);
}

TEST_F(PosixFiles, AnUnreadableDirectoryCannotBeSearched)
{
    temp.MakeFile("locked/secret.txt");
    chmod(temp.Path().c_str(), 0755);
    chmod((temp.Path() + "/locked").c_str(), 0);
    const std::string root = temp.Path();
    int status = 0;
    const bool ran = RunAsNobody(
        [&root] {
            PosixSources sources = PosixFiles::Sources(root);
            PosixPlatform own(sources);
            ScopedPlatform scoped(own.Interfaces());
            WIN32_FIND_DATAA data{};
            if (GetFileAttributesA("D:\\locked") != 0x11u) return 1; // mode 000: read-only too
            if (FindFirstFileA("D:\\locked\\*.*", &data) != INVALID_HANDLE_VALUE) return 2;
            if (GetLastError() != ERROR_ACCESS_DENIED) return 3;
            if (FindFirstFileA("D:\\*.*", &data) == INVALID_HANDLE_VALUE) return 4;
            return 0;
        },
        status);
    if (!ran) GTEST_SKIP() << "cannot run a child process as nobody here";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PosixFiles, FoldersBelowADirectoryThatMayOnlyBeSearchedAreNamedAndUsed)
{
    temp.MakeDirectory("alice/pub/Long Folder Name");
    temp.MakeDirectory("alice/Public Stuff");
    temp.MakeDirectory("alice/\xC3\xBC");
    temp.MakeDirectory("alice/locked/x");
    const std::string root = temp.Path();
    chmod(root.c_str(), 0755);
    chmod((root + "/alice").c_str(), 0711);
    chmod((root + "/alice/pub").c_str(), 0777);
    chmod((root + "/alice/locked").c_str(), 0700);
    int status = 0;
    const bool ran = RunAsNobody(
        [&root] {
            PosixPlatform own(PosixFiles::Sources(root));
            ScopedPlatform scoped(own.Interfaces());
            std::string pub;
            if (!WindowsPathFromSystemPath(root + "/alice/pub", pub) || pub != OnC(root) + "\\alice\\pub") return 1;
            if (GetFileAttributesA(pub.c_str()) != FILE_ATTRIBUTE_DIRECTORY) return 2;
            // A scan's walk spells it in upper case.
            if (Names(UpperCaseText(pub) + "\\*") != std::vector<std::string>{".", "..", "Long Folder Name"}) return 3;
            const HANDLE file = CreateFileA((pub + "\\new.txt").c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
            if (file == INVALID_HANDLE_VALUE || !CloseHandle(file)) return 4;
            if (Short(pub + "\\Long Folder Name") != Short(OnC(root)) + "\\alice\\pub\\LONGFO~1") return 5;
            std::string back;
            if (!SystemPathFromWindowsPath(pub, back) || back != root + "/alice/pub") return 6;
            // Looked up as written until reached; no alias is known there.
            const std::string stuffUpper = OnC(root) + "\\alice\\PUBLIC STUFF";
            if (GetFileAttributesA(stuffUpper.c_str()) != INVALID_FILE_ATTRIBUTES) return 7;
            if (GetLastError() != ERROR_FILE_NOT_FOUND) return 8;
            std::string stuff;
            if (!WindowsPathFromSystemPath(root + "/alice/Public Stuff", stuff)) return 9;
            if (GetFileAttributesA(stuffUpper.c_str()) != FILE_ATTRIBUTE_DIRECTORY) return 10;
            if (Short(stuff) != Short(OnC(root)) + "\\alice\\Public Stuff") return 11;
            std::string none;
            if (WindowsPathFromSystemPath(root + "/alice/\xC3\xBC", none) || GetLastError() != ERROR_ACCESS_DENIED)
                return 12;
            if (WindowsPathFromSystemPath(root + "/alice/locked/x", none) || GetLastError() != ERROR_ACCESS_DENIED)
                return 13;
            return 0;
        },
        status);
    if (!ran) GTEST_SKIP() << "cannot run a child process as nobody here";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

TEST_F(PosixFiles, ADirectoryThatMayBeSearchedButNotListedCanBeMadeCurrentAndNotSearched)
{
    temp.MakeFile("passage/inside.txt");
    chmod(temp.Path().c_str(), 0755);
    chmod((temp.Path() + "/passage").c_str(), 0111);
    const std::string root = temp.Path();
    int status = 0;
    const bool ran = RunAsNobody(
        [&root] {
            PosixPlatform own(PosixFiles::Sources(root));
            ScopedPlatform scoped(own.Interfaces());
            if (!SetCurrentDirectoryA("D:\\PASSAGE")) return 1;
            char buffer[MAX_PATH] = {};
            const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
            if (std::string(buffer, length) != "D:\\PASSAGE") return 2;
            char working[4096] = {};
            if (getcwd(working, sizeof working) == nullptr || working != root + "/passage") return 3;
            WIN32_FIND_DATAA data{};
            if (FindFirstFileA("D:\\passage\\*.*", &data) != INVALID_HANDLE_VALUE) return 4;
            if (GetLastError() != ERROR_ACCESS_DENIED) return 5;
            if (FindFirstFileA("*.*", &data) != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) return 6;
            if (!SetCurrentDirectoryA("D:\\")) return 7;
            return 0;
        },
        status);
    if (!ran) GTEST_SKIP() << "cannot run a child process as nobody here";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

// Removes a tree too deep for path names, from descriptors.
void RemoveDeep(int parent, const char* name)
{
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd >= 0) {
        DIR* directory = fdopendir(fd);
        std::vector<std::string> names;
        while (const dirent* entry = readdir(directory))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.emplace_back(entry->d_name);
        for (const std::string& child : names) {
            if (unlinkat(fd, child.c_str(), 0) != 0) RemoveDeep(fd, child.c_str());
        }
        closedir(directory);
    }
    unlinkat(parent, name, AT_REMOVEDIR);
}

TEST_F(PosixFiles, TreesDeeperThanPathMaxAreSearchedLikeAnyOther)
{
    constexpr int depth = 2000;
    const std::string name = "level";
    int fd = open(temp.Path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(openat(fd, "Deep File.txt", O_CREAT | O_WRONLY, 0644));
    close(fd);

    // Walk it as a scan does: one search per level.
    std::string path = "D:";
    int levels = 0;
    for (;;) {
        const std::vector<Entry> entries = List(path + "\\*.*");
        const Entry* directory = nullptr;
        for (const Entry& entry : entries)
            if (entry.name != "." && entry.name != ".." && (entry.attributes & 0x10)) directory = &entry;
        if (!directory) break;
        path += "\\" + directory->name;
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    EXPECT_GT(path.size(), 10000u);
    EXPECT_GT(path.size(), static_cast<std::size_t>(PATH_MAX));
    EXPECT_EQ(Names(path + "\\*.*"), (std::vector<std::string>{".", "..", "Deep File.txt"}));
    EXPECT_TRUE(Short(path + "\\Deep File.txt") == path + "\\DEEPFI~1.TXT");
    EXPECT_EQ(GetFileAttributesA((path + "\\deep file.txt").c_str()), 0x20u);
    std::string linuxPath = temp.Path();
    for (int i = 0; i < depth; ++i) linuxPath += "/" + name;
    std::string windows;
    ASSERT_TRUE(WindowsPathFromSystemPath(linuxPath, windows));
    EXPECT_EQ(windows, OnC(temp.Path()) + path.substr(2));

    const int top = open(temp.Path().c_str(), O_RDONLY | O_DIRECTORY);
    RemoveDeep(top, name.c_str());
    close(top);
}

} // namespace
} // namespace kivra::platform

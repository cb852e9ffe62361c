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

TEST_F(PosixFiles, FindReportsDotEntriesFirstOutsideRoot)
{
    temp.MakeFile("sub/b.txt");
    temp.MakeFile("sub/a.txt");
    temp.MakeFile("top.txt");
    EXPECT_EQ(Names("D:\\sub\\*.*"), (std::vector<std::string>{".", "..", "a.txt", "b.txt"}));
    EXPECT_EQ(Names("D:\\*.*"), (std::vector<std::string>{"sub", "top.txt"}));
    EXPECT_EQ(Names("D:\\sub\\*"), (std::vector<std::string>{".", "..", "a.txt", "b.txt"}));
}

TEST_F(PosixFiles, FindListsEntriesInNtfsOrderWithTiesBrokenByTheBytes)
{
    for (const char* name : {"b", "a", "A", "C", "_x", "Z", "\xEF\xBD\x81" /* ａ */, "1"}) temp.MakeFile(name);
    EXPECT_EQ(Names("D:\\*.*"), (std::vector<std::string>{"1", "A", "a", "b", "C", "Z", "_x", Bytes("82 81")}));
}

TEST_F(PosixFiles, FindMatchesWildcardsAndExactNamesWithoutRegardToCase)
{
    for (const char* name : {"notes.txt", "Other.TXT", "README", "data.bin"}) temp.MakeFile(name);
    EXPECT_EQ(Names("D:\\*.txt"), (std::vector<std::string>{"notes.txt", "Other.TXT"}));
    EXPECT_EQ(Names("D:\\?EADME"), (std::vector<std::string>{"README"}));
    EXPECT_EQ(Names("D:\\README.*"), (std::vector<std::string>{"README"}));
    EXPECT_EQ(Names("D:\\readme"), (std::vector<std::string>{"README"}));
    WIN32_FIND_DATAA data{};
    EXPECT_EQ(FindFirstFileA("D:\\*.xyz", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

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
    EXPECT_EQ(seen["dirlink"], 0x10u);
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

TEST_F(PosixFiles, JapaneseNamesWithBackslashSecondBytesAreDirectoriesOfTheirOwn)
{
    // 表 (95 5C) and ソ (83 5C).
    temp.MakeFile("\xE8\xA1\xA8/\xE3\x82\xBD.txt", "x");
    const std::string dir = "D:\\" + Bytes("95 5C");
    EXPECT_EQ(GetFileAttributesA(dir.c_str()), 0x10u);
    EXPECT_EQ(Names(dir), (std::vector<std::string>{Bytes("95 5C")}));
    EXPECT_EQ(Names(dir + "\\*.*"), (std::vector<std::string>{".", "..", Bytes("83 5C 2E 74 78 74")}));
    EXPECT_EQ(Short(dir + "\\" + Bytes("83 5C") + ".txt"), dir + "\\" + Bytes("83 5C") + ".txt");
    // "/" as separator next to them.
    const std::string slashed = "D:/" + Bytes("95 5C") + "/" + Bytes("83 5C") + ".txt";
    EXPECT_EQ(Short(slashed), slashed);
    EXPECT_EQ(Names("D:/" + Bytes("95 5C") + "/*.*").size(), 3u);
    EXPECT_EQ(Identity(slashed), LinuxIdentity(temp.Path() + "/\xE8\xA1\xA8/\xE3\x82\xBD.txt"));
}

TEST_F(PosixFiles, NamesDifferingOnlyInCaseAreAllListedAndTheExactOneWins)
{
    temp.MakeDirectory("Data");
    temp.MakeFile("DATA");
    EXPECT_EQ(Names("D:\\*.*"), (std::vector<std::string>{"DATA", "Data"}));
    EXPECT_EQ(GetFileAttributesA("D:\\Data"), 0x10u);
    EXPECT_EQ(GetFileAttributesA("D:\\DATA"), 0x20u);
    EXPECT_EQ(GetFileAttributesA("D:\\data"), 0x20u); // the first in order
    temp.MakeFile("home/user/Notes.txt");
    EXPECT_EQ(GetFileAttributesA("D:\\HOME\\USER\\NOTES.TXT"), 0x20u);
    EXPECT_EQ(Identity("d:/home/user/notes.txt"), LinuxIdentity(temp.Path() + "/home/user/Notes.txt"));
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

TEST_F(PosixFiles, NamesShownAlikeAreShownByTheirAliasFromTheSecondOn)
{
    temp.MakeFile("caf\xC3\xA8", "e-grave"); // cafè sorts before café
    temp.MakeFile("caf\xC3\xA9", "e-acute");
    const std::vector<Entry> entries = List("D:\\*.*");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "caf?");
    EXPECT_EQ(entries[0].alias, "CAF_~1");
    EXPECT_EQ(entries[1].name, "CAF_~2");
    EXPECT_EQ(entries[1].alias, "");
    EXPECT_EQ(Identity("D:\\caf?"), LinuxIdentity(temp.Path() + "/caf\xC3\xA8"));
    EXPECT_EQ(Identity("D:\\CAF_~2"), LinuxIdentity(temp.Path() + "/caf\xC3\xA9"));
}

TEST_F(PosixFiles, ShortPathsCopyLegalNamesAsGivenAndReplaceTheOthers)
{
    temp.MakeFile("Program Files/readme.txt");
    temp.MakeFile("program data/x");
    // "PROGRAM DATA" comes before "PROGRAM FILES".
    EXPECT_EQ(Short("D:\\Program Files\\readme.txt"), "D:\\PROGRA~2\\readme.txt");
    EXPECT_EQ(Short("d:/program data/X"), "d:/PROGRA~1/X");
    EXPECT_EQ(Short("D:\\Program Files\\"), "D:\\PROGRA~2\\");
    EXPECT_EQ(Short("D:\\PROGRA~1\\x"), "D:\\PROGRA~1\\x");
    EXPECT_EQ(Identity("D:\\progra~2\\README.TXT"), LinuxIdentity(temp.Path() + "/Program Files/readme.txt"));

    // Relative paths stay relative; "." and ".." are copied.
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\program data"));
    EXPECT_EQ(Short("..\\Program Files\\.\\readme.txt"), "..\\PROGRA~2\\.\\readme.txt");
    EXPECT_EQ(Short("x"), "x");
    EXPECT_EQ(Short("D:..\\Program Files"), "D:..\\PROGRA~2");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
}

TEST_F(PosixFiles, ShortPathsNumberOneToFourThenHash)
{
    for (int i = 1; i <= 5; ++i) temp.MakeFile("longfilename" + std::to_string(i) + ".txt");
    EXPECT_EQ(Short("D:\\longfilename1.txt"), "D:\\LONGFI~1.TXT");
    EXPECT_EQ(Short("D:\\longfilename4.txt"), "D:\\LONGFI~4.TXT");
    EXPECT_EQ(Short("D:\\longfilename5.txt"), "D:\\LO3600~1.TXT");
    EXPECT_EQ(Identity("D:\\LO3600~1.TXT"), LinuxIdentity(temp.Path() + "/longfilename5.txt"));
}

TEST_F(PosixFiles, ShortPathBufferRulesAndFailuresAreWindows)
{
    temp.MakeFile("Long Name.txt");
    char buffer[32];
    std::memset(buffer, 'Z', sizeof buffer);
    // "D:\LONGNA~1.TXT" is 15 bytes: a buffer of 15 is one too small.
    EXPECT_EQ(GetShortPathNameA("D:\\Long Name.txt", buffer, 15), 16u);
    EXPECT_EQ(buffer[0], 'Z');
    EXPECT_EQ(GetShortPathNameA("D:\\Long Name.txt", buffer, 16), 15u);
    EXPECT_STREQ(buffer, "D:\\LONGNA~1.TXT");
    EXPECT_EQ(GetShortPathNameA("D:\\missing.txt", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetShortPathNameA("D:\\missing\\x.txt", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
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
    for (int i = 0; i < count; ++i) temp.MakeFile("leaf" + std::to_string(i) + "/file.txt");
    temp.MakeFile("trunk/branch/twig/file.txt");
    for (int i = 0; i < count; ++i) ASSERT_EQ(Names("D:\\leaf" + std::to_string(i) + "\\*.*").size(), 3u) << i;
    std::set<ino_t> watched = WatchedInodes();
    EXPECT_EQ(watched.size(), static_cast<std::size_t>(WatchLimit));
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/leaf0")), 1u) << "the first directories keep their watches";
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/leaf" + std::to_string(count - 1))), 0u);

    EXPECT_EQ(Names("D:\\trunk\\branch\\twig\\*.*"), (std::vector<std::string>{".", "..", "file.txt"}));
    watched = WatchedInodes();
    EXPECT_EQ(watched.size(), static_cast<std::size_t>(WatchLimit));
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/trunk")), 1u);
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/trunk/branch")), 1u);
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/trunk/branch/twig")), 0u);
    EXPECT_EQ(watched.count(InodeOf(temp.Path() + "/leaf0")), 0u)
        << "the longest-watched last directory gave its watch";

    // A change in a directory that gave its watch is still seen.
    ASSERT_EQ(rename((temp.Path() + "/leaf0/file.txt").c_str(), (temp.Path() + "/leaf0/renamed.txt").c_str()), 0);
    EXPECT_EQ(Names("D:\\leaf0\\*.*"), (std::vector<std::string>{".", "..", "renamed.txt"}));
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

TEST_F(PosixFiles, BadPathsGetWindowsErrorCodes)
{
    temp.MakeFile("file.txt");
    temp.MakeDirectory("sub");
    const auto errorOf = [](const char* path) {
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << path;
        return GetLastError();
    };
    EXPECT_EQ(errorOf(""), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(errorOf("\\\\\\\\"), ERROR_INVALID_NAME);
    EXPECT_EQ(errorOf("Q:\\x"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(errorOf("\\\\nohost\\share\\x"), ERROR_BAD_NETPATH);
    EXPECT_EQ(errorOf("D:\\s*b\\x"), ERROR_INVALID_NAME);
    EXPECT_EQ(errorOf("D:\\file.txt\\x"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(errorOf("D:\\missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(errorOf("D:\\missing\\x"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(errorOf(std::string(40000, 'a').c_str()), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(errorOf(nullptr), ERROR_INVALID_PARAMETER);

    WIN32_FIND_DATAA data{};
    EXPECT_EQ(FindFirstFileA("D:\\file.txt\\*.*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_EQ(FindFirstFileA("D:\\missing\\*.*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(SetCurrentDirectoryA("D:\\file.txt"));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_FALSE(FindNextFileA(12345, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
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

TEST_F(PosixFiles, CreatedFilesAreWrittenTruncatedAndHeldWithoutSharing)
{
    const std::string path = "D:\\result.txt";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "long content\r\n", 14, &written));
    EXPECT_EQ(written, 14u);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ(Contents(temp.Path() + "/result.txt"), "long content\r\n");

    file = CreateFileA("D:\\RESULT.TXT", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(WriteFile(file, "new", 3, &written));
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ(Contents(temp.Path() + "/result.txt"), "new");
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(PosixFiles, ReadOnlyFilesAndFilesHeldElsewhereCannotBeReplaced)
{
    const std::string locked = temp.MakeFile("locked.txt", "keep");
    chmod(locked.c_str(), 0444);
    EXPECT_EQ(CreateFileA("D:\\locked.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Contents(locked), "keep");

    const std::string held = temp.MakeFile("held.txt", "held");
    const int other = open(held.c_str(), O_RDONLY);
    ASSERT_EQ(flock(other, LOCK_SH), 0);
    EXPECT_EQ(CreateFileA("D:\\held.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Contents(held), "held");
    temp.MakeFile("new.txt", "new");
    EXPECT_FALSE(MoveFileExA("D:\\new.txt", "D:\\held.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    close(other);
}

TEST_F(PosixFiles, MoveReplacesOnlyWhenAsked)
{
    temp.MakeFile("a.tmp", "new");
    temp.MakeFile("a.txt", "old");
    EXPECT_FALSE(MoveFileExA("D:\\a.tmp", "D:\\a.txt", 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(MoveFileExA("D:\\a.tmp", "D:\\A.TXT", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(Contents(temp.Path() + "/a.txt"), "new");
    EXPECT_EQ(GetFileAttributesA("D:\\a.tmp"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MoveFileExA("D:\\gone.tmp", "D:\\a.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(DeleteFileA("D:\\a.txt"));
    EXPECT_FALSE(DeleteFileA("D:\\a.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
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
        ASSERT_TRUE(WindowsPathFromLinuxPath(linux, windows));
        EXPECT_EQ(windows.rfind("C:\\", 0), 0u) << windows;
        std::string back;
        ASSERT_TRUE(LinuxPathFromWindowsPath(windows, back)) << GetLastError();
        EXPECT_EQ(back, linux);
        std::string upperBack;
        ASSERT_TRUE(LinuxPathFromWindowsPath(UpperCaseText(windows), upperBack));
        EXPECT_EQ(upperBack, linux) << "the upper-case spelling names the same directory";
    }
    std::string onDriveD;
    ASSERT_TRUE(LinuxPathFromWindowsPath("D:\\LOSSY", onDriveD));
    EXPECT_EQ(onDriveD, temp.Path() + "/lossy");
    std::string missing;
    EXPECT_FALSE(LinuxPathFromWindowsPath("D:\\lossy\\none", missing));
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
        if (!WindowsPathFromLinuxPath("sub/../sub/./", windows)) _exit(2);
        if (!LinuxPathFromWindowsPath(windows, linux) || linux != root + "/work/sub") _exit(3);
        if (rmdir((root + "/work/sub").c_str()) != 0 || chdir((root + "/work").c_str()) != 0) _exit(4);
        if (rmdir((root + "/work").c_str()) != 0) _exit(5);
        if (WindowsPathFromLinuxPath("sub", windows) || GetLastError() != ERROR_PATH_NOT_FOUND) _exit(6);
        if (!WindowsPathFromLinuxPath(root, windows)) _exit(7);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

TEST_F(PosixFiles, ALinkBackToAnAncestorIsTheAncestorItself)
{
    temp.MakeDirectory("loop/inner");
    ASSERT_EQ(symlink("..", (temp.Path() + "/loop/inner/up").c_str()), 0);
    EXPECT_EQ(GetFileAttributesA("D:\\loop\\inner\\up"), 0x10u);
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

    const int top = open(temp.Path().c_str(), O_RDONLY | O_DIRECTORY);
    RemoveDeep(top, name.c_str());
    close(top);
}

} // namespace
} // namespace kivra::platform

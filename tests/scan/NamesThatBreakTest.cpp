// Names no Windows volume could hold side by side, scanned on the Linux
// platform over a real tree: each is reported under a name of its own, every
// name a Windows volume cannot hold is a long-name entry, and a Linux path
// names the very directory it names on Linux. The five files are compared
// byte for byte.

#include "platform/WinApi.h"
#include "platform/posix/PosixPlatform.h"
#include "resources/Texts.h"
#include "scan/Classify.h"
#include "scan/ResultFiles.h"
#include "scan/TreeWalk.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace kivra::scan {
namespace {

namespace fs = std::filesystem;
using platform::Text;

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Touch(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "";
}

// An entry as the scan should report it: its path and its short form, both
// below the scan's root.
struct Expected {
    Text path;
    Text shortPath;
};

// The five files of a scan whose entries are these, in this order.
struct ExpectedFiles {
    std::string longNames, shortNames, different, longFiles, komojiFiles;
};

std::string Lines(const std::vector<Text>& lines)
{
    std::string text;
    for (const Text& line : lines) text += line + "\r\n";
    return text;
}

std::string Groups(const Text& header, const std::vector<Text>& groups)
{
    if (groups.empty()) return Lines({texts::Texts().NormalLine, ""});
    std::vector<Text> lines{header, ""};
    lines.insert(lines.end(), groups.begin(), groups.end());
    return Lines(lines);
}

ExpectedFiles FilesOf(const Text& root, const Text& shortRoot, const std::vector<Expected>& entries)
{
    const auto& t = texts::Texts();
    std::vector<Text> longs{t.LongNameHeader}, shorts{t.ShortNameHeader}, different, longFiles, komoji;
    for (const Expected& entry : entries) {
        const Text path = root + entry.path;
        const Text shortPath = shortRoot + entry.shortPath;
        longs.push_back(path);
        shorts.push_back(shortPath);
        const std::vector<Text> group{path, shortPath, ""};
        if (path != shortPath) {
            different.insert(different.end(), group.begin(), group.end());
            longFiles.insert(longFiles.end(), group.begin(), group.end());
        }
        if (path != platform::UpperCaseText(path)) {
            different.insert(different.end(), group.begin(), group.end());
            komoji.insert(komoji.end(), group.begin(), group.end());
        }
    }
    return {Lines(longs), Lines(shorts), Groups(t.DifferentHeader, different), Groups(t.LongFileHeader, longFiles),
            Groups(t.KomojiFileHeader, komoji)};
}

class NothingFails : public SaveFailureReporter {
public:
    void ReportSaveFailure(const Text& message) override { ADD_FAILURE() << "save failed: " << message; }
};

class NamesThatBreak : public ::testing::Test {
protected:
    NamesThatBreak()
    {
        // A name that is its own short form, so that the short paths do not
        // depend on what else lies in /tmp.
        char pattern[] = "/tmp/kvXXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("no temporary directory");
        base = pattern;
        root = base / "root";
        for (const char* name :
             {"cs/DATA/a.txt", "cs/Data/b.txt", "cs/data/c.txt", "cs/DATA~2/d.txt", "notes/NOTES.TXT",
              "notes/Notes.txt", "lossy/\xC3\xA9/in-e.txt", "lossy/\xC3\xB1/in-n.txt", "lossy/\xC3\xBC/in-u.txt",
              "punct/a:b.txt", "punct/a*b.txt", "punct/a?b.txt", "emoji/\xF0\x9F\x98\x80", "emoji/\xF0\x9F\x8E\x89"})
            Touch(root / name);
        fs::create_directories(base / "out");
        rootText = "C:\\TMP\\" + platform::UpperAscii(base.filename().string()) + "\\ROOT\\";

        platform::PosixSources sources;
        sources.mountTable = "/dev/sda1 / ext4 rw 0 0\n";
        posix.emplace(sources);
        scoped.emplace(posix->Interfaces());
        saved = fs::current_path();
        fs::current_path(base);
    }

    ~NamesThatBreak() override
    {
        fs::current_path(saved);
        scoped.reset();
        posix.reset();
        std::error_code ignored;
        fs::remove_all(base, ignored);
    }

    // The scan of the directory a Linux path names, as the run command
    // makes it: the walk from the root's upper case, the classification,
    // the five files.
    void Scan(const std::string& linuxRoot)
    {
        Text windowsRoot;
        ASSERT_TRUE(platform::WindowsPathFromSystemPath(linuxRoot, windowsRoot)) << platform::GetLastError();
        Text output;
        ASSERT_TRUE(platform::WindowsPathFromSystemPath((base / "out").string(), output));
        lists = ScanLists{};
        ListFiles(platform::UpperCaseText(windowsRoot), 0x3F, true, true, lists.LongNameList, true, true, false);
        ClassifyPaths(lists.Refs());
        NothingFails reporter;
        ASSERT_TRUE(SaveResultFiles(lists.Refs(), output, reporter));
    }

    void ExpectFiles(const ExpectedFiles& expected)
    {
        EXPECT_EQ(Read(base / "out" / "KIVRALNG.TXT"), expected.longNames);
        EXPECT_EQ(Read(base / "out" / "KIVRASHT.TXT"), expected.shortNames);
        EXPECT_EQ(Read(base / "out" / "KIVRADIF.TXT"), expected.different);
        EXPECT_EQ(Read(base / "out" / "KIVRALFN.TXT"), expected.longFiles);
        EXPECT_EQ(Read(base / "out" / "KIVRAKOM.TXT"), expected.komojiFiles);
    }

    fs::path base, root, saved;
    Text rootText;
    ScanLists lists;
    std::optional<platform::PosixPlatform> posix;
    std::optional<platform::ScopedPlatform> scoped;
};

TEST_F(NamesThatBreak, EveryEntryIsReportedUnderANameOfItsOwnAndEveryLossyNameIsALongName)
{
    Scan(root.string());
    ExpectFiles(FilesOf(rootText, rootText,
                        {
                            {"cs\\", "cs\\"},
                            {"cs\\DATA\\", "cs\\DATA\\"},
                            {"cs\\DATA\\a.txt", "cs\\DATA\\a.txt"},
                            {"cs\\Data~3\\", "cs\\Data~3\\"},
                            {"cs\\Data~3\\b.txt", "cs\\Data~3\\b.txt"},
                            {"cs\\data~4\\", "cs\\data~4\\"},
                            {"cs\\data~4\\c.txt", "cs\\data~4\\c.txt"},
                            {"cs\\DATA~2\\", "cs\\DATA~2\\"},
                            {"cs\\DATA~2\\d.txt", "cs\\DATA~2\\d.txt"},
                            {"emoji\\", "emoji\\"},
                            {"emoji\\?", "emoji\\_~1"},
                            {"emoji\\?~2", "emoji\\_~2"},
                            {"lossy\\", "lossy\\"},
                            {"lossy\\?\\", "lossy\\_~1\\"},
                            {"lossy\\?\\in-e.txt", "lossy\\_~1\\in-e.txt"},
                            {"lossy\\?~2\\", "lossy\\_~2\\"},
                            {"lossy\\?~2\\in-n.txt", "lossy\\_~2\\in-n.txt"},
                            {"lossy\\?~3\\", "lossy\\_~3\\"},
                            {"lossy\\?~3\\in-u.txt", "lossy\\_~3\\in-u.txt"},
                            {"notes\\", "notes\\"},
                            {"notes\\NOTES.TXT", "notes\\NOTES.TXT"},
                            {"notes\\Notes.txt~2", "notes\\NOTES~1.TXT"},
                            {"punct\\", "punct\\"},
                            {"punct\\a?b.txt", "punct\\A_B~1.TXT"},
                            {"punct\\a?b.txt~2", "punct\\A_B~2.TXT"},
                            {"punct\\a?b.txt~3", "punct\\A_B~3.TXT"},
                        }));
}

TEST_F(NamesThatBreak, ALinuxPathAsRootScansThatVeryDirectory)
{
    Scan("root/cs/Data");
    ExpectFiles(FilesOf(rootText + "CS\\DATA~3\\", rootText + "CS\\DATA~3\\", {{"b.txt", "b.txt"}}));
    Scan("root/cs/data");
    ExpectFiles(FilesOf(rootText + "CS\\DATA~4\\", rootText + "CS\\DATA~4\\", {{"c.txt", "c.txt"}}));
    Scan("root/cs/DATA");
    ExpectFiles(FilesOf(rootText + "CS\\DATA\\", rootText + "CS\\DATA\\", {{"a.txt", "a.txt"}}));
    Scan("root/lossy/\xC3\xBC");
    ExpectFiles(FilesOf(rootText + "LOSSY\\?~3\\", rootText + "LOSSY\\_~3\\", {{"in-u.txt", "in-u.txt"}}));
    Scan((root / "lossy" / "\xC3\xA9").string());
    ExpectFiles(FilesOf(rootText + "LOSSY\\?\\", rootText + "LOSSY\\_~1\\", {{"in-e.txt", "in-e.txt"}}));
}

TEST_F(NamesThatBreak, ALinuxNameThatDoesNotExistAndShowsAsAQuestionMarkNamesNothing)
{
    Text windows;
    EXPECT_FALSE(platform::WindowsPathFromSystemPath("root/lossy/\xC3\xB6", windows)) << windows;
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(platform::WindowsPathFromSystemPath("root/lossy/\xC3\xB6/x", windows)) << windows;
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_PATH_NOT_FOUND);
    ASSERT_TRUE(platform::WindowsPathFromSystemPath("root/lossy/new", windows)) << "a name 932 holds stays as it is";
    EXPECT_EQ(windows, "C:\\tmp\\" + base.filename().string() + "\\root\\lossy\\new");
}

TEST_F(NamesThatBreak, ADeletedWorkingDirectoryIsNeverTheRoot)
{
    const fs::path gone = base / "gone";
    fs::create_directory(gone);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0) _exit(1);
        platform::PosixSources sources;
        sources.mountTable = "/dev/sda1 / ext4 rw 0 0\n";
        platform::PosixPlatform own(sources);
        platform::ScopedPlatform scoped(own.Interfaces());
        char buffer[600];
        if (platform::GetCurrentDirectoryA(sizeof buffer, buffer) != 0) _exit(2);
        if (platform::GetLastError() != platform::ERROR_PATH_NOT_FOUND) _exit(3);
        Text windows;
        if (platform::WindowsPathFromSystemPath("x", windows) || platform::GetLastError() != 3) _exit(4);
        if (platform::GetFileAttributesA("tmp") != platform::INVALID_FILE_ATTRIBUTES) _exit(5);
        if (platform::GetLastError() != platform::ERROR_PATH_NOT_FOUND) _exit(6);
        if (platform::GetFileAttributesA("C:\\tmp") == platform::INVALID_FILE_ATTRIBUTES) _exit(7);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step of the child that failed";
}

} // namespace
} // namespace kivra::scan

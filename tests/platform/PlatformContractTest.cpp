// One suite, two platforms: the memory platform that the other layers' tests
// stand on and the Linux platform over a real temporary tree give the same
// answers to every call the program makes. Each world is drive D: holding
// the same tree; the memory one is given the names, order and aliases that
// the Linux directory tables give the Linux names. Files are created,
// replaced and moved to under their exact names here: a name differing
// only in case is another file on Linux (PosixFileSystemTest), the same
// one on a Windows volume.

#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "platform/posix/DirectoryTable.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

namespace kivra::platform {
namespace {

using test::Bytes;

// A tree built name by name (Linux names, "/" between them), then put in
// place as drive D: of a platform.
class World {
public:
    virtual ~World() = default;
    virtual void Directory(const std::string& path) = 0;
    virtual void File(const std::string& path, const std::string& contents = {}) = 0;
    // The file's owner may not write it.
    virtual void ReadOnly(const std::string& path) = 0;
    // The file is held open by another program (without sharing).
    virtual void HeldElsewhere(const std::string& path) = 0;
    // Builds the platform; its calls reach it until the world is destroyed.
    virtual void Ready() = 0;
    // The bytes of a file (by its Linux path), or "<none>".
    virtual std::string Contents(const std::string& path) = 0;
};

class LinuxWorld : public World {
public:
    void Directory(const std::string& path) override { temp_.MakeDirectory(path); }
    void File(const std::string& path, const std::string& contents) override { temp_.MakeFile(path, contents); }
    void ReadOnly(const std::string& path) override { chmod((temp_.Path() + "/" + path).c_str(), 0444); }
    void HeldElsewhere(const std::string& path) override
    {
        held_.push_back(open((temp_.Path() + "/" + path).c_str(), O_RDONLY | O_CLOEXEC));
        flock(held_.back(), LOCK_SH);
    }
    void Ready() override
    {
        PosixSources sources;
        sources.mountTable = "/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 " + temp_.Path() + " ext4 rw 0 0\n";
        sources.byLabelDirectory = "/nonexistent";
        sources.sysfsRoot = "/nonexistent";
        posix_.emplace(sources);
        scoped_.emplace(posix_->Interfaces());
    }
    std::string Contents(const std::string& path) override
    {
        std::ifstream file(temp_.Path() + "/" + path, std::ios::binary);
        if (!file) return "<none>";
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    ~LinuxWorld() override
    {
        scoped_.reset();
        posix_.reset();
        for (const int fd : held_) close(fd);
    }

private:
    test::TempDir temp_;
    std::optional<PosixPlatform> posix_;
    std::optional<ScopedPlatform> scoped_;
    std::vector<int> held_;
};

class MemoryWorld : public World {
public:
    void Directory(const std::string& path) override { Add(path, true, {}); }
    void File(const std::string& path, const std::string& contents) override { Add(path, false, contents); }
    void ReadOnly(const std::string& path) override { readOnly_.insert(path); }
    void HeldElsewhere(const std::string& path) override { held_.insert(path); }
    void Ready() override
    {
        memory_.AddDrive('C', DRIVE_FIXED);
        memory_.AddDrive('D', DRIVE_FIXED);
        Build("", "D:");
        scoped_.emplace(memory_.AsPlatform());
    }
    std::string Contents(const std::string& path) override
    {
        const auto found = windowsPaths_.find(path);
        Text windows = "D:\\" + Cp932FromUtf8(path);
        for (char& c : windows) c = c == '/' ? '\\' : c;
        return memory_.FileContents(found == windowsPaths_.end() ? windows : found->second).value_or("<none>");
    }

private:
    struct Item {
        bool directory = false;
        std::string contents;
    };

    void Add(const std::string& path, bool directory, const std::string& contents)
    {
        for (std::size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1))
            items_[path.substr(0, at)].directory = true;
        items_[path] = Item{directory, contents};
    }

    // Each directory's entries in the order, under the names and with the
    // aliases that the Linux platform's table gives its Linux names.
    void Build(const std::string& linuxDirectory, const std::string& windowsDirectory)
    {
        std::vector<std::string> names;
        const std::string prefix = linuxDirectory.empty() ? "" : linuxDirectory + "/";
        for (const auto& [path, item] : items_)
            if (path.starts_with(prefix) && path.find('/', prefix.size()) == std::string::npos &&
                path != linuxDirectory)
                names.push_back(path.substr(prefix.size()));
        const posix::DirectoryTable table(names);
        for (std::size_t i = 0; i < table.Size(); ++i) {
            const posix::TableEntry entry = table[i];
            const std::string linux = prefix + std::string(entry.linuxName);
            const std::string windows = windowsDirectory + "\\" + std::string(entry.name);
            windowsPaths_[linux] = windows;
            const Item& item = items_[linux];
            DWORD attributes = item.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
            if (readOnly_.count(linux)) attributes |= FILE_ATTRIBUTE_READONLY;
            if (entry.linuxName.data()[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
            if (item.directory) {
                memory_.AddDirectory(windows, attributes, std::string(entry.alias));
                Build(linux, windows);
            } else {
                memory_.AddFile(windows, attributes, std::string(entry.alias), item.contents);
                if (held_.count(linux)) memory_.HoldOpen(windows);
            }
        }
    }

    std::map<std::string, Item> items_;
    std::set<std::string> readOnly_;
    std::set<std::string> held_;
    std::map<std::string, std::string> windowsPaths_;
    MemoryPlatform memory_;
    std::optional<ScopedPlatform> scoped_;
};

using WorldMaker = std::function<std::unique_ptr<World>()>;

class PlatformContract : public ::testing::TestWithParam<WorldMaker> {
protected:
    PlatformContract() : world(GetParam()()) {}

    struct Found {
        std::string name;
        DWORD attributes;
        std::string alias;
        friend bool operator==(const Found&, const Found&) = default;
        friend std::ostream& operator<<(std::ostream& out, const Found& f)
        {
            return out << "{" << test::Hex(f.name) << " " << f.attributes << " " << f.alias << "}";
        }
    };

    // Every entry a search reports, in its order; the error when none.
    static std::vector<Found> Search(const std::string& pattern)
    {
        std::vector<Found> entries;
        WIN32_FIND_DATAA data{};
        const HANDLE search = FindFirstFileA(pattern.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return {Found{"<error " + std::to_string(GetLastError()) + ">", 0, {}}};
        do entries.push_back(Found{data.cFileName, data.dwFileAttributes, data.cAlternateFileName});
        while (FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        EXPECT_TRUE(FindClose(search));
        return entries;
    }

    static std::vector<std::string> Names(const std::string& pattern)
    {
        std::vector<std::string> names;
        for (const Found& entry : Search(pattern)) names.push_back(entry.name);
        return names;
    }

    static std::string Short(const std::string& path)
    {
        char buffer[600];
        const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
        if (length == 0) return "<error " + std::to_string(GetLastError()) + ">";
        return std::string(buffer, length);
    }

    // The attribute word, or the error as "<error N>".
    static std::string Attributes(const char* path)
    {
        SetLastError(0);
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) return "<error " + std::to_string(GetLastError()) + ">";
        return std::to_string(attributes);
    }

    static std::string Current()
    {
        char buffer[600];
        const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
        return length == 0 ? "<error " + std::to_string(GetLastError()) + ">" : std::string(buffer, length);
    }

    std::unique_ptr<World> world;
};

TEST_P(PlatformContract, SearchesReportDotEntriesFirstOutsideARootThenTheEntriesInNtfsOrder)
{
    for (const char* name : {"sub/b.txt", "sub/a.txt", "top.txt", "b", "A", "a", "_x", "1", "\xEF\xBD\x81" /* ａ */})
        world->File(name);
    world->Ready();
    EXPECT_EQ(Names("D:\\sub\\*.*"), (std::vector<std::string>{".", "..", "a.txt", "b.txt"}));
    EXPECT_EQ(Names("D:\\sub\\*"), (std::vector<std::string>{".", "..", "a.txt", "b.txt"}));
    EXPECT_EQ(Names("D:\\*.*"),
              (std::vector<std::string>{"1", "A", "a~2", "b", "sub", "top.txt", "_x", Bytes("82 81")}));
}

TEST_P(PlatformContract, PatternsMatchShownNamesAndAliasesWithoutRegardToCase)
{
    for (const char* name : {"notes.txt", "Other.TXT", "README", "data.bin", "Long Name.txt"}) world->File(name);
    world->Ready();
    EXPECT_EQ(Names("D:\\*.txt"), (std::vector<std::string>{"Long Name.txt", "notes.txt", "Other.TXT"}));
    EXPECT_EQ(Names("D:\\?EADME"), (std::vector<std::string>{"README"}));
    EXPECT_EQ(Names("D:\\README.*"), (std::vector<std::string>{"README"})) << "a final .* takes names without a period";
    EXPECT_EQ(Names("D:\\readme"), (std::vector<std::string>{"README"}));
    EXPECT_EQ(Names("D:\\LONGNA~1.TXT"), (std::vector<std::string>{"Long Name.txt"}));
    EXPECT_EQ(Names("D:\\LONGNA*"), (std::vector<std::string>{"Long Name.txt"})) << "matched by its alias";
    EXPECT_EQ(Names("D:\\*.xyz"), (std::vector<std::string>{"<error 2>"}));
    EXPECT_EQ(Names("D:\\missing"), (std::vector<std::string>{"<error 2>"}));
    EXPECT_EQ(Names("D:\\sub\\"), (std::vector<std::string>{"<error 2>"}));
}

TEST_P(PlatformContract, AttributeWordsTellDirectoriesFilesReadOnlyAndHiddenEntries)
{
    world->Directory("dir");
    world->File("file");
    world->File("locked");
    world->ReadOnly("locked");
    world->File(".hidden");
    world->Ready();
    EXPECT_EQ(Search("D:\\*.*"),
              (std::vector<Found>{
                  {".hidden", 0x22, "HIDDEN~1"}, {"dir", 0x10, ""}, {"file", 0x20, ""}, {"locked", 0x21, ""}}));
    EXPECT_EQ(Attributes("D:\\locked"), "33");
    EXPECT_EQ(Attributes("D:\\DIR"), "16");
    EXPECT_EQ(Attributes("D:\\"), "16");
    const std::vector<Found> dots = Search("D:\\dir\\*.*");
    ASSERT_EQ(dots.size(), 2u);
    EXPECT_EQ(dots[0], (Found{".", 0x10, ""})) << "the directory searched";
    EXPECT_EQ(dots[1], (Found{"..", 0x10, ""}));
}

TEST_P(PlatformContract, NamesEqualWithoutRegardToCaseAreNumberedAndEverySpellingReachesOne)
{
    world->Directory("DATA");
    world->File("Data/in data.txt");
    world->File("data");
    world->File("DATA~2");
    world->Ready();
    EXPECT_EQ(Names("D:\\*.*"), (std::vector<std::string>{"DATA", "Data~3", "data~4", "DATA~2"}));
    EXPECT_EQ(Attributes("D:\\data"), "16") << "the first of the group, whatever the spelling";
    EXPECT_EQ(Attributes("D:\\DATA~3"), "16");
    EXPECT_EQ(Names("D:\\data~3\\*.*"), (std::vector<std::string>{".", "..", "in data.txt"}));
    EXPECT_EQ(Attributes("D:\\Data~4"), "32");
    EXPECT_EQ(Short("D:\\Data~3\\in data.txt"), "D:\\Data~3\\INDATA~1.TXT");
}

TEST_P(PlatformContract, NamesThatShowAsQuestionMarksAreNumberedAndAlwaysHaveAnAlias)
{
    world->File("a:b.txt");
    world->File("a*b.txt");
    world->File("a?b.txt");
    world->File("\xF0\x9F\x98\x80");
    world->File("\xF0\x9F\x8E\x89");
    world->Ready();
    // In the order of the Linux names: "*" before ":" before "?", and the
    // characters beyond the BMP last (🎉 before 😀).
    EXPECT_EQ(Search("D:\\*.*"), (std::vector<Found>{{"a?b.txt", 0x20, "A_B~1.TXT"},
                                                     {"a?b.txt~2", 0x20, "A_B~2.TXT"},
                                                     {"a?b.txt~3", 0x20, "A_B~3.TXT"},
                                                     {"?", 0x20, "_~1"},
                                                     {"?~2", 0x20, "_~2"}}));
    EXPECT_EQ(world->Contents("a*b.txt"), "");
    EXPECT_EQ(Short("D:\\A?B.TXT~3"), "D:\\A_B~3.TXT");
    EXPECT_EQ(Short("D:\\?~2"), "D:\\_~2");
    EXPECT_EQ(Attributes("D:\\a?b.txt~4"), "<error 123>") << "a name with wildcards that no entry shows";
    EXPECT_EQ(Attributes("D:\\a_b~4.txt"), "<error 2>");
}

TEST_P(PlatformContract, JapaneseNamesWithBackslashSecondBytesAreDirectoriesOfTheirOwn)
{
    // 表 (95 5C) and ソ (83 5C).
    world->File("\xE8\xA1\xA8/\xE3\x82\xBD.txt");
    world->Ready();
    const std::string dir = "D:\\" + Bytes("95 5C");
    EXPECT_EQ(Attributes(dir.c_str()), "16");
    EXPECT_EQ(Names(dir), (std::vector<std::string>{Bytes("95 5C")}));
    EXPECT_EQ(Names(dir + "\\*.*"), (std::vector<std::string>{".", "..", Bytes("83 5C 2E 74 78 74")}));
    EXPECT_EQ(Short(dir + "\\" + Bytes("83 5C") + ".txt"), dir + "\\" + Bytes("83 5C") + ".txt");
    const std::string slashed = "D:/" + Bytes("95 5C") + "/" + Bytes("83 5C") + ".txt";
    EXPECT_EQ(Short(slashed), slashed);
}

TEST_P(PlatformContract, ShortPathsCopyLegalNamesAsGivenAndReplaceTheOthers)
{
    world->File("Program Files/readme.txt");
    world->File("program data/x");
    for (int i = 1; i <= 5; ++i) world->File("longfilename" + std::to_string(i) + ".txt");
    world->Ready();
    // "PROGRAM DATA" comes before "PROGRAM FILES".
    EXPECT_EQ(Short("D:\\Program Files\\readme.txt"), "D:\\PROGRA~2\\readme.txt");
    EXPECT_EQ(Short("d:/program data/X"), "d:/PROGRA~1/X");
    EXPECT_EQ(Short("D:\\Program Files\\"), "D:\\PROGRA~2\\");
    EXPECT_EQ(Short("D:\\PROGRA~1\\x"), "D:\\PROGRA~1\\x");
    EXPECT_EQ(Short("D:\\longfilename4.txt"), "D:\\LONGFI~4.TXT");
    EXPECT_EQ(Short("D:\\longfilename5.txt"), "D:\\LO3600~1.TXT");
    EXPECT_EQ(Short("D:\\"), "D:\\");

    // Relative paths stay relative; "." and ".." are copied.
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\program data"));
    EXPECT_EQ(Short("..\\Program Files\\.\\readme.txt"), "..\\PROGRA~2\\.\\readme.txt");
    EXPECT_EQ(Short("x"), "x");
    EXPECT_EQ(Short("D:..\\Program Files"), "D:..\\PROGRA~2");
    EXPECT_EQ(Short("D:\\Program Files\\..\\Program Files\\readme.txt"), "D:\\Program Files\\..\\PROGRA~2\\readme.txt");
}

TEST_P(PlatformContract, ShortPathBuffersFollowTheWindowsRules)
{
    world->File("Long Name.txt");
    world->Ready();
    char buffer[32];
    std::memset(buffer, 'Z', sizeof buffer);
    // "D:\LONGNA~1.TXT" is 15 bytes: a buffer of 15 is one too small.
    EXPECT_EQ(GetShortPathNameA("D:\\Long Name.txt", buffer, 15), 16u);
    EXPECT_EQ(buffer[0], 'Z') << "untouched";
    EXPECT_EQ(GetShortPathNameA("D:\\Long Name.txt", buffer, 16), 15u);
    EXPECT_STREQ(buffer, "D:\\LONGNA~1.TXT");
    EXPECT_EQ(GetShortPathNameA("D:\\Long Name.txt", nullptr, 0), 16u);
    EXPECT_EQ(Short("D:\\missing.txt"), "<error 2>");
    EXPECT_EQ(Short("D:\\missing\\x.txt"), "<error 3>");
    EXPECT_EQ(GetShortPathNameA(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_P(PlatformContract, BadPathsGetWindowsErrorCodes)
{
    world->File("file.txt");
    world->Directory("sub");
    world->Ready();
    EXPECT_EQ(Attributes(""), "<error 3>");
    EXPECT_EQ(Attributes("\\\\"), "<error 123>");
    EXPECT_EQ(Attributes("\\\\\\\\"), "<error 123>");
    EXPECT_EQ(Attributes("\\\\host"), "<error 53>");
    EXPECT_EQ(Attributes("Q:\\x"), "<error 3>");
    EXPECT_EQ(Attributes("\\\\nohost\\share\\x"), "<error 53>");
    EXPECT_EQ(Attributes("D:\\s*b\\x"), "<error 123>");
    EXPECT_EQ(Attributes("D:\\s*b"), "<error 123>");
    EXPECT_EQ(Attributes("D:\\file.txt\\x"), "<error 3>");
    EXPECT_EQ(Attributes("D:\\missing"), "<error 2>");
    EXPECT_EQ(Attributes("D:\\missing\\x"), "<error 3>");
    EXPECT_EQ(Attributes(std::string(40000, 'a').c_str()), "<error 206>");
    EXPECT_EQ(Attributes(nullptr), "<error 87>");

    EXPECT_EQ(Names("D:\\file.txt\\*.*"), (std::vector<std::string>{"<error 267>"}));
    EXPECT_EQ(Names("D:\\missing\\*.*"), (std::vector<std::string>{"<error 3>"}));
    EXPECT_EQ(Names("D:\\missing\\deeper\\*.*"), (std::vector<std::string>{"<error 3>"}));
    EXPECT_FALSE(SetCurrentDirectoryA("D:\\file.txt"));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_FALSE(SetCurrentDirectoryA("D:\\missing"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(SetCurrentDirectoryA("D:\\missing\\deeper"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    WIN32_FIND_DATAA data{};
    EXPECT_FALSE(FindNextFileA(12345, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FindClose(12345));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_P(PlatformContract, EachDriveKeepsItsCurrentDirectoryAsItWasWritten)
{
    world->File("sub/inner/here.txt");
    world->Ready();
    ASSERT_TRUE(SetCurrentDirectoryA("d:\\sub"));
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ(Current(), "C:\\");
    ASSERT_TRUE(SetCurrentDirectoryA("D:"));
    EXPECT_EQ(Current(), "d:\\sub");
    ASSERT_TRUE(SetCurrentDirectoryA("INNER"));
    EXPECT_EQ(Current(), "d:\\sub\\INNER");
    EXPECT_EQ(Attributes("here.txt"), "32");
    EXPECT_EQ(Attributes("D:here.txt"), "32");
    EXPECT_EQ(Attributes("..\\inner\\here.txt"), "32");
    EXPECT_EQ(Attributes("\\sub"), "16");
    ASSERT_TRUE(SetCurrentDirectoryA(".."));
    EXPECT_EQ(Current(), "d:\\sub");
    char small[5];
    EXPECT_EQ(GetCurrentDirectoryA(sizeof small, small), 7u) << "the size needed, with the zero";
    EXPECT_FALSE(SetCurrentDirectoryA("D:\\sub\\missing"));
    EXPECT_EQ(Current(), "d:\\sub") << "a failed change leaves the current directory";
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
}

TEST_P(PlatformContract, CreatedFilesAreWrittenReplacedAndHeldWithoutSharing)
{
    world->File("a.txt", "old");
    world->Ready();
    HANDLE file = CreateFileA("D:\\result.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(CreateFileA("D:\\result.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "long content\r\n", 14, &written));
    EXPECT_EQ(written, 14u);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(world->Contents("result.txt"), "long content\r\n");

    file = CreateFileA("D:\\a.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS) << "an existing file replaced";
    ASSERT_TRUE(WriteFile(file, "new", 3, &written));
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ(world->Contents("a.txt"), "new");
    EXPECT_EQ(CreateFileA("D:\\a.txt", GENERIC_WRITE, 0, CREATE_NEW, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 80u);
    EXPECT_EQ(CreateFileA("D:\\none.txt", GENERIC_READ, 0, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileA("D:\\", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateFileA("D:\\no dir\\x.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_P(PlatformContract, FilesAreReadBackToTheirEnd)
{
    world->File("in.txt", "abcdef");
    world->Ready();
    const HANDLE file = CreateFileA("D:\\IN.TXT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[4];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read));
    EXPECT_EQ(std::string(buffer, read), "abcd");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read));
    EXPECT_EQ(std::string(buffer, read), "ef");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read));
    EXPECT_EQ(read, 0u) << "the end: still TRUE";
    EXPECT_FALSE(WriteFile(file, "x", 1, &read));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(file));
}

TEST_P(PlatformContract, ReadOnlyAndHeldFilesCannotBeReplacedMovedOverOrRemoved)
{
    world->File("locked.txt", "keep");
    world->ReadOnly("locked.txt");
    world->File("held.txt", "held");
    world->HeldElsewhere("held.txt");
    world->File("new.txt", "new");
    world->Directory("dir");
    world->Ready();
    EXPECT_EQ(CreateFileA("D:\\locked.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateFileA("D:\\held.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(MoveFileExA("D:\\new.txt", "D:\\held.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(MoveFileExA("D:\\new.txt", "D:\\locked.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA("D:\\locked.txt"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA("D:\\dir"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA("D:\\held.txt"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(world->Contents("locked.txt"), "keep");
    EXPECT_EQ(world->Contents("held.txt"), "held");
}

TEST_P(PlatformContract, ANewFileIsRefusedWhereverTheNameIsTakenWhateverTakesIt)
{
    world->File("plain.txt", "plain");
    world->File("locked.txt", "keep");
    world->ReadOnly("locked.txt");
    world->File("held.txt", "held");
    world->HeldElsewhere("held.txt");
    world->Directory("dir");
    world->Ready();
    for (const char* taken : {"D:\\plain.txt", "D:\\locked.txt", "D:\\held.txt", "D:\\dir"}) {
        SetLastError(0);
        EXPECT_EQ(CreateFileA(taken, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, 0), INVALID_HANDLE_VALUE) << taken;
        EXPECT_EQ(GetLastError(), 80u) << taken;
    }
    EXPECT_EQ(world->Contents("plain.txt"), "plain");
    EXPECT_EQ(world->Contents("locked.txt"), "keep");
    EXPECT_EQ(world->Contents("held.txt"), "held");
}

TEST_P(PlatformContract, MovesReplaceOnlyWhenAskedAndRemovedFilesAreGone)
{
    world->File("a.tmp", "new");
    world->File("a.txt", "old");
    world->Ready();
    EXPECT_FALSE(MoveFileExA("D:\\a.tmp", "D:\\a.txt", 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(MoveFileExA("D:\\a.tmp", "D:\\a.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(world->Contents("a.txt"), "new");
    EXPECT_EQ(Attributes("D:\\a.tmp"), "<error 2>");
    EXPECT_EQ(Names("D:\\*.*"), (std::vector<std::string>{"a.txt"}));
    EXPECT_FALSE(MoveFileExA("D:\\gone.tmp", "D:\\a.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(MoveFileExA("D:\\a.txt", "D:\\b.txt", 0));
    EXPECT_EQ(world->Contents("b.txt"), "new");
    ASSERT_TRUE(DeleteFileA("D:\\B.TXT"));
    EXPECT_FALSE(DeleteFileA("D:\\b.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Names("D:\\*.*"), (std::vector<std::string>{"<error 2>"}));
}

TEST_P(PlatformContract, FileIdentitiesTellEntriesApartAndAreTheSameForEverySpelling)
{
    world->File("Dir/File One.txt");
    world->File("Dir/two.txt");
    world->Ready();
    FileIdentity a, b, c, d;
    ASSERT_TRUE(GetFileIdentity("D:\\Dir\\File One.txt", &a));
    ASSERT_TRUE(GetFileIdentity("d:/dir/FILEON~1.TXT", &b));
    ASSERT_TRUE(GetFileIdentity("D:\\Dir\\two.txt", &c));
    ASSERT_TRUE(GetFileIdentity("D:\\Dir\\", &d));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(a, d);
    EXPECT_FALSE(GetFileIdentity("D:\\Dir\\none", &a));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

INSTANTIATE_TEST_SUITE_P(Platforms, PlatformContract,
                         ::testing::Values(WorldMaker([] { return std::make_unique<MemoryWorld>(); }),
                                           WorldMaker([] { return std::make_unique<LinuxWorld>(); })),
                         [](const ::testing::TestParamInfo<WorldMaker>& info) {
                             return info.index == 0 ? std::string("Memory") : std::string("Linux");
                         });

} // namespace
} // namespace kivra::platform

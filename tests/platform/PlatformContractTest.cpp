// One suite, three platforms: the memory platform that the other layers'
// tests stand on, the Linux platform over a real temporary tree and, in the
// Windows build, the Windows platform over a real temporary folder give the
// same answers to every call the program makes. Each world is drive D:
// holding the same tree; the memory one is given the names, order and
// aliases that the Linux directory tables give the Linux names.
//
// PlatformContract holds what the Windows API promises (path forms and
// their errors, patterns, current directories per drive, CreateFile
// dispositions, MoveFileEx, handles): every platform answers it, and under
// Wine an implementation of the API independent of ours answers it too.
// VolumeContract holds what a volume decides (the order of a search, the
// shapes of aliases, names equal without regard to case, names no Windows
// volume holds): the memory and Linux platforms, which fix it, answer it.
// Files are created, replaced and moved to under their exact names here: a
// name differing only in case is another file on Linux
// (PosixFileSystemTest), the same one on a Windows volume.

#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "platform/posix/DirectoryTable.h"
#include "tests/support/Bytes.h"
#ifdef _WIN32
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Windows.h"
#include "tests/support/WindowsFolders.h"
#else
#include "platform/posix/PosixPlatform.h"
#include "tests/support/TempDir.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
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
    // True for the Windows platform running under Wine, where the cases that
    // ask answer otherwise than Windows or than a user's machine: each says
    // why.
    virtual bool UnderWine() const { return false; }
};

#ifdef _WIN32
// Drive D: of the Windows under test, an empty folder for the test to fill
// and empty again: Wine maps it to a folder of the build (dev.sh, as its
// dosdevices link "d:"), a Windows test machine with subst.
class WindowsWorld : public World {
public:
    WindowsWorld()
    {
        const UINT type = GetDriveTypeW(L"D:\\");
        if (type != DRIVE_FIXED) ADD_FAILURE() << "drive D: is no fixed drive (type " << type << "): map it first";
        test::EmptyFolder(folder_);
    }
    void Directory(const std::string& path) override { CreateDirectoryW(Wide(path).c_str(), nullptr); }
    void File(const std::string& path, const std::string& contents) override
    {
        for (std::size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1))
            Directory(path.substr(0, at));
        std::ofstream(std::filesystem::path(Wide(path)), std::ios::binary) << contents;
    }
    void ReadOnly(const std::string& path) override { SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY); }
    void HeldElsewhere(const std::string& path) override
    {
        held_.push_back(CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    void Ready() override { scoped_.emplace(windows_.Interfaces()); }
    bool UnderWine() const override
    {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version");
    }
    std::string Contents(const std::string& path) override
    {
        std::ifstream file(std::filesystem::path(Wide(path)), std::ios::binary);
        if (!file) return "<none>";
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    ~WindowsWorld() override
    {
        scoped_.reset();
        for (const ::HANDLE handle : held_) ::CloseHandle(handle);
        SetCurrentDirectoryW(L"C:\\");
        test::EmptyFolder(folder_);
    }

private:
    std::wstring Wide(const std::string& path) const
    {
        std::wstring wide(path.size(), L'\0');
        wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                                                 wide.data(), static_cast<int>(wide.size()))));
        std::replace(wide.begin(), wide.end(), L'/', L'\\');
        return folder_ + L"\\" + wide;
    }
    const std::wstring folder_ = L"D:";
    std::vector<::HANDLE> held_;
    Win32Platform windows_;
    std::optional<ScopedPlatform> scoped_;
};
#else
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
#endif

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

    // The names a search reports, without "." and ".." and in byte order:
    // what the API settles of a search, whatever order the volume keeps.
    static std::vector<std::string> Sorted(const std::string& pattern)
    {
        std::vector<std::string> names;
        for (std::string& name : Names(pattern))
            if (name != "." && name != "..") names.push_back(std::move(name));
        std::sort(names.begin(), names.end());
        return names;
    }

    // The alias a search reports for the one entry a path names.
    static std::string Alias(const std::string& path)
    {
        const std::vector<Found> found = Search(path);
        return found.size() == 1 ? found[0].alias : "<" + std::to_string(found.size()) + " entries>";
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

class VolumeContract : public PlatformContract {};

TEST_P(VolumeContract, SearchesReportDotEntriesFirstOutsideARootThenTheEntriesInNtfsOrder)
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
    EXPECT_EQ(Sorted("D:\\*.txt"), (std::vector<std::string>{"Long Name.txt", "Other.TXT", "notes.txt"}));
    EXPECT_EQ(Names("D:\\?EADME"), (std::vector<std::string>{"README"}));
    EXPECT_EQ(Names("D:\\README.*"), (std::vector<std::string>{"README"})) << "a final .* takes names without a period";
    EXPECT_EQ(Names("D:\\readme"), (std::vector<std::string>{"README"}));
    const std::string alias = Alias("D:\\Long Name.txt");
    ASSERT_FALSE(alias.empty());
    EXPECT_EQ(Names("D:\\" + alias), (std::vector<std::string>{"Long Name.txt"}));
    EXPECT_EQ(Names("D:\\" + alias.substr(0, 4) + "*"), (std::vector<std::string>{"Long Name.txt"}))
        << "matched by its alias";
    EXPECT_EQ(Names("D:\\*.xyz"), (std::vector<std::string>{"<error 2>"}));
    EXPECT_EQ(Names("D:\\missing"), (std::vector<std::string>{"<error 2>"}));
    EXPECT_EQ(Names("D:\\sub\\"), (std::vector<std::string>{"<error 2>"}));
}

TEST_P(VolumeContract, AttributeWordsTellDirectoriesFilesReadOnlyAndHiddenEntries)
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

TEST_P(VolumeContract, NamesEqualWithoutRegardToCaseAreNumberedAndEverySpellingReachesOne)
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

TEST_P(VolumeContract, NamesThatShowAsQuestionMarksAreNumberedAndAlwaysHaveAnAlias)
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
    EXPECT_EQ(Attributes((dir + "/" + Bytes("83 5C") + ".txt").c_str()), "32");
}

// Whether a Japanese name is a legal 8.3 name is the volume's (its OEM code
// page's) to say: a Japanese Windows volume, and ours, keep it as its own
// short form.
TEST_P(VolumeContract, JapaneseLegalNamesAreTheirOwnShortForms)
{
    world->File("\xE8\xA1\xA8/\xE3\x82\xBD.txt");
    world->Ready();
    const std::string dir = "D:\\" + Bytes("95 5C");
    EXPECT_EQ(Short(dir + "\\" + Bytes("83 5C") + ".txt"), dir + "\\" + Bytes("83 5C") + ".txt");
    const std::string slashed = "D:/" + Bytes("95 5C") + "/" + Bytes("83 5C") + ".txt";
    EXPECT_EQ(Short(slashed), slashed);
}

TEST_P(VolumeContract, ShortPathsCopyLegalNamesAsGivenAndReplaceTheOthers)
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
    const std::string expected = "D:\\" + Alias("D:\\Long Name.txt");
    const auto size = static_cast<DWORD>(expected.size());
    ASSERT_GT(size, 3u);
    // A buffer of the length without the zero is one too small.
    EXPECT_EQ(GetShortPathNameA("D:\\Long Name.txt", buffer, size), size + 1);
    EXPECT_EQ(buffer[0], 'Z') << "untouched";
    EXPECT_EQ(GetShortPathNameA("D:\\Long Name.txt", buffer, size + 1), size);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(GetShortPathNameA("D:\\Long Name.txt", nullptr, 0), size + 1);
    EXPECT_EQ(Short("D:\\missing.txt"), "<error 2>");
    // Windows' documentation leaves the code for a missing folder open; Wine
    // gives 2, ours 3 as every other call does for a missing folder.
    if (!world->UnderWine()) {
        EXPECT_EQ(Short("D:\\missing\\x.txt"), "<error 3>");
    }
    EXPECT_EQ(GetShortPathNameA(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_P(PlatformContract, BadPathsGetWindowsErrorCodes)
{
    world->File("file.txt");
    world->Directory("sub");
    world->Ready();
    EXPECT_EQ(Attributes(""), "<error 3>");
    // Wine has no network redirector (66 for every network path) and says 2
    // for a drive that does not exist: Windows' answers are ours.
    if (!world->UnderWine()) {
        EXPECT_EQ(Attributes("\\\\"), "<error 123>");
        EXPECT_EQ(Attributes("\\\\\\\\"), "<error 123>");
        EXPECT_EQ(Attributes("\\\\host"), "<error 53>");
        EXPECT_EQ(Attributes("Q:\\x"), "<error 3>");
        EXPECT_EQ(Attributes("\\\\nohost\\share\\x"), "<error 53>");
    }
    EXPECT_EQ(Attributes("D:\\s*b\\x"), "<error 123>");
    EXPECT_EQ(Attributes("D:\\s*b"), "<error 123>");
    EXPECT_EQ(Attributes("D:\\file.txt\\x"), "<error 3>");
    EXPECT_EQ(Attributes("D:\\missing"), "<error 2>");
    EXPECT_EQ(Attributes("D:\\missing\\x"), "<error 3>");
    EXPECT_EQ(Attributes(nullptr), "<error 87>");
    // Wine says 2 for a name longer than a volume holds and 123 for a
    // search below a file, where Windows says 206 and 267.
    if (!world->UnderWine()) {
        EXPECT_EQ(Attributes(std::string(40000, 'a').c_str()), "<error 206>");
        EXPECT_EQ(Names("D:\\file.txt\\*.*"), (std::vector<std::string>{"<error 267>"}));
    }
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
    // Wine keeps the read-only attribute in the Linux permission bits, which
    // do not stop root (the tests' user here).
    if (world->UnderWine()) GTEST_SKIP() << "Wine run as root writes read-only files";
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
    if (world->UnderWine()) GTEST_SKIP() << "Wine run as root writes read-only files";
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
    EXPECT_EQ(Sorted("D:\\*.*"), (std::vector<std::string>{"a.txt"}));
    EXPECT_FALSE(MoveFileExA("D:\\gone.tmp", "D:\\a.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(MoveFileExA("D:\\a.txt", "D:\\b.txt", 0));
    EXPECT_EQ(world->Contents("b.txt"), "new");
    ASSERT_TRUE(DeleteFileA("D:\\B.TXT"));
    EXPECT_FALSE(DeleteFileA("D:\\b.txt"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Names("D:\\*.txt"), (std::vector<std::string>{"<error 2>"})) << "nothing left";
}

TEST_P(PlatformContract, FileIdentitiesTellEntriesApartAndAreTheSameForEverySpelling)
{
    world->File("Dir/File One.txt");
    world->File("Dir/two.txt");
    world->Ready();
    FileIdentity a, b, c, d;
    ASSERT_TRUE(GetFileIdentity("D:\\Dir\\File One.txt", &a));
    ASSERT_TRUE(GetFileIdentity(("d:/dir/" + Alias("D:\\Dir\\File One.txt")).c_str(), &b));
    ASSERT_TRUE(GetFileIdentity("D:\\Dir\\two.txt", &c));
    ASSERT_TRUE(GetFileIdentity("D:\\Dir\\", &d));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(a, d);
    EXPECT_FALSE(GetFileIdentity("D:\\Dir\\none", &a));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

WorldMaker Memory()
{
    return [] { return std::make_unique<MemoryWorld>(); };
}

std::string WorldName(const ::testing::TestParamInfo<WorldMaker>& info)
{
    return info.index == 0 ? std::string("Memory") : std::string(SystemPathSeparator == '/' ? "Linux" : "Windows");
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Platforms, PlatformContract,
                         ::testing::Values(Memory(), WorldMaker([] { return std::make_unique<WindowsWorld>(); })),
                         WorldName);
// A Windows volume decides these itself; the memory platform alone is no
// contract.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(VolumeContract);
#else
INSTANTIATE_TEST_SUITE_P(Platforms, PlatformContract,
                         ::testing::Values(Memory(), WorldMaker([] { return std::make_unique<LinuxWorld>(); })),
                         WorldName);
INSTANTIATE_TEST_SUITE_P(Platforms, VolumeContract,
                         ::testing::Values(Memory(), WorldMaker([] { return std::make_unique<LinuxWorld>(); })),
                         WorldName);
#endif

} // namespace
} // namespace kivra::platform

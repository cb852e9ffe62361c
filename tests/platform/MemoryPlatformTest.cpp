// The in-memory platform that the other layers' tests stand on: it has to
// answer as Windows does, or those tests prove nothing.

#include "platform/memory/MemoryPlatform.h"
#include "platform/WinApi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivra::platform {
namespace {

class MemoryPlatformTest : public ::testing::Test {
protected:
    MemoryPlatformTest()
    {
        fs.AddDrive('C', DRIVE_FIXED, "SYSTEM");
        fs.AddDirectory("C:\\DATA");
        fs.AddFile("C:\\DATA\\LongName.txt", 0x20, "LONGNA~1.TXT", "abc");
    }

    std::vector<std::string> Listing(const char* pattern)
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        const HANDLE search = FindFirstFileA(pattern, &data);
        if (search == INVALID_HANDLE_VALUE) return names;
        do names.push_back(data.cFileName);
        while (FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        FindClose(search);
        return names;
    }

    std::string ShortPath(const char* path)
    {
        char buffer[300] = {};
        const DWORD length = GetShortPathNameA(path, buffer, sizeof buffer);
        return length ? std::string(buffer, length) : std::string("<error ") + std::to_string(GetLastError()) + ">";
    }

    std::string Current()
    {
        char buffer[300] = {};
        const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
        return std::string(buffer, length);
    }

    MemoryPlatform fs;
    ScopedPlatform use{fs.AsPlatform()};
};

TEST_F(MemoryPlatformTest, SearchReportsDotEntriesThenEntriesInTheOrderAdded)
{
    fs.AddFile("C:\\DATA\\B.TXT");
    fs.AddFile("C:\\DATA\\A.TXT");
    EXPECT_EQ(Listing("C:\\DATA\\*.*"), (std::vector<std::string>{".", "..", "LongName.txt", "B.TXT", "A.TXT"}));
    EXPECT_EQ(Listing("C:\\*.*"), (std::vector<std::string>{"DATA"})) << "a drive root has no dot entries";
    EXPECT_EQ(Listing("C:\\DATA\\*.TXT"), (std::vector<std::string>{"LongName.txt", "B.TXT", "A.TXT"}));
}

TEST_F(MemoryPlatformTest, AttributeWordsAndNameBytesAreReportedUnchanged)
{
    const std::string table = "\x95\x5C"; // a second byte equal to "\"
    fs.AddDirectory("C:\\DATA\\" + table, 0x2010);
    fs.AddFile("C:\\DATA\\" + table + "\\ZERO", 0);
    fs.AddFile("C:\\DATA\\" + table + "\\NORMAL", 0x80);
    WIN32_FIND_DATAA data;
    const HANDLE search = FindFirstFileA(("C:\\DATA\\" + table + "\\*.*").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::vector<std::pair<std::string, DWORD>> seen;
    do seen.emplace_back(data.cFileName, data.dwFileAttributes);
    while (FindNextFileA(search, &data));
    FindClose(search);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], (std::pair<std::string, DWORD>{".", 0x2010}));
    EXPECT_EQ(seen[2], (std::pair<std::string, DWORD>{"ZERO", 0}));
    EXPECT_EQ(seen[3], (std::pair<std::string, DWORD>{"NORMAL", 0x80}));
}

TEST_F(MemoryPlatformTest, ANameGivenAnAliasIsFoundByItAndShortenedToItWhateverTheName)
{
    EXPECT_EQ(GetFileAttributesA("c:\\data\\longna~1.TXT"), 0x20u);
    char buffer[64];
    const DWORD length = GetShortPathNameA("C:\\data\\LONGNAME.TXT", buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, length), "C:\\data\\LONGNA~1.TXT");
}

TEST_F(MemoryPlatformTest, LinuxPathsAreThoseOfDriveCInUtf8)
{
    std::string windows;
    ASSERT_TRUE(WindowsPathFromSystemPath("/DATA/./x/../LongName.txt", windows));
    EXPECT_EQ(windows, "C:\\DATA\\LongName.txt");
    std::string linux;
    ASSERT_TRUE(SystemPathFromWindowsPath("c:\\data\\longna~1.txt", linux));
    EXPECT_EQ(linux, "/DATA/LongName.txt") << "the stored names, whatever the spelling";
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\DATA"));
    ASSERT_TRUE(WindowsPathFromSystemPath("sub", windows));
    EXPECT_EQ(windows, "C:\\DATA\\sub");
    fs.DeleteWorkingDirectory();
    EXPECT_FALSE(WindowsPathFromSystemPath("sub", windows));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(WindowsPathFromSystemPath("/", windows));
    EXPECT_EQ(windows, "C:\\");
}

TEST_F(MemoryPlatformTest, EachDriveKeepsItsOwnCurrentDirectory)
{
    fs.AddDrive('D', DRIVE_REMOVABLE);
    fs.AddDirectory("D:\\WORK");
    EXPECT_EQ(Current(), "C:\\");
    ASSERT_TRUE(SetCurrentDirectoryA("DATA"));
    EXPECT_EQ(Current(), "C:\\DATA");
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\WORK"));
    EXPECT_EQ(Current(), "D:\\WORK");
    ASSERT_TRUE(SetCurrentDirectoryA("C:"));
    EXPECT_EQ(Current(), "C:\\DATA") << "a bare drive returns to that drive's own directory";
    ASSERT_TRUE(SetCurrentDirectoryA(".."));
    EXPECT_EQ(Current(), "C:\\");

    EXPECT_FALSE(SetCurrentDirectoryA("C:\\MISSING"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\MISSING\\DEEPER"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\DATA\\LongName.txt"));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    fs.SetNotReady('D');
    EXPECT_FALSE(SetCurrentDirectoryA("D:\\"));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_EQ(Current(), "C:\\") << "a failed change leaves the current directory";
}

TEST_F(MemoryPlatformTest, FilesAreWrittenReplacedAndRemovedWithTheirFailures)
{
    HANDLE file =
        CreateFileA("C:\\DATA\\OUT.TXT", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA("C:\\DATA\\OUT.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION) << "opened without sharing";
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "hello", 5, &written));
    EXPECT_EQ(written, 5u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(fs.FileContents("C:\\DATA\\OUT.TXT"), "hello");

    ASSERT_TRUE(MoveFileExA("C:\\DATA\\OUT.TXT", "C:\\DATA\\LONGNAME.TXT", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(fs.FileContents("C:\\DATA\\LongName.txt"), "hello");
    EXPECT_FALSE(fs.Exists("C:\\DATA\\OUT.TXT"));
    EXPECT_TRUE(DeleteFileA("C:\\DATA\\LONGNAME.TXT"));
    EXPECT_EQ(fs.EntryNames("C:\\DATA"), std::vector<std::string>{});

    fs.AddFile("C:\\DATA\\BUSY.TXT", 0x20, {}, "old");
    fs.HoldOpen("C:\\DATA\\BUSY.TXT");
    EXPECT_EQ(CreateFileA("C:\\DATA\\BUSY.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(DeleteFileA("C:\\DATA\\BUSY.TXT"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(fs.FileContents("C:\\DATA\\BUSY.TXT"), "old");

    fs.DenyWrites("C:\\DATA");
    EXPECT_EQ(CreateFileA("C:\\DATA\\NEW.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(fs.OpenFiles(), 0u);
}

TEST_F(MemoryPlatformTest, AFullDiskWritesWhatFitsAndFails)
{
    fs.SetFreeSpace('C', 3);
    const HANDLE file = CreateFileA("C:\\DATA\\OUT.TXT", GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
    DWORD written = 99;
    EXPECT_FALSE(WriteFile(file, "hello", 5, &written));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(written, 3u);
    CloseHandle(file);
    EXPECT_EQ(fs.FileContents("C:\\DATA\\OUT.TXT"), "hel");
}

TEST_F(MemoryPlatformTest, ALinkReportsItsTargetAndSharesItsIdentity)
{
    fs.AddLink("C:\\DATA\\UP", "C:\\DATA");
    EXPECT_EQ(GetFileAttributesA("C:\\DATA\\UP"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(Listing("C:\\DATA\\UP\\UP\\*.*"), (std::vector<std::string>{".", "..", "LongName.txt", "UP"}));
    FileIdentity a, b, c;
    ASSERT_TRUE(GetFileIdentity("C:\\DATA\\UP\\UP", &a));
    ASSERT_TRUE(GetFileIdentity("C:\\DATA\\", &b));
    ASSERT_TRUE(GetFileIdentity("C:\\DATA\\LongName.txt", &c));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST_F(MemoryPlatformTest, DriveTableVolumesAndNetworkNamesAreAsGiven)
{
    fs.AddDrive('E', DRIVE_CDROM, "\x83\x66\x83\x42\x83\x58\x83\x4E"); // ディスク
    fs.AddDrive('N', DRIVE_REMOTE);
    fs.SetNetworkName('N', "\\\\HOST\\SHARE");
    fs.FailVolumeInformation('N', ERROR_BAD_NETPATH);
    fs.SetExtraDriveBits(1u << 27);
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 4) | (1u << 13) | (1u << 27));
    EXPECT_EQ(GetDriveTypeA("E:\\"), DRIVE_CDROM);
    EXPECT_EQ(GetDriveTypeA("Q:\\"), DRIVE_NO_ROOT_DIR);

    char label[32] = {};
    DWORD serial = 1, flags = 0;
    ASSERT_TRUE(GetVolumeInformationA("E:\\", label, sizeof label, &serial, nullptr, &flags, nullptr, 0));
    EXPECT_STREQ(label, "\x83\x66\x83\x42\x83\x58\x83\x4E");
    EXPECT_FALSE(GetVolumeInformationA("N:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);

    char remote[6];
    DWORD length = sizeof remote;
    EXPECT_EQ(WNetGetConnectionA("N:", remote, &length), ERROR_MORE_DATA);
    EXPECT_EQ(length, 13u);
    char enough[13];
    EXPECT_EQ(WNetGetConnectionA("N:", enough, &length), ERROR_SUCCESS);
    EXPECT_STREQ(enough, "\\\\HOST\\SHARE");
    EXPECT_EQ(WNetGetConnectionA("C:", enough, &length), ERROR_NOT_CONNECTED);
    EXPECT_EQ(GetFileAttributesA("\\\\host\\share\\"), FILE_ATTRIBUTE_DIRECTORY) << "network path reaches its drive";
    fs.AddDirectory("N:\\DIR");
    ASSERT_TRUE(SetCurrentDirectoryA("\\\\host\\share"));
    ASSERT_TRUE(SetCurrentDirectoryA("dir"));
    char current[64];
    EXPECT_EQ(std::string(current, GetCurrentDirectoryA(sizeof current, current)), "\\\\host\\share\\dir")
        << "entered by its network path, the directory reads as it was written";
    EXPECT_FALSE(SetCurrentDirectoryA("\\\\other\\share"));
    EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
}

TEST_F(MemoryPlatformTest, TheTickCounterAdvancesByItsStepAndWraps)
{
    fs.SetTicks(0xFFFFFFF0u, 0x10);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    EXPECT_EQ(GetTickCount(), 0u);
    EXPECT_EQ(GetTickCount(), 0x10u);
    EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS), 0u);
    EXPECT_EQ(fs.ErrorMode(), SEM_FAILCRITICALERRORS);
}

TEST_F(MemoryPlatformTest, ModuleFileNameIsCutToTheBufferAsWindowsDoes)
{
    fs.SetModuleFileName("C:\\PROGRAM\\KIVRA.EXE");
    char small[8];
    EXPECT_EQ(GetModuleFileNameA(small, sizeof small), 8u);
    EXPECT_STREQ(small, "C:\\PROG");
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(ExecutableDirectory(), "C:\\PROGRAM\\");
}

} // namespace
} // namespace kivra::platform

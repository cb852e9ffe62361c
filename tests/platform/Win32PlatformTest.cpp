// The Windows platform's own cases, over a real temporary folder: a name
// that code page 932 cannot hold, a path longer than MAX_PATH, a network
// path.

#include "platform/win32/Win32Platform.h"
#include "platform/WinApi.h"
#include "platform/win32/Windows.h"
#include "tests/support/WindowsFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace kivra::platform {
namespace {

class Win32PlatformTest : public ::testing::Test {
protected:
    Win32PlatformTest() : scoped_(windows_.Interfaces())
    {
        static int made = 0;
        folder_ = std::filesystem::temp_directory_path() /
                  ("kivra-win32-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made));
        std::filesystem::create_directories(folder_);
        Text path;
        const std::u8string utf8 = folder_.u8string();
        EXPECT_TRUE(WindowsPathFromSystemPath(std::string(utf8.begin(), utf8.end()), path));
        root_ = path;
    }
    ~Win32PlatformTest() override
    {
        // By its "\\?\" form, which reaches beyond MAX_PATH.
        const std::wstring folder = L"\\\\?\\" + folder_.wstring();
        test::EmptyFolder(folder);
        RemoveDirectoryW(folder.c_str());
    }

    // Every name a search of `pattern` reports but "." and "..", with the
    // real name of each.
    static std::vector<std::pair<Text, std::string>> Found(const Text& pattern)
    {
        std::vector<std::pair<Text, std::string>> found;
        WIN32_FIND_DATAA data{};
        const HANDLE search = FindFirstFileA(pattern.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return found;
        do {
            const Text name = data.cFileName;
            std::string real;
            EXPECT_TRUE(FindRealName(search, real));
            if (name != "." && name != "..") found.emplace_back(name, real);
        } while (FindNextFileA(search, &data));
        FindClose(search);
        return found;
    }

    Win32Platform windows_;
    ScopedPlatform scoped_;
    std::filesystem::path folder_;
    Text root_;
};

TEST_F(Win32PlatformTest, ANameThatCodePage932CannotHoldShowsQuestionMarksAndLeadsBackToItsEntry)
{
    // "Ünï" twice over in different letters: both show "?n?", the second
    // numbered; each leads back to its own folder.
    std::filesystem::create_directories(folder_ / L"\u00DCn\u00EF");
    std::filesystem::create_directories(folder_ / L"\u00D9n\u00EC");
    std::ofstream(folder_ / L"\u00DCn\u00EF" / L"in.txt") << "first";
    const auto found = Found(root_ + "\\*.*");
    ASSERT_EQ(found.size(), 2u);
    std::set<Text> shown{found[0].first, found[1].first};
    EXPECT_EQ(shown, (std::set<Text>{"?n?", "?n?~2"}));
    for (const auto& [name, real] : found) {
        const Text path = root_ + "\\" + name;
        EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY) << name;
        std::string system;
        ASSERT_TRUE(SystemPathFromWindowsPath(path, system));
        EXPECT_TRUE(system.ends_with("\\" + real)) << system;
        const bool holdsTheFile = real == "\xC3\x9Cn\xC3\xAF";
        EXPECT_EQ(GetFileAttributesA((path + "\\in.txt").c_str()) != INVALID_FILE_ATTRIBUTES, holdsTheFile) << name;
    }
    // Its short form is the volume's alias where the volume keeps one; never
    // a path with "?" in it.
    char shortPath[600];
    const Text first = root_ + "\\" + found[0].first;
    const DWORD length = GetShortPathNameA(first.c_str(), shortPath, sizeof shortPath);
    if (length == 0)
        EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    else
        EXPECT_EQ(std::string(shortPath, length).find('?'), std::string::npos) << shortPath;
}

TEST_F(Win32PlatformTest, PathsLongerThanMaxPathAreSearchedAndTheirFilesWritten)
{
    Text path = root_;
    std::filesystem::path system = folder_;
    for (int level = 0; level < 12; ++level) {
        const std::string name = "a folder with a long name " + std::to_string(level);
        system /= name;
        path += "\\" + name;
    }
    std::filesystem::create_directories(system);
    ASSERT_GT(path.size(), MAX_PATH);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    const Text file = path + "\\result.txt";
    const HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(handle, "ok", 2, &written));
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(Found(path + "\\*.*"), (std::vector<std::pair<Text, std::string>>{{"result.txt", "result.txt"}}));
    char shortPath[2000];
    const DWORD length = GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath);
    EXPECT_GT(length, 0u) << "error " << GetLastError();
}

TEST_F(Win32PlatformTest, ANetworkPathWithNoServerBehindItFailsAsWindowsSaysWithoutWaitingForever)
{
    const DWORD attributes = GetFileAttributesA("\\\\kivra-no-such-server\\share\\x");
    EXPECT_EQ(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
    Text windows;
    ASSERT_TRUE(WindowsPathFromSystemPath("\\\\kivra-no-such-server\\share\\x", windows));
    EXPECT_EQ(windows, "\\\\kivra-no-such-server\\share\\x") << "a network path keeps its form";
}

} // namespace
} // namespace kivra::platform

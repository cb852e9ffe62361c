// The shared test helpers themselves: a fault here would hide faults
// everywhere else.
#include "platform/WinApi.h"
#include "tests/support/Bytes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/MockPlatform.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace kivra::test {
namespace {

namespace fs = std::filesystem;

TEST(Bytes, ReadsHexadecimalPairs)
{
    EXPECT_EQ(Bytes("90 B3 8F ED"), std::string("\x90\xB3\x8F\xED"));
    EXPECT_EQ(Bytes("5c 00 7f"), std::string("\x5C\x00\x7F", 3));
    EXPECT_EQ(Bytes("90B3"), std::string("\x90\xB3"));
    EXPECT_EQ(Bytes(""), "");
}

TEST(Bytes, FailsTheTestOnALoneDigitOrANonDigit)
{
    EXPECT_NONFATAL_FAILURE(Bytes("9 B3"), "lone hexadecimal digit");
    EXPECT_NONFATAL_FAILURE(Bytes("90 B"), "lone hexadecimal digit");
    EXPECT_NONFATAL_FAILURE(Bytes("G0"), "no hexadecimal digit");
}

TEST(Hex, WritesPairsSeparatedByBlanks)
{
    EXPECT_EQ(Hex(std::string("\x90\xB3\x0A", 3)), "90 B3 0A");
    EXPECT_EQ(Hex(""), "");
}

TEST(TempDir, IsAnEmptyDirectoryThatGoesAwayWithEverythingInIt)
{
    std::string path;
    {
        const TempDir dir;
        path = dir.Path();
        ASSERT_TRUE(fs::is_directory(path));
        EXPECT_TRUE(fs::is_empty(path));
        EXPECT_EQ(dir.MakeDirectory("a/b"), path + "/a/b");
        EXPECT_TRUE(fs::is_directory(path + "/a/b"));
        EXPECT_EQ(fs::file_size(dir.MakeFile("c/d/x.txt", "content")), 7u);
        EXPECT_EQ(fs::file_size(dir.MakeFile("empty")), 0u);
    }
    EXPECT_FALSE(fs::exists(path));
}

// As an ordinary user, removal must first open up what the test closed.
// The suite may run as root, who passes every permission check; the child
// then runs as nobody.
void RemoveClosedSubtreesAsAnOrdinaryUser()
{
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::exit(2);
    std::string path;
    {
        const TempDir dir;
        path = dir.Path();
        dir.MakeFile("ro/inner/file", "x");
        dir.MakeFile("closed/file", "x");
        chmod((path + "/ro/inner").c_str(), 0555);
        chmod((path + "/ro").c_str(), 0555);
        chmod((path + "/closed").c_str(), 0);
    }
    std::exit(fs::exists(path) ? 1 : 0);
}

TEST(TempDir, RemovesReadOnlyAndClosedSubtrees)
{
    EXPECT_EXIT(RemoveClosedSubtreesAsAnOrdinaryUser(), ::testing::ExitedWithCode(0), "");
}

TEST(InChild, RunsTheCheckInAProcessOfItsOwnAndGivesItsExitStatus)
{
    int changed = 0;
    int status = 0;
    ASSERT_TRUE(InChild(
        [&] {
            changed = 1;
            return getpid() == getppid() ? 1 : 7;
        },
        status));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
    EXPECT_EQ(changed, 0) << "the child's memory is its own";
}

TEST(InChild, RunsAsNobodyWhenAsked)
{
    int status = 0;
    if (!InChild([] { return geteuid() == 65534 && getegid() == 65534 ? 0 : 1; }, status, true))
        GTEST_SKIP() << "cannot run a child process as nobody here";
    EXPECT_EQ(WEXITSTATUS(status), getuid() == 0 ? 0 : 1) << "as nobody only when the tests run as root";
}

TEST(MockPlatform, IsActiveForItsLifetime)
{
    const platform::Platform before = platform::Active();
    {
        MockPlatform mock;
        EXPECT_CALL(mock.clock, GetTickCount()).WillOnce(::testing::Return(4242u));
        EXPECT_EQ(platform::GetTickCount(), 4242u);
        EXPECT_EQ(platform::Active().files, &mock.files);
        EXPECT_EQ(platform::Active().volumes, &mock.volumes);
    }
    EXPECT_EQ(platform::Active().files, before.files);
    EXPECT_EQ(platform::Active().clock, before.clock);
}

} // namespace
} // namespace kivra::test

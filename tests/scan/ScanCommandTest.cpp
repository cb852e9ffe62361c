// kivra-scan's command: arguments, the paths it accepts, what it prints and
// its exit status, run in-process on a file system held in memory.

#include "scan/cli/ScanCommand.h"

#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivra::scan {
namespace {

using namespace kivra::platform;
using Lines = std::vector<std::string>;

class RecordingConsole : public ScanConsole {
public:
    void Line(const Text& text) override { out.push_back(text); }
    void ErrorLine(const Text& text) override { err.push_back(text); }
    bool WantsProgress() override { return terminal; }
    void Progress(const Text& text) override { progress.push_back(text); }

    bool terminal = false;
    Lines out, err, progress;
};

class ScanCommandTest : public ::testing::Test {
protected:
    ScanCommandTest()
    {
        fs.AddDrive('C', DRIVE_FIXED);
        fs.AddDrive('D', DRIVE_FIXED);
        fs.AddDirectory("C:\\HOME");
        fs.AddDirectory("C:\\HOME\\U");
        fs.AddDirectory("C:\\HOME\\U\\DATA");
        fs.AddDirectory("C:\\OUT");
        fs.AddDirectory("D:\\WORK");
    }

    int Run(const Lines& arguments) { return RunScanCommand(arguments, console); }

    std::string CountLine(const Text& counting, int n) { return counting + std::to_string(n) + t.CountSuffix; }

    const texts::ProgramTexts& t = texts::Texts();
    MemoryPlatform fs;
    ScopedPlatform use{fs.AsPlatform()};
    RecordingConsole console;
};

TEST_F(ScanCommandTest, LinuxPathsAreSeenThroughDriveCAndWindowsPathsAreMadeFull)
{
    EXPECT_EQ(WindowsPathOf("/home/u/data"), "C:\\home\\u\\data");
    EXPECT_EQ(WindowsPathOf("/"), "C:\\");
    EXPECT_EQ(WindowsPathOf("/home//u/./x/../data/"), "C:\\home\\u\\data");
    EXPECT_EQ(WindowsPathOf("D:\\WORK\\..\\X"), "D:\\X");
    EXPECT_EQ(WindowsPathOf("\\\\host\\share\\dir"), "\\\\host\\share\\dir");
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\WORK"));
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\HOME"));
    EXPECT_EQ(WindowsPathOf("u/data"), "C:\\HOME\\u\\data");
    EXPECT_EQ(WindowsPathOf("D:sub"), "D:\\WORK\\sub") << "relative to drive D's own directory";
    EXPECT_EQ(WindowsPathOf("\\top"), "C:\\top");
    char current[64];
    EXPECT_EQ(std::string(current, GetCurrentDirectoryA(sizeof current, current)), "C:\\HOME");
}

TEST_F(ScanCommandTest, ANormalTreePrintsTheFiveCountsAndTheNormalVerdict)
{
    fs.AddFile("C:\\HOME\\U\\DATA\\README.TXT");
    EXPECT_EQ(Run({"--output", "C:\\OUT", "/home/u/data"}), ScanNormal);
    EXPECT_EQ(console.out, (Lines{CountLine(t.CountLongNames, 1), CountLine(t.CountShortNames, 1),
                                  CountLine(t.CountDifferent, 0), CountLine(t.CountLongFiles, 0),
                                  CountLine(t.CountKomojiFiles, 0), "\x90\xB3\x8F\xED\x82\xC5\x82\xB7\x81\x42"}))
        << "the verdict 正常です。 without its blanks";
    EXPECT_EQ(fs.FileContents("C:\\OUT\\KIVRALNG.TXT"), t.LongNameHeader + "\r\nC:\\HOME\\U\\DATA\\README.TXT\r\n")
        << "the root is walked upper-cased";
    EXPECT_TRUE(console.err.empty());
    EXPECT_TRUE(console.progress.empty()) << "no progress line off a terminal";
}

TEST_F(ScanCommandTest, EntriesOfEitherKindGiveStatusOneAndFilesInTheCurrentDirectory)
{
    fs.AddFile("C:\\HOME\\U\\DATA\\LongName.txt", 0x20, "LONGNA~1.TXT");
    std::string hyou20;
    for (int i = 0; i < 20; ++i) hyou20 += "\x95\x5C"; // 表, whose second byte is "\\"
    fs.AddDirectory("C:\\HOME\\U\\DATA\\" + hyou20);
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\WORK"));
    console.terminal = true;
    fs.SetTicks(0, 100); // every reading of the clock is 100 ms later
    EXPECT_EQ(Run({"C:\\HOME\\U\\DATA"}), ScanFound);
    ASSERT_EQ(console.out.size(), 6u);
    EXPECT_EQ(console.out[2], CountLine(t.CountDifferent, 2));
    EXPECT_EQ(console.out[5] + std::string(12, ' '), t.VerdictFound.substr(4));
    EXPECT_EQ(fs.EntryNames("D:\\WORK").size(), 5u);
    EXPECT_EQ(console.progress, (Lines{t.ProgressLongNames + " 0  C:\\HOME\\U\\DATA\\",
                                       t.ProgressLongNames + " 2  ..." + hyou20.substr(2) + "\\", ""}))
        << "the directory's end, cut between characters; the line removed at the end";
}

TEST_F(ScanCommandTest, AMissingRootOrAFileThatCannotBeWrittenIsAnError)
{
    EXPECT_EQ(Run({"--output", "C:\\OUT", "/home/u/missing"}), ScanError);
    EXPECT_EQ(console.err, Lines{t.RootMissing.substr(4, t.RootMissing.size() - 15)});
    EXPECT_EQ(Run({"--output", "C:\\OUT", "C:\\HOME\\U\\DATA\\..\\..\\..\\OUT\\X"}), ScanError);
    EXPECT_TRUE(fs.EntryNames("C:\\OUT").empty());

    console.err.clear();
    fs.DenyWrites("C:\\OUT");
    EXPECT_EQ(Run({"--output=C:\\OUT", "/home/u/data"}), ScanError);
    EXPECT_EQ(console.err, Lines{t.SaveFailedLongNames.substr(3, t.SaveFailedLongNames.size() - 14)});
    EXPECT_TRUE(console.out.empty()) << "no counts after a failed save";
}

TEST_F(ScanCommandTest, HelpAndBadArguments)
{
    EXPECT_EQ(Run({"--help"}), ScanNormal);
    ASSERT_GE(console.out.size(), 3u);
    EXPECT_EQ(console.out[0], t.ScanCommandUsage.substr(0, t.ScanCommandUsage.find('\n')));
    for (const Lines& bad :
         {Lines{}, Lines{"--output"}, Lines{"-x", "/"}, Lines{"/", "/home"}, Lines{"--output", "C:\\OUT"}}) {
        console.err.clear();
        EXPECT_EQ(Run(bad), ScanError);
        EXPECT_EQ(console.err, Lines{console.out[0]}) << "the usage line";
    }
}

} // namespace
} // namespace kivra::scan

// SaveResultFiles and SaveListToFile: the five files' names, places and
// bytes, and what stays on disk when one of them cannot be written.

#include "scan/ResultFiles.h"

#include "platform/Exceptions.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"
#include "scan/TreeWalk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivra::scan {
namespace {

using namespace kivra::platform;

class Messages : public SaveFailureReporter {
public:
    void ReportSaveFailure(const Text& message) override { shown.push_back(message); }
    std::vector<Text> shown;
};

class ResultFilesTest : public ::testing::Test {
protected:
    ResultFilesTest()
    {
        fs.AddDrive('C', DRIVE_FIXED);
        fs.AddDirectory("C:\\ROOT");
        fs.AddDirectory("C:\\BIN");
        fs.SetModuleFileName("C:\\BIN\\KIVRA.EXE");
    }

    void ScanEmptyRoot()
    {
        ListFiles("C:\\ROOT\\", 0x3F, true, true, lists.LongNameList, true, true, false);
        ClassifyPaths(lists.Refs());
    }

    void PutOldFiles()
    {
        for (const char* name : Names) fs.AddFile(std::string("C:\\BIN\\") + name, 0x20, {}, "old content");
    }

    std::string File(const char* name) { return fs.FileContents(std::string("C:\\BIN\\") + name).value_or("<none>"); }

    static constexpr const char* Names[] = {"KIVRALNG.TXT", "KIVRASHT.TXT", "KIVRADIF.TXT", "KIVRALFN.TXT",
                                            "KIVRAKOM.TXT"};
    const texts::ProgramTexts& t = texts::Texts();
    MemoryPlatform fs;
    ScopedPlatform use{fs.AsPlatform()};
    ScanLists lists;
    Messages messages;
};

TEST_F(ResultFilesTest, AnEmptyRootGivesTheFiveFilesBesideTheExecutable)
{
    ScanEmptyRoot();
    ASSERT_TRUE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), (std::vector<Text>{Names, Names + 5})) << "in this order, nothing else";

    const std::string normal = "\x90\xB3\x8F\xED\x82\xC5\x82\xB7\r\n\r\n"; // 正常です, CR LF, CR LF
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRALNG.TXT").size(), 24u);
    EXPECT_EQ(File("KIVRASHT.TXT"), t.ShortNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRASHT.TXT").size(), 26u);
    EXPECT_EQ(File("KIVRADIF.TXT"), normal);
    EXPECT_EQ(File("KIVRALFN.TXT"), normal);
    EXPECT_EQ(File("KIVRAKOM.TXT"), normal);
}

TEST_F(ResultFilesTest, EveryLineEndsWithCrLfAndNothingFollowsTheLast)
{
    TStringList list;
    std::string text = "left from an earlier file";
    FileText(list, text);
    EXPECT_EQ(text, "");
    list.Add("a");
    list.Add("");
    list.Add("\x95\x5C");
    FileText(list, text);
    EXPECT_EQ(text, "a\r\n\r\n\x95\x5C\r\n");
    SaveListToFile(list, "C:\\BIN\\OUT.TXT");
    EXPECT_EQ(fs.FileContents("C:\\BIN\\OUT.TXT"), "a\r\n\r\n\x95\x5C\r\n");
    EXPECT_EQ(list.Count(), 3u) << "saving leaves the list alone";

    SaveListToFile(TStringList(), "C:\\BIN\\EMPTY.TXT");
    EXPECT_EQ(fs.FileContents("C:\\BIN\\EMPTY.TXT"), "");
}

TEST_F(ResultFilesTest, ALongerOldFileIsReplacedWhole)
{
    fs.AddFile("C:\\BIN\\KIVRALNG.TXT", 0x20, {}, std::string(5000, 'x'));
    ScanEmptyRoot();
    ASSERT_TRUE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
}

TEST_F(ResultFilesTest, TheDirectoryIsAskedForEachFileAndMayBeGivenByTheCaller)
{
    ScanEmptyRoot();
    fs.AddDirectory("C:\\OUT");
    int asked = 0;
    ASSERT_TRUE(SaveResultFiles(
        lists.Refs(),
        [&] {
            ++asked;
            return Text("C:\\OUT\\");
        },
        messages));
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(fs.EntryNames("C:\\OUT").size(), 5u);

    fs.AddDirectory("C:\\FIXED");
    ASSERT_TRUE(SaveResultFiles(lists.Refs(), Text("C:\\FIXED"), messages)) << "a final separator is added";
    EXPECT_EQ(fs.EntryNames("C:\\FIXED").size(), 5u);
}

TEST_F(ResultFilesTest, AReadOnlyExecutableDirectoryFailsAtTheFirstFileAndTouchesNothing)
{
    ScanEmptyRoot();
    fs.DenyWrites("C:\\BIN");
    EXPECT_FALSE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_EQ(messages.shown, std::vector<Text>{t.SaveFailedLongNames});
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), std::vector<Text>{});
    EXPECT_THROW(SaveListToFile(lists.LongNameList, "C:\\BIN\\KIVRALNG.TXT"), EFCreateError);
}

TEST_F(ResultFilesTest, AFileHeldOpenStopsTheSaveAndLaterFilesKeepTheirOldContent)
{
    PutOldFiles();
    fs.HoldOpen("C:\\BIN\\KIVRADIF.TXT");
    ScanEmptyRoot();
    EXPECT_FALSE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_EQ(messages.shown, std::vector<Text>{t.SaveFailedDifferent});
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRASHT.TXT"), t.ShortNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRADIF.TXT"), "old content");
    EXPECT_EQ(File("KIVRALFN.TXT"), "old content");
    EXPECT_EQ(File("KIVRAKOM.TXT"), "old content");
    EXPECT_EQ(fs.EntryNames("C:\\BIN").size(), 5u) << "no temporary file is left behind";
    EXPECT_EQ(fs.OpenFiles(), 0u);
}

TEST_F(ResultFilesTest, AFullDiskLeavesThePreviousFileWhole)
{
    PutOldFiles();
    ScanEmptyRoot();
    fs.SetFreeSpace('C', 30); // the first file (24 bytes) fits, the second (26) does not
    EXPECT_FALSE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_EQ(messages.shown, std::vector<Text>{t.SaveFailedShortNames});
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRASHT.TXT"), "old content");
    EXPECT_EQ(fs.EntryNames("C:\\BIN").size(), 5u);
    EXPECT_THROW(SaveListToFile(lists.ShortNameList, "C:\\BIN\\KIVRASHT.TXT"), EWriteError);
    EXPECT_EQ(fs.OpenFiles(), 0u);
}

} // namespace
} // namespace kivra::scan

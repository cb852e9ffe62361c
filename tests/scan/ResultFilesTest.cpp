// SaveResultFiles and SaveListToFile: the five files' names, places and
// bytes; each written through a new file of its own that never takes a name
// something else holds; and what stays on disk when one of them cannot be
// written.

#include "scan/ResultFiles.h"

#include "platform/Exceptions.h"
#include "platform/WinApi.h"
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
    void SaveFailed(const SaveFailure& failure) override
    {
        failures.push_back(failure);
        SaveFailureReporter::SaveFailed(failure);
    }
    std::vector<Text> shown;
    std::vector<SaveFailure> failures;
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
    const std::vector<Text> five{Names, Names + 5};
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
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), five) << "in this order, nothing else";

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
    list.Add("a");
    list.Add("");
    list.Add("\x95\x5C");
    SaveListToFile(list, "C:\\BIN\\OUT.TXT");
    EXPECT_EQ(fs.FileContents("C:\\BIN\\OUT.TXT"), "a\r\n\r\n\x95\x5C\r\n");
    EXPECT_EQ(list.Count(), 3u) << "saving leaves the list alone";

    SaveListToFile(TStringList(), "C:\\BIN\\EMPTY.TXT");
    EXPECT_EQ(fs.FileContents("C:\\BIN\\EMPTY.TXT"), "");
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), (std::vector<Text>{"OUT.TXT", "EMPTY.TXT"}));
}

TEST_F(ResultFilesTest, ATextOfManyMegabytesAndLinesLongerThanAPieceArriveWhole)
{
    // Lines around the size in which the text goes to the file: many short
    // ones, one of a mebibyte less one, two and three mebibytes, and short
    // ones between them.
    TStringList list;
    std::string expected;
    const auto add = [&](const std::string& line) {
        list.Add(line);
        expected += line + "\r\n";
    };
    for (int i = 0; i < 150000; ++i) add("C:\\ROOT\\DIR" + std::to_string(i % 97) + "\\FILE" + std::to_string(i));
    add(std::string((1u << 20) - 1, 'a'));
    add("short");
    add(std::string(2u << 20, 'b'));
    add(std::string(3u << 20, 'c'));
    add("");
    for (int i = 0; i < 1000; ++i) add("tail" + std::to_string(i));
    ASSERT_GT(expected.size(), 8u << 20);
    SaveListToFile(list, "C:\\BIN\\BIG.TXT");
    const std::optional<std::string> written = fs.FileContents("C:\\BIN\\BIG.TXT");
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->size(), expected.size());
    EXPECT_TRUE(*written == expected) << "the bytes, in order";
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
    EXPECT_EQ(fs.EntryNames("C:\\OUT"), five);

    fs.AddDirectory("C:\\FIXED");
    ASSERT_TRUE(SaveResultFiles(lists.Refs(), Text("C:\\FIXED"), messages)) << "a final separator is added";
    EXPECT_EQ(fs.EntryNames("C:\\FIXED"), five);
}

TEST_F(ResultFilesTest, ALongSaveTellsTheLinesOfAllFilesWrittenSoFarInSteps)
{
    for (int i = 0; i < 1500; ++i) fs.AddFile("C:\\ROOT\\file" + std::to_string(i) + ".txt");
    ScanEmptyRoot();
    class Counts : public SaveProgress {
    public:
        void Saved(std::size_t lines) override { told.push_back(lines); }
        std::vector<std::size_t> told;
    } counts;
    ASSERT_TRUE(SaveResultFiles(lists.Refs(), messages, &counts));
    // 1,501 lines in each of the first two files; every name is lower case
    // and its own short form: 4,502 lines in the difference and lower-case
    // files, 2 in the long-name file.
    const std::size_t lines = 1501 + 1501 + 4502 + 2 + 4502;
    ASSERT_EQ(lists.LongNameList.Count() + lists.ShortNameList.Count() + lists.DifferentList.Count() +
                  lists.LongFileList.Count() + lists.KomojiFileList.Count(),
              lines);
    std::vector<std::size_t> expected;
    for (std::size_t n = SaveProgress::SavedEvery; n <= lines; n += SaveProgress::SavedEvery) expected.push_back(n);
    EXPECT_EQ(counts.told, expected);
}

TEST_F(ResultFilesTest, NamesSomethingElseHoldsArePassedOverAndLeftAsTheyAre)
{
    // At the names the new files would take: a file left by an earlier run,
    // a user's file in other letter case, a folder, and links to a file of
    // someone else's that the save must not open.
    fs.AddFile("C:\\SECRET.TXT", 0x20, {}, "secret");
    fs.AddFile("C:\\BIN\\KIVRALNG.TXT.NEW", 0x20, {}, "left over");
    fs.AddFile("C:\\BIN\\kivralng.txt.new2", 0x20, {}, "the user's own");
    fs.AddLink("C:\\BIN\\KIVRALNG.TXT.NEW3", "C:\\SECRET.TXT");
    fs.AddDirectory("C:\\BIN\\KIVRASHT.TXT.NEW");
    fs.AddFile("C:\\BIN\\KIVRADIF.TXT.NEW", FILE_ATTRIBUTE_READONLY, {}, "read-only");
    fs.AddLink("C:\\BIN\\KIVRAKOM.TXT.NEW", "C:\\SECRET.TXT");
    const std::vector<Text> before = fs.EntryNames("C:\\BIN");
    ScanEmptyRoot();
    ASSERT_TRUE(SaveResultFiles(lists.Refs(), messages));

    EXPECT_EQ(fs.FileContents("C:\\SECRET.TXT"), "secret");
    EXPECT_EQ(File("KIVRALNG.TXT.NEW"), "left over");
    EXPECT_EQ(File("kivralng.txt.new2"), "the user's own");
    EXPECT_EQ(File("KIVRADIF.TXT.NEW"), "read-only");
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRAKOM.TXT"), "\x90\xB3\x8F\xED\x82\xC5\x82\xB7\r\n\r\n");
    std::vector<Text> after = before;
    after.insert(after.end(), five.begin(), five.end());
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), after) << "the five files, and every other entry as it was";
}

TEST_F(ResultFilesTest, AResultFileThatIsALinkIsReplacedByAPlainFile)
{
    fs.AddFile("C:\\SECRET.TXT", 0x20, {}, "secret");
    fs.AddLink("C:\\BIN\\KIVRALNG.TXT", "C:\\SECRET.TXT");
    ScanEmptyRoot();
    ASSERT_TRUE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_EQ(fs.FileContents("C:\\SECRET.TXT"), "secret");
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
    FileIdentity result, secret;
    ASSERT_TRUE(GetFileIdentity("C:\\BIN\\KIVRALNG.TXT", &result));
    ASSERT_TRUE(GetFileIdentity("C:\\SECRET.TXT", &secret));
    EXPECT_NE(result, secret);
}

TEST_F(ResultFilesTest, AReadOnlyExecutableDirectoryFailsAtTheFirstFileAndTouchesNothing)
{
    ScanEmptyRoot();
    fs.DenyWrites("C:\\BIN");
    EXPECT_FALSE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_EQ(messages.shown, std::vector<Text>{t.SaveFailedLongNames});
    ASSERT_EQ(messages.failures.size(), 1u);
    EXPECT_EQ(messages.failures[0].path, "C:\\BIN\\KIVRALNG.TXT");
    EXPECT_EQ(messages.failures[0].error, ERROR_ACCESS_DENIED);
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
    ASSERT_EQ(messages.failures.size(), 1u);
    EXPECT_EQ(messages.failures[0].error, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRASHT.TXT"), t.ShortNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRADIF.TXT"), "old content");
    EXPECT_EQ(File("KIVRALFN.TXT"), "old content");
    EXPECT_EQ(File("KIVRAKOM.TXT"), "old content");
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), five) << "no new file is left behind";
    EXPECT_EQ(fs.OpenFiles(), 0u);
}

TEST_F(ResultFilesTest, AFolderAtAResultFilesNameStopsTheSaveWithNothingLeft)
{
    fs.AddDirectory("C:\\BIN\\KIVRASHT.TXT");
    ScanEmptyRoot();
    EXPECT_FALSE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_EQ(messages.shown, std::vector<Text>{t.SaveFailedShortNames});
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), (std::vector<Text>{"KIVRASHT.TXT", "KIVRALNG.TXT"}));
    EXPECT_THROW(SaveListToFile(lists.ShortNameList, "C:\\BIN\\KIVRASHT.TXT"), EFCreateError);
    EXPECT_EQ(fs.EntryNames("C:\\BIN").size(), 2u);
}

TEST_F(ResultFilesTest, AFullDiskLeavesThePreviousFileWholeAndNothingElse)
{
    PutOldFiles();
    ScanEmptyRoot();
    fs.SetFreeSpace('C', 30); // the first file (24 bytes) fits, the second (26) does not
    EXPECT_FALSE(SaveResultFiles(lists.Refs(), messages));
    EXPECT_EQ(messages.shown, std::vector<Text>{t.SaveFailedShortNames});
    ASSERT_EQ(messages.failures.size(), 1u);
    EXPECT_EQ(messages.failures[0].path, "C:\\BIN\\KIVRASHT.TXT");
    EXPECT_EQ(messages.failures[0].error, ERROR_DISK_FULL);
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRASHT.TXT"), "old content");
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), five);
    EXPECT_THROW(SaveListToFile(lists.ShortNameList, "C:\\BIN\\KIVRASHT.TXT"), EWriteError);
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), five);
    EXPECT_EQ(fs.OpenFiles(), 0u);
}

TEST_F(ResultFilesTest, AFailureReportedWhenTheNewFileIsClosedIsAFailedWrite)
{
    // As a network file system reports a write it could not make later.
    PutOldFiles();
    fs.FailClose("C:\\BIN\\KIVRASHT.TXT.NEW", ERROR_DISK_FULL);
    ScanEmptyRoot();
    EXPECT_FALSE(SaveResultFiles(lists.Refs(), messages));
    ASSERT_EQ(messages.failures.size(), 1u);
    EXPECT_EQ(messages.failures[0].message, t.SaveFailedShortNames);
    EXPECT_EQ(messages.failures[0].error, ERROR_DISK_FULL);
    EXPECT_EQ(File("KIVRALNG.TXT"), t.LongNameHeader + "\r\n");
    EXPECT_EQ(File("KIVRASHT.TXT"), "old content");
    EXPECT_EQ(File("KIVRADIF.TXT"), "old content");
    EXPECT_THROW(SaveListToFile(lists.ShortNameList, "C:\\BIN\\KIVRASHT.TXT"), EWriteError);
    EXPECT_EQ(File("KIVRASHT.TXT"), "old content");
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), five) << "no new file is left behind";
    EXPECT_EQ(fs.OpenFiles(), 0u);
}

TEST_F(ResultFilesTest, AFolderIsCheckedForResultFilesWithoutAnythingLeftInIt)
{
    fs.AddFile("C:\\BIN\\KIVRALNG.TXT.NEW", 0x20, {}, "left over");
    EXPECT_EQ(CheckResultDirectory("C:\\BIN\\"), ERROR_SUCCESS);
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), std::vector<Text>{"KIVRALNG.TXT.NEW"});
    EXPECT_EQ(File("KIVRALNG.TXT.NEW"), "left over");

    fs.DenyWrites("C:\\BIN");
    EXPECT_EQ(CheckResultDirectory("C:\\BIN\\"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CheckResultDirectory("C:\\MISSING\\"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(fs.EntryNames("C:\\BIN"), std::vector<Text>{"KIVRALNG.TXT.NEW"});
}

} // namespace
} // namespace kivra::scan

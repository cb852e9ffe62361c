// ClassifyPaths and ShortPathOf: the five lists a walk's paths are sorted
// into, their headers, and the short form of one path.

#include "scan/Classify.h"

#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"
#include "scan/TreeWalk.h"
#include "tests/support/MockPlatform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivra::scan {
namespace {

using namespace kivra::platform;
using Lines = std::vector<std::string>;

class ClassifyTest : public ::testing::Test {
protected:
    ClassifyTest()
    {
        fs.AddDrive('C', DRIVE_FIXED);
        fs.AddDirectory("C:\\ROOT");
    }

    void Scan()
    {
        ListFiles("C:\\ROOT\\", 0x3F, true, true, lists.LongNameList, true, true, false);
        ClassifyPaths(lists.Refs());
    }

    static Lines Of(const TStringList& list)
    {
        const auto lines = list.Snapshot();
        return Lines(lines->begin(), lines->end());
    }

    const texts::ProgramTexts& t = texts::Texts();
    MemoryPlatform fs;
    ScopedPlatform use{fs.AsPlatform()};
    ScanLists lists;
};

TEST_F(ClassifyTest, AnEmptyRootLeavesHeadersAndTheNormalLine)
{
    Scan();
    EXPECT_EQ(Of(lists.LongNameList), Lines{t.LongNameHeader});
    EXPECT_EQ(Of(lists.ShortNameList), Lines{t.ShortNameHeader});
    const Lines normal{t.NormalLine, ""};
    EXPECT_EQ(Of(lists.DifferentList), normal);
    EXPECT_EQ(Of(lists.LongFileList), normal);
    EXPECT_EQ(Of(lists.KomojiFileList), normal);
    EXPECT_EQ(PathCount(lists.LongNameList), 0);
    EXPECT_EQ(GroupCount(lists.DifferentList), 0);
}

TEST_F(ClassifyTest, TellsHowManyPathsItHasClassifiedEveryThousandAndTwentyFour)
{
    for (int i = 0; i < 2100; ++i) fs.AddFile("C:\\ROOT\\F" + std::to_string(i));
    ListFiles("C:\\ROOT\\", 0x3F, true, true, lists.LongNameList, true, true, false);
    struct Log : ClassifyProgress {
        std::vector<std::size_t> told;
        std::size_t shortFormsWhenTold = 0;
        const TStringList* shortForms = nullptr;
        void Classified(std::size_t paths) override
        {
            told.push_back(paths);
            shortFormsWhenTold = shortForms->Count();
        }
    } log;
    log.shortForms = &lists.ShortNameList;
    ClassifyPaths(lists.Refs(), &log);
    EXPECT_EQ(log.told, (std::vector<std::size_t>{1024, 2048}));
    EXPECT_EQ(log.shortFormsWhenTold, 2048u) << "told once that many paths have their short form";
    EXPECT_EQ(lists.ShortNameList.Count(), 2101u);
}

TEST_F(ClassifyTest, AnEntryEqualToBothFormsStandsOnlyInTheFullLists)
{
    fs.AddFile("C:\\ROOT\\PLAIN.TXT");
    Scan();
    EXPECT_EQ(Of(lists.LongNameList), (Lines{t.LongNameHeader, "C:\\ROOT\\PLAIN.TXT"}));
    EXPECT_EQ(Of(lists.ShortNameList), (Lines{t.ShortNameHeader, "C:\\ROOT\\PLAIN.TXT"}));
    EXPECT_EQ(lists.ShortNameList[1].data(), lists.LongNameList[1].data()) << "its own short form is not a copy";
    EXPECT_EQ(lists.DifferentList.Count(), 2u);
}

TEST_F(ClassifyTest, OneLongNameEntryFillsFiveLinesOfItsLists)
{
    fs.AddFile("C:\\ROOT\\LONGFILENAME.TXT", 0x20, "LONGFI~1.TXT");
    Scan();
    const Lines group{"C:\\ROOT\\LONGFILENAME.TXT", "C:\\ROOT\\LONGFI~1.TXT", ""};
    Lines longFiles{t.LongFileHeader, ""};
    longFiles.insert(longFiles.end(), group.begin(), group.end());
    Lines different{t.DifferentHeader, ""};
    different.insert(different.end(), group.begin(), group.end());
    EXPECT_EQ(Of(lists.LongFileList), longFiles);
    EXPECT_EQ(Of(lists.DifferentList), different);
    EXPECT_EQ(Of(lists.KomojiFileList), (Lines{t.NormalLine, ""}));
    EXPECT_EQ(Of(lists.ShortNameList)[1], "C:\\ROOT\\LONGFI~1.TXT");
    EXPECT_EQ(GroupCount(lists.DifferentList), 1);
    // The groups repeat the lines of the full lists without copying them.
    EXPECT_EQ(lists.LongFileList[2].data(), lists.LongNameList[1].data());
    EXPECT_EQ(lists.DifferentList[3].data(), lists.ShortNameList[1].data());
}

TEST_F(ClassifyTest, AnEntryOfBothKindsStandsTwiceInTheDifferenceList)
{
    fs.AddFile("C:\\ROOT\\LongName.txt", 0x20, "LONGNA~1.TXT");
    fs.AddFile("C:\\ROOT\\lower", 0x20);
    Scan();
    const Lines both{"C:\\ROOT\\LongName.txt", "C:\\ROOT\\LONGNA~1.TXT", ""};
    const Lines lower{"C:\\ROOT\\lower", "C:\\ROOT\\lower", ""};
    Lines different{t.DifferentHeader, ""};
    for (const Lines* group : {&both, &both, &lower}) different.insert(different.end(), group->begin(), group->end());
    EXPECT_EQ(Of(lists.DifferentList), different);
    Lines longFiles{t.LongFileHeader, ""};
    longFiles.insert(longFiles.end(), both.begin(), both.end());
    EXPECT_EQ(Of(lists.LongFileList), longFiles);
    Lines komoji{t.KomojiFileHeader, ""};
    for (const Lines* group : {&both, &lower}) komoji.insert(komoji.end(), group->begin(), group->end());
    EXPECT_EQ(Of(lists.KomojiFileList), komoji);
    EXPECT_EQ(GroupCount(lists.DifferentList), 3);
    EXPECT_EQ(GroupCount(lists.LongFileList), 1);
    EXPECT_EQ(GroupCount(lists.KomojiFileList), 2);
}

TEST_F(ClassifyTest, DirectoriesAndCaseOnlyShortFormsAreClassifiedLikeFiles)
{
    fs.AddDirectory("C:\\ROOT\\LONGDIRECTORY", 0x10, "LONGDI~1");
    fs.AddFile("C:\\ROOT\\CASE", 0x20, "case");
    // Full-width ａ (0x82 0x81) is a lower-case letter too.
    fs.AddFile("C:\\ROOT\\\x82\x81", 0x20);
    Scan();
    EXPECT_EQ(Of(lists.LongNameList),
              (Lines{t.LongNameHeader, "C:\\ROOT\\LONGDIRECTORY\\", "C:\\ROOT\\CASE", "C:\\ROOT\\\x82\x81"}));
    EXPECT_EQ(Of(lists.ShortNameList),
              (Lines{t.ShortNameHeader, "C:\\ROOT\\LONGDI~1\\", "C:\\ROOT\\case", "C:\\ROOT\\\x82\x81"}));
    EXPECT_EQ(GroupCount(lists.LongFileList), 2) << "a short form differing only in case is a long name";
    EXPECT_EQ(Of(lists.KomojiFileList)[2], "C:\\ROOT\\\x82\x81");
    EXPECT_EQ(lists.ShortNameList.Count(), lists.LongNameList.Count());
}

TEST_F(ClassifyTest, TheRootTextAsWalkedDecidesLowerCase)
{
    fs.AddFile("C:\\ROOT\\UPPER.TXT");
    ListFiles("c:\\root", 0x3F, true, true, lists.LongNameList, true, true, false);
    ClassifyPaths(lists.Refs());
    EXPECT_EQ(GroupCount(lists.KomojiFileList), 1) << "a lower-case root that was not upper-cased counts";
}

TEST_F(ClassifyTest, AVanishedPathIsItsOwnShortForm)
{
    fs.AddFile("C:\\ROOT\\LONGFILENAME.TXT", 0x20, "LONGFI~1.TXT");
    EXPECT_EQ(ShortPathOf("C:\\ROOT\\GONEAWAYNOW.TXT"), "C:\\ROOT\\GONEAWAYNOW.TXT");
    lists.LongNameList.Add("C:\\ROOT\\GONEAWAYNOW.TXT");
    ClassifyPaths(lists.Refs());
    EXPECT_EQ(lists.DifferentList.Count(), 2u) << "not reported as a long name";
}

TEST_F(ClassifyTest, PathsBeyond255BytesGetTheirWholeShortForm)
{
    std::string longPath = "C:\\ROOT";
    std::string shortPath = "C:\\ROOT";
    std::string plainPath = "C:\\ROOT";
    for (int i = 0; i < 20; ++i) {
        const std::string n = std::to_string(i % 10);
        longPath += "\\LONG DIRECTORY NAME " + n;
        fs.AddDirectory(longPath, 0x10, "LONGDI~" + n);
        shortPath += "\\LONGDI~" + n;
    }
    EXPECT_GT(longPath.size(), 255u);
    EXPECT_EQ(ShortPathOf(longPath), shortPath);

    for (int i = 0; i < 30; ++i) {
        plainPath += "\\DIRECTORY" + std::to_string(i % 10);
        fs.AddDirectory(plainPath);
    }
    ASSERT_GT(plainPath.size(), 300u);
    EXPECT_EQ(ShortPathOf(plainPath), plainPath) << "a short form over 255 bytes comes whole";
}

TEST(ShortPathOfTest, AsksAgainWithMoreRoomUntilTheShortFormFits)
{
    test::MockPlatform platform;
    const std::string answer(380, 'S');
    std::vector<DWORD> offered;
    // Needs 300, then (the path has grown meanwhile) 381, then answers; one
    // odd answer naming the very capacity offered must not stall the asking.
    std::vector<DWORD> needs{300, 300, 381};
    EXPECT_CALL(platform.files, GetShortPathNameA(::testing::StrEq("C:\\LONG"), ::testing::_, ::testing::_))
        .WillRepeatedly([&](const char*, char* buffer, DWORD capacity) -> DWORD {
            offered.push_back(capacity);
            if (offered.size() <= needs.size()) return needs[offered.size() - 1];
            if (capacity <= answer.size()) return static_cast<DWORD>(answer.size() + 1);
            std::copy(answer.begin(), answer.end(), buffer);
            buffer[answer.size()] = '\0';
            return static_cast<DWORD>(answer.size());
        });
    EXPECT_EQ(ShortPathOf("C:\\LONG"), answer);
    EXPECT_EQ(offered, (std::vector<DWORD>{255, 300, 301, 381}));
}

} // namespace
} // namespace kivra::scan

// ListFiles: which entries of a tree end up in the list, in which order and
// in which form, on a file system held in memory.

#include "scan/TreeWalk.h"

#include "platform/memory/MemoryPlatform.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace kivra::scan {
namespace {

using namespace kivra::platform;
using Lines = std::vector<std::string>;

// The character 表: its second byte is 0x5C, the byte of "\".
const std::string Hyou = "\x95\x5C";

class TreeWalkTest : public ::testing::Test {
protected:
    TreeWalkTest()
    {
        fs.AddDrive('C', DRIVE_FIXED);
        fs.AddDirectory("C:\\ROOT");
    }

    // The run's own arguments: mask 0x3F, zero words taken, list cleared,
    // recursion, directories marked, attributes left alone.
    Lines Walk(const std::string& root)
    {
        ListFiles(root, 0x3F, true, true, list, true, true, false);
        return Contents();
    }

    Lines Contents() const
    {
        const auto lines = list.Snapshot();
        return Lines(lines->begin(), lines->end());
    }

    MemoryPlatform fs;
    ScopedPlatform use{fs.AsPlatform()};
    TStringList list;
};

TEST_F(TreeWalkTest, ARootWithNothingButDotEntriesGivesAnEmptyList)
{
    list.Add("left from an earlier run");
    EXPECT_EQ(Walk("C:\\ROOT\\"), Lines{});
    EXPECT_EQ(fs.OpenSearches(), 0u);
}

TEST_F(TreeWalkTest, EntriesComeDepthFirstWithEachDirectoryBeforeItsContents)
{
    fs.AddFile("C:\\ROOT\\A.TXT");
    fs.AddDirectory("C:\\ROOT\\SUB");
    fs.AddFile("C:\\ROOT\\SUB\\B.TXT");
    fs.AddDirectory("C:\\ROOT\\SUB\\DEEP");
    fs.AddFile("C:\\ROOT\\SUB\\DEEP\\C.TXT");
    fs.AddFile("C:\\ROOT\\Z.TXT");
    EXPECT_EQ(Walk("C:\\ROOT\\"), (Lines{"C:\\ROOT\\A.TXT", "C:\\ROOT\\SUB\\", "C:\\ROOT\\SUB\\B.TXT",
                                         "C:\\ROOT\\SUB\\DEEP\\", "C:\\ROOT\\SUB\\DEEP\\C.TXT", "C:\\ROOT\\Z.TXT"}));
    EXPECT_EQ(fs.SearchesStarted(), 3u) << "one search per directory";
    EXPECT_EQ(fs.OpenSearches(), 0u);
}

TEST_F(TreeWalkTest, TheAttributeWordDecidesSelection)
{
    fs.AddFile("C:\\ROOT\\ZERO", 0);
    fs.AddFile("C:\\ROOT\\NORMAL", 0x80);
    fs.AddFile("C:\\ROOT\\HIGHBITS", 0x2020);
    fs.AddFile("C:\\ROOT\\ABOVE16", 0x10000);
    fs.AddDirectory("C:\\ROOT\\HIDDEN", 0x12);
    fs.AddFile("C:\\ROOT\\HIDDEN\\SYSTEM", 0x04);
    EXPECT_EQ(Walk("C:\\ROOT"),
              (Lines{"C:\\ROOT\\ZERO", "C:\\ROOT\\HIGHBITS", "C:\\ROOT\\HIDDEN\\", "C:\\ROOT\\HIDDEN\\SYSTEM"}));

    ListFiles("C:\\ROOT", 0x3F, false, true, list, true, true, false);
    EXPECT_EQ(Contents(), (Lines{"C:\\ROOT\\HIGHBITS", "C:\\ROOT\\HIDDEN\\", "C:\\ROOT\\HIDDEN\\SYSTEM"}))
        << "without TakeZeroAttr a word of 0 is not taken";
}

TEST_F(TreeWalkTest, ADirectoryTheMaskDoesNotSelectIsStillEntered)
{
    fs.AddDirectory("C:\\ROOT\\SUB");
    fs.AddFile("C:\\ROOT\\SUB\\FILE.TXT", 0x20);
    fs.AddFile("C:\\ROOT\\SUB\\RO.TXT", 0x21);
    ListFiles("C:\\ROOT", 0x01, true, true, list, true, true, false);
    EXPECT_EQ(Contents(), (Lines{"C:\\ROOT\\SUB\\RO.TXT"}));
}

TEST_F(TreeWalkTest, ClearAttrsClearsOnlyReadOnlyAndHiddenOfEveryEntryFound)
{
    fs.AddFile("C:\\ROOT\\RHA.TXT", 0x23);
    fs.AddDirectory("C:\\ROOT\\SUB", 0x13);
    fs.AddFile("C:\\ROOT\\SUB\\NORMAL", 0x80);
    ListFiles("C:\\ROOT", 0x3F, true, true, list, true, true, true);

    const auto& calls = fs.AttributeCalls();
    ASSERT_EQ(calls.size(), 3u) << "dot entries are never touched";
    EXPECT_EQ(calls[0].path, "C:\\ROOT\\RHA.TXT");
    EXPECT_EQ(calls[0].attributes, 0x20u);
    EXPECT_EQ(calls[1].path, "C:\\ROOT\\SUB") << "the path without its final \\";
    EXPECT_EQ(calls[1].attributes, 0x10u);
    EXPECT_EQ(calls[2].path, "C:\\ROOT\\SUB\\NORMAL") << "an entry the mask does not select is changed too";
    EXPECT_EQ(calls[2].attributes, 0x80u);
    EXPECT_EQ(fs.AttributesOf("C:\\ROOT\\RHA.TXT"), 0x20u);
}

TEST_F(TreeWalkTest, TheRunsOwnWalkOnlyReads)
{
    fs.AddFile("C:\\ROOT\\RO.TXT", 0x21);
    Walk("C:\\ROOT");
    EXPECT_TRUE(fs.AttributeCalls().empty());
}

TEST_F(TreeWalkTest, ADirectoryThatCannotBeSearchedIsOneLineWithNothingBelow)
{
    fs.AddDirectory("C:\\ROOT\\BAD");
    fs.AddFile("C:\\ROOT\\BAD\\HIDDEN.TXT");
    fs.FailSearch("C:\\ROOT\\BAD");
    fs.AddFile("C:\\ROOT\\AFTER.TXT");
    EXPECT_EQ(Walk("C:\\ROOT"), (Lines{"C:\\ROOT\\BAD\\", "C:\\ROOT\\AFTER.TXT"}));

    fs.FailSearch("C:\\ROOT", ERROR_NOT_READY);
    list.Add("kept");
    ListFiles("C:\\ROOT", 0x3F, true, false, list, true, true, false);
    EXPECT_EQ(Contents(), (Lines{"C:\\ROOT\\BAD\\", "C:\\ROOT\\AFTER.TXT", "kept"}))
        << "a root that cannot be searched leaves the list as it was";
    EXPECT_EQ(Walk("C:\\MISSING"), Lines{});
    EXPECT_EQ(fs.OpenSearches(), 0u);
}

TEST_F(TreeWalkTest, ADriveRootGetsNoSecondSeparator)
{
    fs.AddFile("C:\\TOP.TXT");
    EXPECT_EQ(Walk("C:\\"), (Lines{"C:\\ROOT\\", "C:\\TOP.TXT"}));
}

TEST_F(TreeWalkTest, ARootWithoutFinalSeparatorCoversItsOwnEntriesOnly)
{
    fs.AddFile("C:\\ROOT\\IN.TXT");
    fs.AddFile("C:\\ROOTX.TXT");
    fs.AddDirectory("C:\\ROOTS");
    fs.AddFile("C:\\ROOTS\\BESIDE.TXT");
    EXPECT_EQ(Walk("C:\\ROOT"), (Lines{"C:\\ROOT\\IN.TXT"}));
}

TEST_F(TreeWalkTest, ADirectoryNameEndingIn0x5CSecondByteGetsItsOwnSeparator)
{
    fs.AddDirectory("C:\\ROOT\\" + Hyou);
    fs.AddFile("C:\\ROOT\\" + Hyou + "\\IN.TXT");
    EXPECT_EQ(Walk("C:\\ROOT\\"), (Lines{"C:\\ROOT\\" + Hyou + "\\", "C:\\ROOT\\" + Hyou + "\\IN.TXT"}));
    EXPECT_EQ(Walk("C:\\ROOT\\" + Hyou), (Lines{"C:\\ROOT\\" + Hyou + "\\IN.TXT"}))
        << "a root ending in the character is given its separator";
}

TEST_F(TreeWalkTest, ClearListEmptiesFirstAndTheDeeperLevelsNeverClear)
{
    fs.AddDirectory("C:\\ROOT\\SUB");
    fs.AddFile("C:\\ROOT\\SUB\\F");
    list.Add("earlier");
    ListFiles("C:\\ROOT", 0x3F, true, false, list, true, true, false);
    EXPECT_EQ(Contents(), (Lines{"earlier", "C:\\ROOT\\SUB\\", "C:\\ROOT\\SUB\\F"}));
    EXPECT_EQ(Walk("C:\\ROOT"), (Lines{"C:\\ROOT\\SUB\\", "C:\\ROOT\\SUB\\F"}));
}

TEST_F(TreeWalkTest, MarkDirsAndRecurseApplyAsGiven)
{
    fs.AddDirectory("C:\\ROOT\\SUB");
    fs.AddDirectory("C:\\ROOT\\SUB\\DEEP");
    ListFiles("C:\\ROOT", 0x3F, true, true, list, true, false, false);
    EXPECT_EQ(Contents(), (Lines{"C:\\ROOT\\SUB", "C:\\ROOT\\SUB\\DEEP\\"}))
        << "below the first level directories are always marked";
    ListFiles("C:\\ROOT", 0x3F, true, true, list, false, true, false);
    EXPECT_EQ(Contents(), (Lines{"C:\\ROOT\\SUB\\"}));
}

TEST_F(TreeWalkTest, ALinkBackUpTheTreeIsListedButNotEntered)
{
    fs.AddDirectory("C:\\ROOT\\SUB");
    fs.AddLink("C:\\ROOT\\SUB\\UP", "C:\\ROOT");
    fs.AddLink("C:\\ROOT\\SUB\\SELF", "C:\\ROOT\\SUB");
    fs.AddDirectory("C:\\OTHER");
    fs.AddFile("C:\\OTHER\\O.TXT");
    fs.AddLink("C:\\ROOT\\SUB\\ASIDE", "C:\\OTHER");
    EXPECT_EQ(Walk("C:\\ROOT"), (Lines{"C:\\ROOT\\SUB\\", "C:\\ROOT\\SUB\\UP\\", "C:\\ROOT\\SUB\\SELF\\",
                                       "C:\\ROOT\\SUB\\ASIDE\\", "C:\\ROOT\\SUB\\ASIDE\\O.TXT"}))
        << "a link to a directory off the branch is walked like any directory";
}

TEST_F(TreeWalkTest, TwoThousandLevelsAreWalkedWithOneSearchPerLevel)
{
    constexpr int Depth = 2000;
    std::string path = "C:\\ROOT";
    Lines expected;
    for (int level = 0; level < Depth; ++level) {
        path += "\\D";
        fs.AddDirectory(path);
        expected.push_back(path + "\\");
        fs.AddFile(path + "\\F");
        expected.push_back(path + "\\F");
    }
    // Each directory holds its file first, then the next level's directory.
    EXPECT_EQ(Walk("C:\\ROOT"), expected);
    EXPECT_EQ(fs.MostOpenSearches(), static_cast<std::size_t>(Depth) + 1);
    EXPECT_EQ(fs.OpenSearches(), 0u);
}

// Stops the walk at the n-th directory it starts to search.
class Interrupt : public WalkProgress {
public:
    explicit Interrupt(int at) : left_(at) {}
    void Searching(const std::string&, std::size_t) override
    {
        if (--left_ == 0) throw std::runtime_error("stopped");
    }

private:
    int left_;
};

TEST_F(TreeWalkTest, AFailureInsideTheWalkClosesEverySearchAndKeepsTheLinesSoFar)
{
    fs.AddDirectory("C:\\ROOT\\A");
    fs.AddDirectory("C:\\ROOT\\A\\B");
    fs.AddDirectory("C:\\ROOT\\A\\B\\C");
    fs.AddFile("C:\\ROOT\\A\\B\\C\\NEVER");
    Interrupt interrupt(4);
    EXPECT_THROW(ListFiles("C:\\ROOT", 0x3F, true, true, list, true, true, false, &interrupt), std::runtime_error);
    EXPECT_EQ(Contents(), (Lines{"C:\\ROOT\\A\\", "C:\\ROOT\\A\\B\\", "C:\\ROOT\\A\\B\\C\\"}));
    EXPECT_EQ(fs.OpenSearches(), 0u);
}

// Keeps what the walk says of the directories it could not search.
class FailureLog : public WalkProgress {
public:
    void Searching(const std::string&, std::size_t) override {}
    void CouldNotSearch(const std::string& directory, DWORD error) override { failures.Add(directory, error); }
    PathFailures failures;
};

TEST_F(TreeWalkTest, ADirectoryThatCannotBeSearchedIsListedAndToldWithItsError)
{
    fs.AddDirectory("C:\\ROOT\\GONE");
    fs.AddDirectory("C:\\ROOT\\LOCKED");
    fs.AddFile("C:\\ROOT\\LOCKED\\HIDDEN.TXT");
    fs.AddDirectory("C:\\ROOT\\OPEN");
    fs.AddFile("C:\\ROOT\\OPEN\\SEEN.TXT");
    fs.FailSearch("C:\\ROOT\\LOCKED", ERROR_ACCESS_DENIED);
    fs.FailSearch("C:\\ROOT\\GONE", ERROR_PATH_NOT_FOUND);
    FailureLog log;
    ListFiles("C:\\ROOT", 0x3F, true, true, list, true, true, false, &log);
    EXPECT_EQ(Contents(),
              (Lines{"C:\\ROOT\\GONE\\", "C:\\ROOT\\LOCKED\\", "C:\\ROOT\\OPEN\\", "C:\\ROOT\\OPEN\\SEEN.TXT"}));
    ASSERT_EQ(log.failures.Count(), 2u);
    EXPECT_EQ(log.failures.First()[0].path, "C:\\ROOT\\GONE\\");
    EXPECT_EQ(log.failures.First()[0].error, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(log.failures.First()[1].path, "C:\\ROOT\\LOCKED\\");
    EXPECT_EQ(log.failures.First()[1].error, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CanSearchDirectory("C:\\ROOT\\LOCKED"));
    EXPECT_TRUE(CanSearchDirectory("C:\\ROOT\\OPEN\\"));
}

// Keeps the line counts the walk tells as it goes.
class ProgressLog : public WalkProgress {
public:
    void Searching(const std::string& directory, std::size_t lines) override
    {
        searched.push_back(directory + " " + std::to_string(lines));
    }
    void Listed(std::size_t lines) override { listed.push_back(lines); }
    std::vector<std::string> searched;
    std::vector<std::size_t> listed;
};

TEST_F(TreeWalkTest, TellsEachDirectoryAndEveryThousandAndTwentyFourLinesAsItGoes)
{
    fs.AddDirectory("C:\\ROOT\\BIG");
    for (int i = 0; i < 2500; ++i) fs.AddFile("C:\\ROOT\\BIG\\F" + std::to_string(i));
    fs.AddDirectory("C:\\ROOT\\NEXT");
    ProgressLog log;
    ListFiles("C:\\ROOT", 0x3F, true, true, list, true, true, false, &log);
    EXPECT_EQ(list.Count(), 2502u);
    EXPECT_EQ(log.searched, (std::vector<std::string>{"C:\\ROOT\\ 0", "C:\\ROOT\\BIG\\ 1", "C:\\ROOT\\NEXT\\ 2502"}));
    EXPECT_EQ(log.listed, (std::vector<std::size_t>{1024, 2048}));
}

TEST_F(TreeWalkTest, AnEmptyDriveRootIsNoFailure)
{
    fs.AddDrive('E', DRIVE_REMOVABLE);
    FailureLog log;
    ListFiles("E:\\", 0x3F, true, true, list, true, true, false, &log);
    EXPECT_EQ(Contents(), Lines{});
    EXPECT_EQ(log.failures.Count(), 0u);
    EXPECT_TRUE(CanSearchDirectory("E:\\"));
    EXPECT_FALSE(CanSearchDirectory("E:\\MISSING"));
}

TEST_F(TreeWalkTest, AnUnreadableRootIsToldAndAddsNothing)
{
    fs.AddFile("C:\\ROOT\\A.TXT");
    fs.FailSearch("C:\\ROOT", ERROR_ACCESS_DENIED);
    FailureLog log;
    ListFiles("C:\\ROOT", 0x3F, true, true, list, true, true, false, &log);
    EXPECT_EQ(Contents(), Lines{});
    ASSERT_EQ(log.failures.Count(), 1u);
    EXPECT_EQ(log.failures.First()[0].path, "C:\\ROOT\\");
    EXPECT_FALSE(CanSearchDirectory("C:\\ROOT"));
}

TEST_F(TreeWalkTest, AReparsePointIsListedAsADirectoryButNotEntered)
{
    fs.AddDirectory("C:\\ROOT\\LINK", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    fs.AddFile("C:\\ROOT\\LINK\\INSIDE.TXT");
    fs.AddDirectory("C:\\ROOT\\PLAIN");
    fs.AddFile("C:\\ROOT\\PLAIN\\INSIDE.TXT");
    EXPECT_EQ(Walk("C:\\ROOT"), (Lines{"C:\\ROOT\\LINK\\", "C:\\ROOT\\PLAIN\\", "C:\\ROOT\\PLAIN\\INSIDE.TXT"}));
    // The root is walked even when it is a reparse point itself.
    EXPECT_EQ(Walk("C:\\ROOT\\LINK"), Lines{"C:\\ROOT\\LINK\\INSIDE.TXT"});
}

TEST(PathFailuresTest, KeepsTheFirstThousandPathsAndCountsThemAll)
{
    PathFailures failures;
    for (int i = 0; i < 1500; ++i) failures.Add("C:\\D" + std::to_string(i) + "\\", ERROR_ACCESS_DENIED);
    EXPECT_EQ(failures.Count(), 1500u);
    ASSERT_EQ(failures.First().size(), PathFailures::KeptPaths);
    EXPECT_EQ(failures.First().front().path, "C:\\D0\\");
    EXPECT_EQ(failures.First().back().path, "C:\\D999\\");
    failures.Clear();
    EXPECT_EQ(failures.Count(), 0u);
    EXPECT_TRUE(failures.First().empty());
}

} // namespace
} // namespace kivra::scan

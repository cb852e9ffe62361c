// One run of the scan as both front ends make it: the order of its steps
// around the front end, and what its outcome says of a tree that was not read
// whole.

#include "scan/Run.h"

#include "tests/scan/RecordingFrontEnd.h"

#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace kivra::scan {
namespace {

using namespace kivra::platform;

class RunTest : public ::testing::Test {
protected:
    RunTest()
    {
        fs.AddDrive('C', DRIVE_FIXED);
        fs.AddDirectory("C:\\ROOT");
        fs.AddDirectory("C:\\OUT");
        frontEnd.lists = &lists;
    }

    RunOutcome Run()
    {
        frontEnd.events.clear();
        return RunScan(
            "C:\\Root", lists.Refs(), [] { return Text("C:\\OUT\\"); }, frontEnd);
    }

    MemoryPlatform fs;
    ScopedPlatform use{fs.AsPlatform()};
    ScanLists lists;
    RecordingFrontEnd frontEnd;
};

TEST_F(RunTest, TheStepsComeInOrderFromEmptiedListsAndTheOutcomeTellsWhatWasFoundAndWhatWasNotRead)
{
    lists.LongNameList.Add(Line("left from the last run"));
    fs.AddFile("C:\\ROOT\\README.TXT");
    fs.AddDirectory("C:\\ROOT\\LOCKED");
    fs.FailSearch("C:\\ROOT\\LOCKED", ERROR_ACCESS_DENIED);
    RunOutcome outcome = Run();
    EXPECT_EQ(frontEnd.events,
              (Events{"starting, 1", "before walk", "perform walk", "not searched C:\\ROOT\\LOCKED\\ 5",
                      "before classify", "perform classify", "before save", "perform save"}));
    EXPECT_TRUE(outcome.saved);
    EXPECT_FALSE(outcome.found);
    EXPECT_EQ(outcome.unsearched.Count(), 1u);
    EXPECT_FALSE(outcome.Whole()) << "a tree not read whole is never normal";
    EXPECT_EQ(lists.LongNameList.Count(), 3u) << "the header and the two entries below the upper-cased root";
    const std::string root = std::string("/ROOT") + SystemPathSeparator;
    EXPECT_EQ(frontEnd.realPaths, (std::vector<std::string>{root + "README.TXT", root + "LOCKED"}));

    fs.AddFile("C:\\ROOT\\LongName.txt", FILE_ATTRIBUTE_ARCHIVE, "LONGNA~1.TXT");
    fs.DenyWrites("C:\\OUT");
    outcome = Run();
    EXPECT_FALSE(outcome.saved);
    EXPECT_EQ(frontEnd.events.back(), "save failed " + texts::Texts().SaveFailedLongNames);
}

TEST_F(RunTest, APathWithoutAShortFormKeepsItsLinesIsToldAndLeavesTheTreeNotWhole)
{
    fs.AddFile("C:\\ROOT\\A.TXT");
    fs.AddFile("C:\\ROOT\\B.TXT");
    frontEnd.beforeClassify = [] { ASSERT_TRUE(DeleteFileA("C:\\ROOT\\A.TXT")); };
    const RunOutcome outcome = Run();
    EXPECT_EQ(outcome.noShortForm.Count(), 1u);
    EXPECT_FALSE(outcome.Whole());
    EXPECT_FALSE(outcome.found) << "the path stands for its own short form";
    EXPECT_EQ(lists.ShortNameList[1], Line("C:\\ROOT\\A.TXT"));
    EXPECT_NE(std::find(frontEnd.events.begin(), frontEnd.events.end(), "no short form 0 C:\\ROOT\\A.TXT 2"),
              frontEnd.events.end());
}

} // namespace
} // namespace kivra::scan

// One run of the scan as both front ends make it: the order of its steps
// around the front end, and what its outcome says of a tree that was not read
// whole, on the memory platform and on a real tree changed between the walk
// and the classification.

#include "scan/Run.h"

#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"
#include "resources/Texts.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace kivra::scan {
namespace {

using namespace kivra::platform;
using Events = std::vector<std::string>;

// Writes down what the run tells it, in order.
class RecordingFrontEnd : public RunFrontEnd {
public:
    void Starting() override { events.push_back("starting, " + std::to_string(lists->LongNameList.Count())); }
    void BeforeStep(RunStep step) override
    {
        events.push_back("before " + Name(step));
        if (step == RunStep::Classify && beforeClassify) beforeClassify();
    }
    void Perform(RunStep step, const std::function<void()>& work) override
    {
        events.push_back("perform " + Name(step));
        work();
    }
    bool WantsRealPaths() const override { return true; }
    void Added(std::size_t line, std::string_view realPath) override
    {
        realPaths.resize(line + 1);
        realPaths[line] = realPath;
    }
    void CouldNotSearch(const Text& directory, DWORD error) override
    {
        events.push_back("not searched " + directory + " " + std::to_string(error));
    }
    void NoShortForm(std::size_t line, const Line& path, DWORD error) override
    {
        events.push_back("no short form " + std::to_string(line) + " " + std::string(path.View()) + " " +
                         std::to_string(error));
    }
    void ReportSaveFailure(const Text& message) override { events.push_back("save failed " + message); }

    static std::string Name(RunStep step)
    {
        return step == RunStep::Walk ? "walk" : step == RunStep::Classify ? "classify" : "save";
    }

    ScanLists* lists = nullptr;
    std::function<void()> beforeClassify;
    Events events;
    std::vector<std::string> realPaths;
};

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
    EXPECT_EQ(frontEnd.realPaths, (std::vector<std::string>{"/ROOT/README.TXT", "/ROOT/LOCKED"}));

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

// The same on a real tree: a directory renamed after the walk has read it.
TEST(LinuxRunTest, ADirectoryRenamedBetweenTheWalkAndTheClassificationIsNotCalledNormal)
{
    char pattern[] = "/tmp/kvXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path base = pattern;
    std::filesystem::create_directories(base / "root" / "Long directory name");
    std::ofstream(base / "root" / "Long directory name" / "FILE.TXT") << "x";
    std::filesystem::create_directories(base / "out");

    Text root;
    Text out;
    ASSERT_TRUE(WindowsPathFromLinuxPath((base / "root").string(), root));
    ASSERT_TRUE(WindowsPathFromLinuxPath((base / "out").string(), out));
    ScanLists lists;
    RecordingFrontEnd frontEnd;
    frontEnd.lists = &lists;
    frontEnd.beforeClassify = [&] {
        std::filesystem::rename(base / "root" / "Long directory name", base / "root" / "X");
    };
    const RunOutcome outcome = RunScan(
        root, lists.Refs(), [&] { return out + "\\"; }, frontEnd);
    std::filesystem::remove_all(base);

    EXPECT_TRUE(outcome.saved);
    EXPECT_EQ(outcome.noShortForm.Count(), 2u) << "the directory and the file in it";
    EXPECT_FALSE(outcome.Whole());
    ASSERT_EQ(frontEnd.realPaths.size(), 2u);
    EXPECT_EQ(frontEnd.realPaths[1], (base / "root" / "Long directory name" / "FILE.TXT").string())
        << "the Linux path the walk read";
}

} // namespace
} // namespace kivra::scan

// A run over a real tree that changes between the walk and the
// classification.

#include "scan/Run.h"

#include "platform/WinApi.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/scan/RecordingFrontEnd.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace kivra::scan {
namespace {

using namespace kivra::platform;

// A directory renamed after the walk has read it.
TEST(LinuxRunTest, ADirectoryRenamedBetweenTheWalkAndTheClassificationIsNotCalledNormal)
{
    PosixPlatform posix;
    const ScopedPlatform scoped(posix.Interfaces());
    char pattern[] = "/tmp/kvXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path base = pattern;
    std::filesystem::create_directories(base / "root" / "Long directory name");
    std::ofstream(base / "root" / "Long directory name" / "FILE.TXT") << "x";
    std::filesystem::create_directories(base / "out");

    Text root;
    Text out;
    ASSERT_TRUE(WindowsPathFromSystemPath((base / "root").string(), root));
    ASSERT_TRUE(WindowsPathFromSystemPath((base / "out").string(), out));
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

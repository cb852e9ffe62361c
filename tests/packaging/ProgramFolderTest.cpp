// The folder of the running program, where the window keeps its result
// files and help file, is the folder its file lies in, also when a link in
// another folder started it (as ~/.local/bin/kivra does after ./dev.sh
// install).

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

// What the probe prints: the program's folder as the platform reports it.
std::string FolderReportedBy(const fs::path& program)
{
    const std::string command = "'" + program.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "<cannot start>";
    std::string output;
    std::array<char, 256> buffer{};
    while (const std::size_t count = fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), count);
    return pclose(pipe) == 0 ? output : "<failed: " + output + ">";
}

class ProgramFolderTest : public ::testing::Test {
protected:
    ProgramFolderTest()
    {
        char pattern[] = "/tmp/kivra-links-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("no temporary directory");
        links = pattern;
    }
    ~ProgramFolderTest() override { fs::remove_all(links); }

    fs::path links;
    const fs::path probe = KIVRA_PROGRAM_FOLDER_PROBE;
};

TEST_F(ProgramFolderTest, IsTheFolderOfTheProgramsFile)
{
    const std::string folder = FolderReportedBy(probe);
    ASSERT_GT(folder.size(), 5u) << folder;
    EXPECT_EQ(folder.substr(folder.size() - 5), "\\bin\\") << folder;
}

TEST_F(ProgramFolderTest, IsTheSameWhenALinkInAnotherFolderStartsIt)
{
    fs::create_symlink(probe, links / "probe");
    fs::create_directory(links / "deeper");
    fs::create_symlink(links / "probe", links / "deeper" / "probe-again");

    const std::string direct = FolderReportedBy(probe);
    EXPECT_EQ(FolderReportedBy(links / "probe"), direct);
    EXPECT_EQ(FolderReportedBy(links / "deeper" / "probe-again"), direct);
    EXPECT_EQ(direct.find(links.filename().string()), std::string::npos) << direct;
}

} // namespace

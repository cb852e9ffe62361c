// The five files saved on the Linux platform into real folders, where a
// user sees what goes wrong: runs saving into one folder at once, a request
// to stop in the middle of a save.

#include "platform/Console.h"
#include "platform/WinApi.h"
#include "platform/posix/PosixPlatform.h"
#include "scan/ResultFiles.h"
#include "scan/TreeWalk.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace kivra::scan {
namespace {

namespace fs = std::filesystem;
using platform::DWORD;
using platform::Text;

// The files in the order they are saved, and by name.
const char* const SavedNames[] = {"KIVRALNG.TXT", "KIVRASHT.TXT", "KIVRADIF.TXT", "KIVRALFN.TXT", "KIVRAKOM.TXT"};
const std::vector<std::string> ResultNames{"KIVRADIF.TXT", "KIVRAKOM.TXT", "KIVRALFN.TXT", "KIVRALNG.TXT",
                                           "KIVRASHT.TXT"};

class Failure : public SaveFailureReporter {
public:
    void ReportSaveFailure(const Text&) override {}
    void SaveFailed(const SaveFailure& failure) override { error = failure.error; }
    DWORD error = platform::ERROR_SUCCESS;
};

// Five lists of `lines` lines each, every line telling its list and `run`,
// and the bytes of their files.
struct RunLists {
    RunLists(const std::string& run, std::size_t lines)
    {
        TStringList* all[] = {&owned.LongNameList, &owned.ShortNameList, &owned.DifferentList, &owned.LongFileList,
                              &owned.KomojiFileList};
        for (std::size_t list = 0; list < 5; ++list)
            for (std::size_t line = 0; line < lines; ++line) {
                const std::string text = "C:\\" + run + "\\LIST" + std::to_string(list) + "\\" + std::to_string(line);
                all[list]->Add(text);
                files[list] += text + "\r\n";
            }
    }
    ScanLists owned;
    std::string files[5]; // in the order saved
};

class LinuxResultFiles : public ::testing::Test {
protected:
    LinuxResultFiles() : out(temp.MakeDirectory("out")) {}

    // The platform, with the temporary folder as drive D:; made in the
    // process that saves.
    struct Platform {
        explicit Platform(const std::string& tree) : posix(Sources(tree)), scoped(posix.Interfaces()) {}
        static platform::PosixSources Sources(const std::string& tree)
        {
            platform::PosixSources sources;
            sources.mountTable = "/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 " + tree + " ext4 rw 0 0\n";
            sources.byLabelDirectory = "/nonexistent";
            sources.sysfsRoot = "/nonexistent";
            return sources;
        }
        platform::PosixPlatform posix;
        platform::ScopedPlatform scoped;
    };

    static std::string Read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return "<missing>";
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir temp;
    const fs::path out;
    const Text output = "D:\\out\\";
};

// Ten processes save into one folder at the same moment: each run finds new
// files' names of its own, whatever the others take and free meanwhile.
TEST_F(LinuxResultFiles, TenSavesAtOnceIntoOneFolderAllSucceedAndLeaveWholeFiles)
{
    constexpr int Runs = 10;
    constexpr std::size_t Lines = 4000;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> children;
    for (int run = 0; run < Runs; ++run) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(start[1]);
            char ignored;
            if (read(start[0], &ignored, 1) != 0) _exit(1); // the end of the pipe: all go
            const Platform active(temp.Path());
            RunLists lists("RUN" + std::to_string(run), Lines);
            Failure failure;
            _exit(SaveResultFiles(lists.owned.Refs(), output, failure) ? 0 : static_cast<int>(failure.error % 256));
        }
        children.push_back(child);
    }
    close(start[0]);
    close(start[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a run failed with error " << WEXITSTATUS(status) << " (wait status " << status << ")";
    }
    EXPECT_EQ(Names(), ResultNames) << "no new file left behind";
    std::vector<std::set<std::string>> whole(5);
    for (int run = 0; run < Runs; ++run) {
        RunLists lists("RUN" + std::to_string(run), Lines);
        for (std::size_t list = 0; list < 5; ++list) whole[list].insert(lists.files[list]);
    }
    for (std::size_t list = 0; list < 5; ++list)
        EXPECT_EQ(whole[list].count(Read(out / SavedNames[list])), 1u) << SavedNames[list];
}

// A request to stop, sent from the save's own thread while the main thread
// holds interruptions, ends the process only once every file is in place.
// As in a run, a walk comes first, and with it the platform's own threads.
TEST_F(LinuxResultFiles, AStopDuringTheSaveWaitsUntilTheFilesAreInPlace)
{
    temp.MakeFile("out/KIVRALNG.TXT", "old");
    for (const char* path : {"tree/a/one.txt", "tree/b/two.txt", "tree/c/d/three.txt"}) temp.MakeFile(path);
    int said[2];
    ASSERT_EQ(pipe(said), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(said[0]);
        class StopAtFirstStep : public SaveProgress {
        public:
            void Saved(std::size_t) override
            {
                if (!sent) kill(getpid(), SIGTERM);
                sent = true;
            }
            bool sent = false;
        } stop;
        const Platform active(temp.Path());
        TStringList walked;
        ListFiles("D:\\TREE\\", 0x3F, true, true, walked, true, true, false);
        RunLists lists("STOPPED", 3 * SaveProgress::SavedEvery);
        Failure failure;
        {
            const platform::InterruptionsHeld held;
            const bool saved = SaveResultFiles(lists.owned.Refs(), output, failure, &stop);
            const std::string outcome = saved && stop.sent ? "saved" : "not saved";
            if (write(said[1], outcome.data(), outcome.size()) < 0) _exit(2);
        }
        _exit(0); // not reached: the stop ends the process first
    }
    close(said[1]);
    char buffer[16] = {};
    const ssize_t got = read(said[0], buffer, sizeof buffer);
    close(said[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), "saved");
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    EXPECT_EQ(Names(), ResultNames) << "no new file left behind";
    RunLists lists("STOPPED", 3 * SaveProgress::SavedEvery);
    for (std::size_t list = 0; list < 5; ++list) EXPECT_EQ(Read(out / SavedNames[list]), lists.files[list]) << list;
}

} // namespace
} // namespace kivra::scan

#include "scan/Run.h"

#include "platform/CodePage.h"
#include "platform/Console.h"

namespace kivra::scan {

namespace {

using platform::DWORD;
using platform::Text;

// Every attribute bit a walk can select: read-only, hidden, system, volume
// label, directory, archive.
constexpr std::uint16_t EveryKindOfEntry = 0x3F;

// Passes the steps' progress on to the front end and keeps, for the
// verdict, what could not be read.
class Tally : public WalkProgress, public ClassifyProgress {
public:
    Tally(RunFrontEnd& frontEnd, RunOutcome& outcome) : frontEnd_(frontEnd), outcome_(outcome) {}

    void Searching(const Text& directory, std::size_t lines) override { frontEnd_.Searching(directory, lines); }
    void Listed(std::size_t lines) override { frontEnd_.Listed(lines); }
    void Classified(std::size_t paths) override { frontEnd_.Classified(paths); }
    void NoShortForm(std::size_t line, const Line& path, DWORD error) override
    {
        outcome_.noShortForm.Add(Text(path.View()), error);
        frontEnd_.NoShortForm(line, path, error);
    }
    bool WantsRealPaths() const override { return frontEnd_.WantsRealPaths(); }
    void Added(std::size_t line, std::string_view realPath) override { frontEnd_.Added(line, realPath); }
    void NotSearched(const Text& directory, std::string_view realPath, DWORD error) override
    {
        outcome_.unsearched.Add(directory, error);
        frontEnd_.NotSearched(directory, realPath, error);
    }

private:
    RunFrontEnd& frontEnd_;
    RunOutcome& outcome_;
};

} // namespace

RunOutcome RunScan(const Text& root, const ResultLists& lists, const ResultDirectory& directory, RunFrontEnd& frontEnd)
{
    RunOutcome outcome;
    Tally tally(frontEnd, outcome);
    const Text upperRoot = platform::UpperCaseText(root);

    frontEnd.Starting();
    for (TStringList* list :
         {&lists.LongNameList, &lists.ShortNameList, &lists.DifferentList, &lists.LongFileList, &lists.KomojiFileList})
        list->Clear();

    frontEnd.BeforeStep(RunStep::Walk);
    frontEnd.Perform(RunStep::Walk, [&] {
        ListFiles(upperRoot, EveryKindOfEntry, true, true, lists.LongNameList, true, true, false, &tally);
    });

    frontEnd.BeforeStep(RunStep::Classify);
    frontEnd.Perform(RunStep::Classify, [&] { ClassifyPaths(lists, &tally); });

    if (frontEnd.WantsResultFiles()) {
        frontEnd.BeforeStep(RunStep::Save);
        {
            // A stop asked for during the save waits until the file in hand
            // is in its place or removed again.
            const platform::InterruptionsHeld held;
            frontEnd.Perform(RunStep::Save,
                             [&] { outcome.saved = SaveResultFiles(lists, directory, frontEnd, &frontEnd); });
        }
        if (!outcome.saved) return outcome;
    }
    outcome.found = lists.DifferentList.Count() > 2;
    return outcome;
}

} // namespace kivra::scan

#pragma once
// One run of the scan, as the window's run command and kivra-scan both make
// it: the five lists emptied, the tree below the root walked, every path
// classified, the five result files saved (unless the front end wants
// none), and the verdict. What is a front
// end's own (the window's waits, captions, buttons and dialogs; the
// command's progress line and messages) it does around the steps, through
// RunFrontEnd.

#include "platform/CodePage.h"
#include "scan/Classify.h"
#include "scan/ResultFiles.h"
#include "scan/TreeWalk.h"

#include <functional>

namespace kivra::scan {

enum class RunStep { Walk, Classify, Save };

// What a front end does around and during the steps. It is told each step's
// progress through the steps' own progress interfaces, and the first result
// file that could not be written through SaveFailureReporter.
class RunFrontEnd : public WalkProgress, public ClassifyProgress, public SaveProgress, public SaveFailureReporter {
public:
    // Before anything of the run has changed (the window disables its
    // command buttons here).
    virtual void Starting() {}
    // Before each step starts; the lists are emptied before the walk's.
    virtual void BeforeStep(RunStep step) { (void)step; }
    // False when the run is to write no result files: the save step is
    // left out and the verdict comes from the lists alone (kivra-scan
    // --list without --output).
    virtual bool WantsResultFiles() const { return true; }
    // Runs the work of one step and returns once it is over; by default
    // right here, on the caller's thread.
    virtual void Perform(RunStep step, const std::function<void()>& work)
    {
        (void)step;
        work();
    }

    void Searching(const platform::Text& directory, std::size_t lines) override
    {
        (void)directory;
        (void)lines;
    }
    void Classified(std::size_t paths) override { (void)paths; }
    void Saved(std::size_t lines) override { (void)lines; }
};

// How a run ended.
struct RunOutcome {
    // All five result files were written. False when the front end wanted
    // none; when it did, false means the run ended at the save and the rest
    // of the outcome says nothing.
    bool saved = false;
    // Long-name or lower-case entries exist: the difference list holds more
    // than its two lines.
    bool found = false;
    // The directories the walk could not search.
    PathFailures unsearched;
    // The paths whose short form the platform could not give.
    PathFailures noShortForm;

    // Every directory was searched and every path classified: only then may
    // a tree without entries be called normal.
    bool Whole() const { return unsearched.Count() == 0 && noShortForm.Count() == 0; }
};

// Runs the scan of `root` (the root as the user picked it; the walk starts
// from its upper-case form, so only the names below it can count as lower
// case) into `lists`, saving the files into `directory` when the front end
// wants them. The save holds the
// signals that ask the program to stop, so that a stop waits until the file
// in hand is in its place or removed.
RunOutcome RunScan(const platform::Text& root, const ResultLists& lists, const ResultDirectory& directory,
                   RunFrontEnd& frontEnd);

} // namespace kivra::scan

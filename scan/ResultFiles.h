#pragma once
// The five result files: each list written as lines of code page 932 bytes,
// every line ending with CR LF.
//
// A result file is never written in place. Its text goes into a new file
// that the save creates for itself beside it, under a name no entry of the
// folder has ("KIVRALNG.TXT.NEW", else "KIVRALNG.TXT.NEW2", "...NEW3" and so
// on), created exclusively: a name already taken, by a file, a folder, a
// link, another run's new file or anything else, is passed over and never
// opened, so a link planted at such a name is never followed, a user's own
// file is never touched, and runs saving into one folder at once each find
// names of their own. Only once the whole text is written and closed (a
// failure reported at the close is a failed write) does the new file take
// the result file's place; on any failure it is removed. A result file that
// is a link is replaced by a plain file. Names are written as spelt: a
// user's "kivralng.txt" on Linux is another file, left as it is.
//
// The text is put together on a thread of its own, started so that a
// request to stop reaches the main thread only: a caller that holds
// interruptions there (InterruptionsHeld) is stopped after the file in hand
// is in place or removed, never with half a file.

#include "platform/CodePage.h"
#include "scan/Classify.h"
#include "scan/StringList.h"

#include <functional>

namespace kivra::scan {

// What went wrong with a result file: its own message, the full path it was
// to be written at, and the platform's error code.
struct SaveFailure {
    platform::Text message;
    platform::Text path;
    platform::DWORD error = 0;
};

// Told of the first result file that could not be written, with that
// file's own message; returns once the user has seen it. The window shows it
// as a warning with the single button Abort.
class SaveFailureReporter {
public:
    virtual ~SaveFailureReporter() = default;
    virtual void ReportSaveFailure(const platform::Text& message) = 0;
    // The same failure with its path and error code; by default only the
    // message is shown.
    virtual void SaveFailed(const SaveFailure& failure) { ReportSaveFailure(failure.message); }
};

// Told every so many lines written (SavedEvery) with the lines of all the
// files written so far, so that a long save shows progress.
class SaveProgress {
public:
    static constexpr std::size_t SavedEvery = 1024;
    virtual ~SaveProgress() = default;
    virtual void Saved(std::size_t lines) = 0;
};

// Writes the lines of `list`, each followed by CR LF, as the file `path`
// (see above: through a new file that replaces `path` once written whole).
// Raises EFCreateError when the file cannot be created or put in place,
// EWriteError when the text cannot be written whole; either way nothing of
// the attempt is left and an earlier file at `path` is as it was.
void SaveListToFile(const TStringList& list, const platform::Text& path);

// ERROR_SUCCESS when result files can be written into `directory` (a path
// with its final "\"): a new file is created there the way the save creates
// one, and removed again. Otherwise the platform's error code.
platform::DWORD CheckResultDirectory(const platform::Text& directory);

// Where a result file goes: the directory text (with its final "\", or
// empty) to put in front of the file's name; asked afresh for each file.
using ResultDirectory = std::function<platform::Text()>;

// Writes LongNameList, ShortNameList, DifferentList, LongFileList and
// KomojiFileList, in this order, as KIVRALNG.TXT, KIVRASHT.TXT, KIVRADIF.TXT,
// KIVRALFN.TXT and KIVRAKOM.TXT. At the first file that cannot be written,
// reports that file's own message and returns false without touching the
// files after it; true when all five were written.
bool SaveResultFiles(const ResultLists& lists, const ResultDirectory& directory, SaveFailureReporter& reporter,
                     SaveProgress* progress = nullptr);
// Into a fixed directory (a final "\" is added when missing).
bool SaveResultFiles(const ResultLists& lists, const platform::Text& directory, SaveFailureReporter& reporter,
                     SaveProgress* progress = nullptr);
// Beside the running executable (ExecutableDirectory, asked for each file).
bool SaveResultFiles(const ResultLists& lists, SaveFailureReporter& reporter, SaveProgress* progress = nullptr);

} // namespace kivra::scan

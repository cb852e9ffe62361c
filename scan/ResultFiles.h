#pragma once
// The five result files: each list written as lines of code page 932 bytes,
// every line ending with CR LF.

#include "platform/CodePage.h"
#include "scan/Classify.h"
#include "scan/StringList.h"

#include <array>
#include <functional>

namespace kivra::scan {

// Told of the first result file that could not be written, with that
// file's own message; returns once the user has seen it. The window shows it
// as a warning with the single button Abort.
class SaveFailureReporter {
public:
    virtual ~SaveFailureReporter() = default;
    virtual void ReportSaveFailure(const platform::Text& message) = 0;
};

// Writes the lines of `list`, each followed by CR LF, as the file `path`,
// with one write of the whole text. The text goes first into a temporary
// file beside `path`, which replaces `path` only once all of it is written,
// so a failure leaves an earlier file at `path` whole; the temporary is
// removed after a failure. Raises EFCreateError when the file cannot be
// created or replaced, EWriteError when the text cannot be written whole.
void SaveListToFile(const TStringList& list, const platform::Text& path);

// The bytes SaveListToFile writes for a list, put into `text` (whose
// storage is used again: the five files of a scan are put together one
// after the other in the same storage).
void FileText(const TStringList& list, platform::Text& text);

// Where a result file goes: the directory text (with its final "\", or
// empty) to put in front of the file's name; asked afresh for each file.
using ResultDirectory = std::function<platform::Text()>;

// Writes LongNameList, ShortNameList, DifferentList, LongFileList and
// KomojiFileList, in this order, as KIVRALNG.TXT, KIVRASHT.TXT, KIVRADIF.TXT,
// KIVRALFN.TXT and KIVRAKOM.TXT. At the first file that cannot be written,
// reports that file's own message and returns false without touching the
// files after it; true when all five were written.
bool SaveResultFiles(const ResultLists& lists, const ResultDirectory& directory, SaveFailureReporter& reporter);
// Into a fixed directory (a final "\" is added when missing).
bool SaveResultFiles(const ResultLists& lists, const platform::Text& directory, SaveFailureReporter& reporter);
// Beside the running executable (ExecutableDirectory, asked for each file).
bool SaveResultFiles(const ResultLists& lists, SaveFailureReporter& reporter);

} // namespace kivra::scan

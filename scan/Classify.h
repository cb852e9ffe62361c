#pragma once
// The name classification: each walked path against its short (8.3) form
// and its upper-case form, sorted into the five result lists.

#include "platform/CodePage.h"
#include "scan/StringList.h"

#include <cstddef>

namespace kivra::scan {

// The five lists a scan fills, owned by whoever runs the scan (the main
// window holds them as its fields).
struct ResultLists {
    TStringList& LongNameList;
    TStringList& ShortNameList;
    TStringList& DifferentList;
    TStringList& LongFileList;
    TStringList& KomojiFileList;
};

// Five lists owned together, for callers that do not keep them elsewhere.
struct ScanLists {
    TStringList LongNameList;
    TStringList ShortNameList;
    TStringList DifferentList;
    TStringList LongFileList;
    TStringList KomojiFileList;

    ResultLists Refs() { return {LongNameList, ShortNameList, DifferentList, LongFileList, KomojiFileList}; }
};

// Told every so many paths (ClassifiedEvery) how many have been classified,
// so that a long classification shows progress, and of each path whose short
// form the platform could not give (it vanished or changed since the walk,
// or access to it was denied), with the platform's error code.
class ClassifyProgress {
public:
    static constexpr std::size_t ClassifiedEvery = 1024;
    virtual ~ClassifyProgress() = default;
    virtual void Classified(std::size_t paths) = 0;
    // `line` is the path's line (from 0) in LongNameList as the walk left it.
    virtual void NoShortForm(std::size_t line, const Line& path, platform::DWORD error)
    {
        (void)line;
        (void)path;
        (void)error;
    }
};

// Reads LongNameList as the walk left it (no header yet), expects the other
// four empty, and leaves all five with their headers: one short form per
// path in ShortNameList; in LongFileList the paths that differ from their
// short form and in KomojiFileList those that differ from their upper-case
// form, each as a group of long path, short form and an empty line; both
// kinds in DifferentList (long-name group first); a result list without any
// group holds the normal line and an empty line. A path without a short form
// keeps itself as its short form and is told to `progress`.
void ClassifyPaths(const ResultLists& lists, ClassifyProgress* progress = nullptr);

// The short form of a path as the platform gives it. A path whose short
// form does not fit the usual 255 bytes is asked again with room enough.
// When the platform gives none (the path has vanished since the walk), the
// path itself, so that the entry does not count as a long name; `error`
// (when given) then holds the platform's error code, else ERROR_SUCCESS.
Line ShortPathOf(const Line& LongPath, platform::DWORD* error = nullptr);

// Number of entries a list describes, as the views count them: paths for
// the two full lists (lines less the header), groups for the three result
// lists (lines less header and empty line, by three).
int PathCount(const TStringList& list);
int GroupCount(const TStringList& list);

} // namespace kivra::scan

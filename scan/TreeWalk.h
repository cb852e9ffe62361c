#pragma once
// The tree walk: every entry below a directory, depth first, as full paths.

#include "platform/CodePage.h"
#include "scan/PathFailures.h"
#include "scan/StringList.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kivra::scan {

// Told of each directory the walk starts to search, with the number of
// lines the list holds so far, and of each directory whose entries could
// not be read; lets a caller show progress and say that the tree was not
// read whole. It must not touch the list.
class WalkProgress {
public:
    virtual ~WalkProgress() = default;
    virtual void Searching(const platform::Text& directory, std::size_t lines) = 0;
    // Told every so many entries (ListedEvery) with the lines the list holds,
    // so that a long directory shows progress too.
    static constexpr std::size_t ListedEvery = 1024;
    virtual void Listed(std::size_t lines) { (void)lines; }
    // The search of `directory` (with its final "\") could not start, or
    // ended early, with the platform's error code. A directory that is
    // simply empty is no failure.
    virtual void CouldNotSearch(const platform::Text& directory, platform::DWORD error)
    {
        (void)directory;
        (void)error;
    }

    // Real paths: on Linux the Linux path of each entry as the walk read it,
    // whatever becomes of the entry later (the path of the program may no
    // longer lead there, or show what 932 cannot hold). Told only to a
    // progress that wants them.
    virtual bool WantsRealPaths() const { return false; }
    // The entry just added as line `line` (from 0) of the list.
    virtual void Added(std::size_t line, std::string_view realPath)
    {
        (void)line;
        (void)realPath;
    }
    // What the walk tells first of a directory it could not search, with its
    // real path (empty when not wanted); by default, CouldNotSearch.
    virtual void NotSearched(const platform::Text& directory, std::string_view realPath, platform::DWORD error)
    {
        (void)realPath;
        CouldNotSearch(directory, error);
    }
};

// True when a search of the directory's entries can start: the directory
// exists and may be listed. An empty directory can be searched. When false,
// GetLastError tells why (the error of the search that could not start).
bool CanSearchDirectory(const platform::Text& directory);

// Adds the full path of every selected entry below Path to List, depth-first
// pre-order in the platform's reporting order:
//   Mask          attribute bits (low 16 bits of the word) that select an entry
//   TakeZeroAttr  also select entries whose attribute word is 0
//   ClearList     clear List first
//   Recurse       descend into subdirectories (selected or not)
//   MarkDirs      end a directory's path with "\" (below the first level
//                 always)
//   ClearAttrs    clear the read-only and hidden bits of every entry found
// "." and ".." are skipped. A directory that cannot be searched adds nothing
// below it and is told to `progress`. A reparse point (a directory link or
// a mounted folder, attribute 0x400) is listed like any directory but not
// entered, so the walk stays on the root's volume and ends on every tree;
// the root itself is walked whatever it is. A directory whose file identity
// is already on the current branch (a cycle the platform does not mark) is
// listed but not entered. The walk keeps one
// open search per level and closes each on every way out, exceptions
// included; it does not use the call stack for depth.
void ListFiles(platform::Text Path, std::uint16_t Mask, bool TakeZeroAttr, bool ClearList, TStringList& List,
               bool Recurse, bool MarkDirs, bool ClearAttrs, WalkProgress* progress = nullptr);

} // namespace kivra::scan

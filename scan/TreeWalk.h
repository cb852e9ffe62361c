#pragma once
// The tree walk: every entry below a directory, depth first, as full paths.

#include "platform/CodePage.h"
#include "scan/StringList.h"

#include <cstddef>
#include <cstdint>

namespace kivra::scan {

// Told of each directory the walk starts to search, with the number of
// lines the list holds so far; lets a caller show progress. It must not
// touch the list.
class WalkProgress {
public:
    virtual ~WalkProgress() = default;
    virtual void Searching(const platform::Text& directory, std::size_t lines) = 0;
};

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
// below it. A directory whose file identity is already on the current branch
// (a link back up the tree) is listed but not entered. The walk keeps one
// open search per level and closes each on every way out, exceptions
// included; it does not use the call stack for depth.
void ListFiles(platform::Text Path, std::uint16_t Mask, bool TakeZeroAttr, bool ClearList, TStringList& List,
               bool Recurse, bool MarkDirs, bool ClearAttrs, WalkProgress* progress = nullptr);

} // namespace kivra::scan

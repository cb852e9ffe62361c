#pragma once
// Reading a directory into its table, and what a search reports of each
// entry. Nothing here keeps state between calls, so a directory can be read
// on any thread (ahead of a walk, for instance).

#include "platform/Win32.h"
#include "platform/posix/DirectoryTable.h"

#include <memory>

namespace kivra::platform::posix {

// The table of the directory open (for reading) on `fd`, read from its
// start (`rewind`: the descriptor may be past it). Null with *error set when
// it cannot be read.
std::shared_ptr<const DirectoryTable> ReadDirectoryTable(int fd, bool rewind, DWORD* error);

// What a search reports of one entry of the directory open on `fd`, which
// lies on `device` (a link counts as its target, one that leads nowhere as a
// file): 0x10 | 0x400 for a link to a directory and for a directory another
// file system is mounted on (the root of a mount, or where the kernel cannot
// tell, a directory on another device). An entry that cannot be examined (a
// directory that may be read but not searched) gets what the listing told
// of it. False when the entry is gone.
bool EntryAttributes(int fd, std::uint64_t device, const TableEntry& entry, DWORD& attributes,
                     FileIdentity* identity = nullptr);

} // namespace kivra::platform::posix

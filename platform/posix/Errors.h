#pragma once
// Linux failures as the Windows error codes the calls report.

#include "platform/Win32.h"

#include <string_view>

struct stat;

namespace kivra::platform::posix {

// The Windows code of an errno value; `notFound` for ENOENT.
DWORD ErrorFromErrno(int error, DWORD notFound = ERROR_FILE_NOT_FOUND);

// The process or the system has run out of descriptors: no fault of the
// directory being opened.
bool OutOfDescriptors(int error);

// The attribute word of an entry from its stat (of a link's target): 0x10
// or 0x20, 0x01 when the owner write bit is clear, 0x02 for a name starting
// with ".".
DWORD AttributesOf(const struct stat& st, std::string_view linuxName);

} // namespace kivra::platform::posix

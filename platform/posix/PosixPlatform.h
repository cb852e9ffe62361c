#pragma once
// The platform for Linux: Windows calls over POSIX and the Linux mount table.

#include "platform/Platform.h"

namespace kivra::platform {

// The implementation for the system the program runs on, created on first
// use and kept for the life of the process.
Platform SystemPlatform();

} // namespace kivra::platform

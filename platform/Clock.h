#pragma once
// The millisecond tick counter.

#include "platform/Win32.h"

namespace kivra::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the system started, wrapping at 2^32.
    virtual DWORD GetTickCount() = 0;
};

} // namespace kivra::platform

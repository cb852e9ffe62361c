#pragma once
// The one process-wide access point through which the program reaches the
// active platform implementation, as it would reach the Windows API. A
// program puts the implementation for the system it runs on in place at the
// start of main() (SystemPlatform.h); tests put their own with
// ScopedPlatform.

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

namespace kivra::platform {

struct Platform {
    FileSystem* files = nullptr;
    Volumes* volumes = nullptr;
    Clock* clock = nullptr;
};

// The active implementation.
const Platform& Active();

// Puts another implementation in place for its lifetime and restores the
// previous one afterwards. Members left null keep the previous one's.
class ScopedPlatform {
public:
    explicit ScopedPlatform(const Platform& replacement);
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform previous_;
};

// The calling thread's last error code, as every platform call leaves it.
DWORD GetLastError();
void SetLastError(DWORD code);
// The last error code, or `otherwise` when the last call left none.
DWORD LastErrorOr(DWORD otherwise);

} // namespace kivra::platform

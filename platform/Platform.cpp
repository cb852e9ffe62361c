#include "platform/Platform.h"

namespace kivra::platform {

namespace {

Platform& Current()
{
    // None until a program puts its system's in place (SystemPlatform.h) or
    // a test its own.
    static Platform current;
    return current;
}

thread_local DWORD lastError = ERROR_SUCCESS;

} // namespace

const Platform& Active() { return Current(); }

ScopedPlatform::ScopedPlatform(const Platform& replacement) : previous_(Current())
{
    Platform& current = Current();
    if (replacement.files) current.files = replacement.files;
    if (replacement.volumes) current.volumes = replacement.volumes;
    if (replacement.clock) current.clock = replacement.clock;
}

ScopedPlatform::~ScopedPlatform() { Current() = previous_; }

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }
DWORD LastErrorOr(DWORD otherwise) { return lastError != ERROR_SUCCESS ? lastError : otherwise; }

} // namespace kivra::platform

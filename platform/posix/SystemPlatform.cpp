#include "platform/SystemPlatform.h"

#include "platform/posix/PosixPlatform.h"

namespace kivra::platform {

Platform SystemPlatform()
{
    // Lives as long as the process and is never destroyed: at exit, freeing
    // the tables of every directory a scan has read (a million entries and
    // more) one by one would only keep the user waiting for the end.
    static PosixPlatform& system = *new PosixPlatform;
    return system.Interfaces();
}

} // namespace kivra::platform

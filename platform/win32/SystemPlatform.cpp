#include "platform/SystemPlatform.h"

#include "platform/win32/Win32Platform.h"

namespace kivra::platform {

Platform SystemPlatform()
{
    // Kept for the life of the process, like the system it stands for.
    static Win32Platform& system = *new Win32Platform;
    return system.Interfaces();
}

} // namespace kivra::platform

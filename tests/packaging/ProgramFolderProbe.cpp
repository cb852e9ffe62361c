// Prints the running program's folder as the window works it out for its
// result files and help file.
#include "platform/SystemPlatform.h"
#include "platform/WinApi.h"

#include <cstdio>
#include <string>

int main()
{
    const kivra::platform::ScopedPlatform system(kivra::platform::SystemPlatform());
    const std::string folder = kivra::platform::ExecutableDirectory();
    std::fwrite(folder.data(), 1, folder.size(), stdout);
    return 0;
}

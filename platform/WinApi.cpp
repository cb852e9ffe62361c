#include "platform/WinApi.h"

namespace kivra::platform {

std::string ExecutableDirectory()
{
    char buffer[261] = {};
    const DWORD length = GetModuleFileNameA(buffer, sizeof buffer);
    const std::string_view path(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
    const std::size_t cut = LastSeparatorOrColon(path);
    if (cut == NoPosition) return {};
    return std::string(path.substr(0, cut + 1));
}

} // namespace kivra::platform

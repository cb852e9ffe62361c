#include "platform/WinApi.h"

#include <cstring>

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

DWORD CopyModuleFileName(std::string_view path, char* buffer, DWORD capacity)
{
    if (buffer == nullptr || capacity == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (capacity <= path.size()) {
        // As Windows does: cut to the buffer, with its zero, and say so.
        std::memcpy(buffer, path.data(), capacity - 1);
        buffer[capacity - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return capacity;
    }
    std::memcpy(buffer, path.data(), path.size());
    buffer[path.size()] = '\0';
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

} // namespace kivra::platform

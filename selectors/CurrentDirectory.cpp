#include "selectors/CurrentDirectory.h"

#include "platform/Exceptions.h"
#include "platform/WinApi.h"

#include <vector>

namespace kivra::selectors {

platform::Text CurrentDirectory()
{
    // Too small a buffer makes the call report the size it needs, zero
    // included; the directory may have changed in between, so ask again
    // until it fits.
    std::vector<char> buffer(platform::MAX_PATH + 1);
    for (;;) {
        const auto capacity = static_cast<platform::DWORD>(buffer.size());
        const platform::DWORD length = platform::GetCurrentDirectoryA(capacity, buffer.data());
        if (length == 0) return {};
        if (length < capacity) return platform::Text(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

void MakeCurrent(const platform::Text& path)
{
    if (!platform::SetCurrentDirectoryA(path.c_str())) throw EInOutError(platform::GetLastError());
}

} // namespace kivra::selectors

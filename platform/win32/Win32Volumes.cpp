#include "platform/win32/Win32Volumes.h"

#include "platform/Platform.h"
#include "platform/win32/Win32Names.h"
#include "platform/win32/Windows.h"

#include <cstring>

namespace kivra::platform::win32 {

namespace {

bool CopyText(const Text& text, char* buffer, DWORD size)
{
    if (!buffer) return true;
    if (text.size() + 1 > size) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

std::wstring WideRoot(const char* root) { return root ? WideFromText(root) : std::wstring(); }

} // namespace

DWORD Win32Volumes::GetLogicalDrives() { return static_cast<DWORD>(::GetLogicalDrives()); }

UINT Win32Volumes::GetDriveTypeA(const char* root)
{
    const std::wstring wide = WideRoot(root);
    return GetDriveTypeW(root ? wide.c_str() : nullptr);
}

BOOL Win32Volumes::GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                                         DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                                         DWORD fileSystemNameSize)
{
    const std::wstring wide = WideRoot(root);
    wchar_t label[MAX_PATH + 1] = {};
    wchar_t system[MAX_PATH + 1] = {};
    ::DWORD serial = 0;
    ::DWORD component = 0;
    ::DWORD flags = 0;
    if (!GetVolumeInformationW(root ? wide.c_str() : nullptr, label, MAX_PATH + 1, &serial, &component, &flags, system,
                               MAX_PATH + 1)) {
        SetLastError(static_cast<DWORD>(::GetLastError()));
        return false;
    }
    if (!CopyText(TextFromWide(label), volumeName, volumeNameSize) ||
        !CopyText(TextFromWide(system), fileSystemName, fileSystemNameSize)) {
        SetLastError(ERROR_MORE_DATA);
        return false;
    }
    if (serialNumber) *serialNumber = static_cast<DWORD>(serial);
    if (maxComponentLength) *maxComponentLength = static_cast<DWORD>(component);
    if (fileSystemFlags) *fileSystemFlags = static_cast<DWORD>(flags);
    return true;
}

DWORD Win32Volumes::WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length)
{
    if (!localName || !length) return ERROR_INVALID_PARAMETER;
    const std::wstring local = WideFromText(localName);
    ::DWORD size = 0;
    ::DWORD result = WNetGetConnectionW(local.c_str(), nullptr, &size);
    if (result != ERROR_MORE_DATA) return static_cast<DWORD>(result);
    std::wstring remote(size, L'\0');
    result = WNetGetConnectionW(local.c_str(), remote.data(), &size);
    if (result != NO_ERROR) return static_cast<DWORD>(result);
    remote.resize(wcsnlen(remote.c_str(), remote.size()));
    const Text text = TextFromWide(remote);
    if (!remoteName || text.size() + 1 > *length) {
        *length = static_cast<DWORD>(text.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(remoteName, text.c_str(), text.size() + 1);
    return ERROR_SUCCESS;
}

UINT Win32Volumes::SetErrorMode(UINT mode) { return ::SetErrorMode(mode); }

DWORD Win32Clock::GetTickCount() { return static_cast<DWORD>(::GetTickCount()); }

} // namespace kivra::platform::win32

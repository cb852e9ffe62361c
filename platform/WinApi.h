#pragma once
// The Windows calls by their own names, reaching the active implementation.
// The rest of the program calls these and nothing below them.

#include "platform/CodePage.h"
#include "platform/Platform.h"

#include <string>

namespace kivra::platform {

inline HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    return Active().files->FindFirstFileA(pattern, data);
}
inline BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) { return Active().files->FindNextFileA(search, data); }
inline BOOL FindClose(HANDLE search) { return Active().files->FindClose(search); }
inline DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity)
{
    return Active().files->GetShortPathNameA(longPath, shortPath, capacity);
}
inline DWORD GetFileAttributesA(const char* path) { return Active().files->GetFileAttributesA(path); }
inline BOOL SetFileAttributesA(const char* path, DWORD attributes)
{
    return Active().files->SetFileAttributesA(path, attributes);
}
inline BOOL SetCurrentDirectoryA(const char* path) { return Active().files->SetCurrentDirectoryA(path); }
inline DWORD GetCurrentDirectoryA(DWORD capacity, char* buffer)
{
    return Active().files->GetCurrentDirectoryA(capacity, buffer);
}
inline HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition, DWORD flagsAndAttributes)
{
    return Active().files->CreateFileA(path, access, shareMode, disposition, flagsAndAttributes);
}
inline BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written)
{
    return Active().files->WriteFile(file, data, size, written);
}
inline BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read)
{
    return Active().files->ReadFile(file, buffer, size, read);
}
inline BOOL CloseHandle(HANDLE handle) { return Active().files->CloseHandle(handle); }
inline BOOL MoveFileExA(const char* existing, const char* target, DWORD flags)
{
    return Active().files->MoveFileExA(existing, target, flags);
}
inline BOOL DeleteFileA(const char* path) { return Active().files->DeleteFileA(path); }
inline DWORD GetModuleFileNameA(char* buffer, DWORD capacity)
{
    return Active().files->GetModuleFileNameA(buffer, capacity);
}
inline BOOL GetFileIdentity(const char* path, FileIdentity* identity)
{
    return Active().files->GetFileIdentity(path, identity);
}

inline BOOL WindowsPathFromSystemPath(std::string_view linuxPath, std::string& windowsPath)
{
    return Active().files->WindowsPathFromSystemPath(linuxPath, windowsPath);
}
inline BOOL SystemPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath)
{
    return Active().files->SystemPathFromWindowsPath(windowsPath, linuxPath);
}

inline BOOL FindRealName(HANDLE search, std::string& realName)
{
    return Active().files->FindRealName(search, realName);
}

inline DWORD GetLogicalDrives() { return Active().volumes->GetLogicalDrives(); }
inline UINT GetDriveTypeA(const char* root) { return Active().volumes->GetDriveTypeA(root); }
inline BOOL GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                                  DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                                  DWORD fileSystemNameSize)
{
    return Active().volumes->GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber, maxComponentLength,
                                                   fileSystemFlags, fileSystemName, fileSystemNameSize);
}
inline DWORD WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length)
{
    return Active().volumes->WNetGetConnectionA(localName, remoteName, length);
}
inline UINT SetErrorMode(UINT mode) { return Active().volumes->SetErrorMode(mode); }

inline DWORD GetTickCount() { return Active().clock->GetTickCount(); }

// The directory of the running executable with its final backslash: the
// executable's path (GetModuleFileNameA, 261-byte buffer) cut after its last
// backslash or colon, double-byte aware; empty when it holds neither.
std::string ExecutableDirectory();

} // namespace kivra::platform

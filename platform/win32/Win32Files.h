#pragma once
// Files and directories over Windows' wide calls.

#include "platform/FileSystem.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace kivra::platform::win32 {

class Win32Files : public FileSystem {
public:
    Win32Files();
    ~Win32Files() override;

    HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override;
    BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) override;
    BOOL FindClose(HANDLE search) override;
    DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity) override;
    DWORD GetFileAttributesA(const char* path) override;
    BOOL SetFileAttributesA(const char* path, DWORD attributes) override;
    BOOL SetCurrentDirectoryA(const char* path) override;
    DWORD GetCurrentDirectoryA(DWORD capacity, char* buffer) override;
    HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                       DWORD flagsAndAttributes) override;
    BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) override;
    BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) override;
    BOOL CloseHandle(HANDLE handle) override;
    BOOL MoveFileExA(const char* existing, const char* target, DWORD flags) override;
    BOOL DeleteFileA(const char* path) override;
    DWORD GetModuleFileNameA(char* buffer, DWORD capacity) override;
    BOOL GetFileIdentity(const char* path, FileIdentity* identity) override;
    BOOL WindowsPathFromSystemPath(std::string_view systemPath, std::string& windowsPath) override;
    BOOL SystemPathFromWindowsPath(std::string_view windowsPath, std::string& systemPath) override;
    BOOL FindRealName(HANDLE search, std::string& realName) override;

private:
    struct Search;
    struct File;
    struct Object;

    HANDLE Keep(std::unique_ptr<Object> object);
    Search* SearchOf(HANDLE handle);
    void* FileOf(HANDLE handle);

    std::mutex mutex_;
    std::unordered_map<HANDLE, std::unique_ptr<Object>> objects_;
    HANDLE next_ = 1;
};

} // namespace kivra::platform::win32

#include "tests/ui/HeldPlatform.h"

#include <chrono>

namespace kivra::ui::testing {

using namespace platform;

void HeldPlatform::HoldSearchOf(const Text& directory, std::function<void()> thrown)
{
    std::lock_guard lock(mutex_);
    held_ = directory;
    thrown_ = std::move(thrown);
    release_ = false;
}

void HeldPlatform::HoldWriteTo(const Text& name, DWORD error)
{
    std::lock_guard lock(mutex_);
    heldWrite_ = name;
    writeError_ = error;
    heldFile_ = INVALID_HANDLE_VALUE;
    release_ = false;
}

void HeldPlatform::Hold(std::unique_lock<std::mutex>& lock)
{
    holding_ = true;
    holder_ = std::this_thread::get_id();
    // A window that cannot act while the call waits would never let it go:
    // after a while it goes by itself, and the test fails.
    released_.wait_for(lock, std::chrono::seconds(10), [this] { return release_; });
    holding_ = false;
}

bool HeldPlatform::Holding() const
{
    std::lock_guard lock(mutex_);
    return holding_;
}

void HeldPlatform::Release()
{
    {
        std::lock_guard lock(mutex_);
        release_ = true;
    }
    released_.notify_all();
}

std::vector<std::string> HeldPlatform::CallsWhileHeld() const
{
    std::lock_guard lock(mutex_);
    return callsWhileHeld_;
}

void HeldPlatform::Note(const char* call)
{
    std::lock_guard lock(mutex_);
    if (holding_ && std::this_thread::get_id() != holder_) callsWhileHeld_.push_back(call);
}

HANDLE HeldPlatform::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data)
{
    Note("FindFirstFileA");
    std::function<void()> thrown;
    {
        std::unique_lock lock(mutex_);
        if (!held_.empty() && Text(pattern).rfind(held_, 0) == 0) {
            Hold(lock);
            held_.clear();
            thrown = std::move(thrown_);
        }
    }
    if (thrown) thrown();
    return inner_.FindFirstFileA(pattern, data);
}

BOOL HeldPlatform::FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data)
{
    Note("FindNextFileA");
    return inner_.FindNextFileA(search, data);
}

BOOL HeldPlatform::FindClose(HANDLE search)
{
    Note("FindClose");
    return inner_.FindClose(search);
}

DWORD HeldPlatform::GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity)
{
    Note("GetShortPathNameA");
    return inner_.GetShortPathNameA(longPath, shortPath, capacity);
}

DWORD HeldPlatform::GetFileAttributesA(const char* path)
{
    Note("GetFileAttributesA");
    return inner_.GetFileAttributesA(path);
}

BOOL HeldPlatform::SetFileAttributesA(const char* path, DWORD attributes)
{
    Note("SetFileAttributesA");
    return inner_.SetFileAttributesA(path, attributes);
}

BOOL HeldPlatform::SetCurrentDirectoryA(const char* path)
{
    Note("SetCurrentDirectoryA");
    return inner_.SetCurrentDirectoryA(path);
}

DWORD HeldPlatform::GetCurrentDirectoryA(DWORD capacity, char* buffer)
{
    Note("GetCurrentDirectoryA");
    return inner_.GetCurrentDirectoryA(capacity, buffer);
}

HANDLE HeldPlatform::CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                                 DWORD flagsAndAttributes)
{
    Note("CreateFileA");
    const HANDLE file = inner_.CreateFileA(path, access, shareMode, disposition, flagsAndAttributes);
    std::lock_guard lock(mutex_);
    if (!heldWrite_.empty() && Text(path).find(heldWrite_) != Text::npos && file != INVALID_HANDLE_VALUE)
        heldFile_ = file;
    return file;
}

BOOL HeldPlatform::WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written)
{
    Note("WriteFile");
    {
        std::unique_lock lock(mutex_);
        if (file == heldFile_) {
            Hold(lock);
            heldFile_ = INVALID_HANDLE_VALUE;
            heldWrite_.clear();
            if (writeError_ != 0) {
                if (written) *written = 0;
                SetLastError(writeError_);
                return false;
            }
        }
    }
    return inner_.WriteFile(file, data, size, written);
}

BOOL HeldPlatform::ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read)
{
    Note("ReadFile");
    return inner_.ReadFile(file, buffer, size, read);
}

BOOL HeldPlatform::CloseHandle(HANDLE handle)
{
    Note("CloseHandle");
    return inner_.CloseHandle(handle);
}

BOOL HeldPlatform::MoveFileExA(const char* existing, const char* target, DWORD flags)
{
    Note("MoveFileExA");
    return inner_.MoveFileExA(existing, target, flags);
}

BOOL HeldPlatform::DeleteFileA(const char* path)
{
    Note("DeleteFileA");
    return inner_.DeleteFileA(path);
}

DWORD HeldPlatform::GetModuleFileNameA(char* buffer, DWORD capacity)
{
    Note("GetModuleFileNameA");
    return inner_.GetModuleFileNameA(buffer, capacity);
}

BOOL HeldPlatform::GetFileIdentity(const char* path, FileIdentity* identity)
{
    Note("GetFileIdentity");
    return inner_.GetFileIdentity(path, identity);
}

BOOL HeldPlatform::WindowsPathFromSystemPath(std::string_view linuxPath, std::string& windowsPath)
{
    Note("WindowsPathFromSystemPath");
    return inner_.WindowsPathFromSystemPath(linuxPath, windowsPath);
}

BOOL HeldPlatform::SystemPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath)
{
    Note("SystemPathFromWindowsPath");
    return inner_.SystemPathFromWindowsPath(windowsPath, linuxPath);
}

BOOL HeldPlatform::FindRealName(HANDLE search, std::string& realName)
{
    Note("FindRealName");
    return inner_.FindRealName(search, realName);
}

DWORD HeldPlatform::GetLogicalDrives()
{
    Note("GetLogicalDrives");
    return inner_.GetLogicalDrives();
}

UINT HeldPlatform::GetDriveTypeA(const char* root)
{
    Note("GetDriveTypeA");
    return inner_.GetDriveTypeA(root);
}

BOOL HeldPlatform::GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                                         DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                                         DWORD fileSystemNameSize)
{
    Note("GetVolumeInformationA");
    return inner_.GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber, maxComponentLength,
                                        fileSystemFlags, fileSystemName, fileSystemNameSize);
}

DWORD HeldPlatform::WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length)
{
    Note("WNetGetConnectionA");
    return inner_.WNetGetConnectionA(localName, remoteName, length);
}

UINT HeldPlatform::SetErrorMode(UINT mode)
{
    Note("SetErrorMode");
    return inner_.SetErrorMode(mode);
}

DWORD HeldPlatform::GetTickCount()
{
    Note("GetTickCount");
    return inner_.GetTickCount();
}

} // namespace kivra::ui::testing

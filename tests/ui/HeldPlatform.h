#pragma once
// A platform for the window's tests that stands in front of a memory
// platform: every call is passed on, except that the search of one chosen
// directory, or the first write to a file of a chosen name, waits until the
// test lets it go. It also notes every call that another thread makes while
// that call waits, so a test can tell that nothing else used the platform
// meanwhile.

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "platform/Volumes.h"
#include "platform/memory/MemoryPlatform.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kivra::ui::testing {

class HeldPlatform : public platform::FileSystem, public platform::Volumes, public platform::Clock {
public:
    explicit HeldPlatform(platform::MemoryPlatform& inner) : inner_(inner) {}

    // This object's three interfaces, for ScopedPlatform.
    platform::Platform AsPlatform() { return platform::Platform{this, this, this}; }

    // The next search whose pattern begins with `directory` waits in
    // FindFirstFileA until Release (at once when released before; by itself
    // after ten seconds).
    // `thrown`, when set, is called there after the release instead of
    // searching.
    void HoldSearchOf(const platform::Text& directory, std::function<void()> thrown = {});
    // The first WriteFile to a file created under a path that contains
    // `name` waits in the same way; once let go, it fails with `error` when
    // that is not 0 (writing nothing), else writes.
    void HoldWriteTo(const platform::Text& name, platform::DWORD error = 0);
    // True while a search or a write is held.
    bool Holding() const;
    void Release();
    // Calls made, while a search was held, by a thread other than the held
    // one: their names.
    std::vector<std::string> CallsWhileHeld() const;

    platform::HANDLE FindFirstFileA(const char* pattern, platform::WIN32_FIND_DATAA* data) override;
    platform::BOOL FindNextFileA(platform::HANDLE search, platform::WIN32_FIND_DATAA* data) override;
    platform::BOOL FindClose(platform::HANDLE search) override;
    platform::DWORD GetShortPathNameA(const char* longPath, char* shortPath, platform::DWORD capacity) override;
    platform::DWORD GetFileAttributesA(const char* path) override;
    platform::BOOL SetFileAttributesA(const char* path, platform::DWORD attributes) override;
    platform::BOOL SetCurrentDirectoryA(const char* path) override;
    platform::DWORD GetCurrentDirectoryA(platform::DWORD capacity, char* buffer) override;
    platform::HANDLE CreateFileA(const char* path, platform::DWORD access, platform::DWORD shareMode,
                                 platform::DWORD disposition, platform::DWORD flagsAndAttributes) override;
    platform::BOOL WriteFile(platform::HANDLE file, const void* data, platform::DWORD size,
                             platform::DWORD* written) override;
    platform::BOOL ReadFile(platform::HANDLE file, void* buffer, platform::DWORD size, platform::DWORD* read) override;
    platform::BOOL CloseHandle(platform::HANDLE handle) override;
    platform::BOOL MoveFileExA(const char* existing, const char* target, platform::DWORD flags) override;
    platform::BOOL DeleteFileA(const char* path) override;
    platform::DWORD GetModuleFileNameA(char* buffer, platform::DWORD capacity) override;
    platform::BOOL GetFileIdentity(const char* path, platform::FileIdentity* identity) override;
    platform::BOOL WindowsPathFromSystemPath(std::string_view linuxPath, std::string& windowsPath) override;
    platform::BOOL SystemPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath) override;
    platform::BOOL FindRealName(platform::HANDLE search, std::string& realName) override;

    platform::DWORD GetLogicalDrives() override;
    platform::UINT GetDriveTypeA(const char* root) override;
    platform::BOOL GetVolumeInformationA(const char* root, char* volumeName, platform::DWORD volumeNameSize,
                                         platform::DWORD* serialNumber, platform::DWORD* maxComponentLength,
                                         platform::DWORD* fileSystemFlags, char* fileSystemName,
                                         platform::DWORD fileSystemNameSize) override;
    platform::DWORD WNetGetConnectionA(const char* localName, char* remoteName, platform::DWORD* length) override;
    platform::UINT SetErrorMode(platform::UINT mode) override;

    platform::DWORD GetTickCount() override;

private:
    void Note(const char* call);

    platform::MemoryPlatform& inner_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    // Waits in the calling thread until the test lets it go.
    void Hold(std::unique_lock<std::mutex>& lock);

    platform::Text held_;
    std::function<void()> thrown_;
    platform::Text heldWrite_;
    platform::DWORD writeError_ = 0;
    platform::HANDLE heldFile_ = platform::INVALID_HANDLE_VALUE;
    bool holding_ = false;
    bool release_ = false;
    std::thread::id holder_;
    std::vector<std::string> callsWhileHeld_;
};

} // namespace kivra::ui::testing

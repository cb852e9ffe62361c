#pragma once
// The memory platform as the selectors' tests use it, with two views on top:
// the volume calls are recorded together with the error mode in force at
// each, and one drive letter can be made to stand for a network share, so
// that the process's current directory is reported as "\\host\share\...".

#include "platform/WinApi.h"
#include "platform/memory/MemoryPlatform.h"

#include <string>
#include <vector>

namespace kivra::test {

class RecordingVolumes : public platform::Volumes {
public:
    explicit RecordingVolumes(platform::MemoryPlatform& fs) : fs_(fs) {}

    struct Query {
        std::string root;
        platform::UINT errorMode;
    };
    std::vector<Query> labelQueries;

    platform::DWORD GetLogicalDrives() override { return fs_.GetLogicalDrives(); }
    platform::UINT GetDriveTypeA(const char* root) override { return fs_.GetDriveTypeA(root); }
    platform::BOOL GetVolumeInformationA(const char* root, char* volumeName, platform::DWORD volumeNameSize,
                                         platform::DWORD* serialNumber, platform::DWORD* maxComponentLength,
                                         platform::DWORD* fileSystemFlags, char* fileSystemName,
                                         platform::DWORD fileSystemNameSize) override
    {
        if (volumeName)
            labelQueries.push_back({root, fs_.ErrorMode()});
        return fs_.GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber, maxComponentLength,
                                         fileSystemFlags, fileSystemName, fileSystemNameSize);
    }
    platform::DWORD WNetGetConnectionA(const char* localName, char* remoteName, platform::DWORD* length) override
    {
        return fs_.WNetGetConnectionA(localName, remoteName, length);
    }
    platform::UINT SetErrorMode(platform::UINT mode) override { return fs_.SetErrorMode(mode); }

private:
    platform::MemoryPlatform& fs_;
};

// Every call goes to the memory platform; the current directory of the
// share's drive letter is reported as the share's network path.
class ShareView : public platform::FileSystem {
public:
    ShareView(platform::MemoryPlatform& fs, char letter, std::string share)
        : fs_(fs), letter_(letter), share_(std::move(share))
    {
    }

    platform::DWORD GetCurrentDirectoryA(platform::DWORD capacity, char* buffer) override
    {
        char local[1024] = {};
        const platform::DWORD length = fs_.GetCurrentDirectoryA(sizeof local, local);
        std::string text(local, length);
        if (length >= 2 && text[0] == letter_ && text[1] == ':')
            text = share_ + text.substr(2);
        if (text.size() == share_.size() + 1 && text.back() == '\\')
            text.pop_back();
        if (capacity <= text.size())
            return static_cast<platform::DWORD>(text.size() + 1);
        text.copy(buffer, text.size());
        buffer[text.size()] = '\0';
        return static_cast<platform::DWORD>(text.size());
    }

    platform::HANDLE FindFirstFileA(const char* p, platform::WIN32_FIND_DATAA* d) override { return fs_.FindFirstFileA(p, d); }
    platform::BOOL FindNextFileA(platform::HANDLE s, platform::WIN32_FIND_DATAA* d) override { return fs_.FindNextFileA(s, d); }
    platform::BOOL FindClose(platform::HANDLE s) override { return fs_.FindClose(s); }
    platform::DWORD GetShortPathNameA(const char* l, char* s, platform::DWORD c) override { return fs_.GetShortPathNameA(l, s, c); }
    platform::DWORD GetFileAttributesA(const char* p) override { return fs_.GetFileAttributesA(p); }
    platform::BOOL SetFileAttributesA(const char* p, platform::DWORD a) override { return fs_.SetFileAttributesA(p, a); }
    platform::BOOL SetCurrentDirectoryA(const char* p) override { return fs_.SetCurrentDirectoryA(p); }
    platform::HANDLE CreateFileA(const char* p, platform::DWORD a, platform::DWORD s, platform::DWORD d, platform::DWORD f) override
    {
        return fs_.CreateFileA(p, a, s, d, f);
    }
    platform::BOOL WriteFile(platform::HANDLE h, const void* d, platform::DWORD s, platform::DWORD* w) override { return fs_.WriteFile(h, d, s, w); }
    platform::BOOL ReadFile(platform::HANDLE h, void* d, platform::DWORD s, platform::DWORD* r) override { return fs_.ReadFile(h, d, s, r); }
    platform::BOOL CloseHandle(platform::HANDLE h) override { return fs_.CloseHandle(h); }
    platform::BOOL MoveFileExA(const char* e, const char* t, platform::DWORD f) override { return fs_.MoveFileExA(e, t, f); }
    platform::BOOL DeleteFileA(const char* p) override { return fs_.DeleteFileA(p); }
    platform::DWORD GetModuleFileNameA(char* b, platform::DWORD c) override { return fs_.GetModuleFileNameA(b, c); }
    platform::BOOL GetFileIdentity(const char* p, platform::FileIdentity* i) override { return fs_.GetFileIdentity(p, i); }

private:
    platform::MemoryPlatform& fs_;
    char letter_;
    std::string share_;
};

// The process's current directory as the platform reports it.
inline std::string CurrentDirectoryNow()
{
    char buffer[1024] = {};
    const platform::DWORD length = platform::GetCurrentDirectoryA(sizeof buffer, buffer);
    return std::string(buffer, length);
}

} // namespace kivra::test

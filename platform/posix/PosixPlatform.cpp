#include "platform/posix/PosixPlatform.h"

#include <ctime>

namespace kivra::platform {

class PosixPlatform::Impl final : public FileSystem, public Volumes, public Clock {
public:
    explicit Impl(const PosixSources&) {}

    HANDLE FindFirstFileA(const char*, WIN32_FIND_DATAA*) override { return Fail(ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE; }
    BOOL FindNextFileA(HANDLE, WIN32_FIND_DATAA*) override { return Fail(ERROR_INVALID_HANDLE); }
    BOOL FindClose(HANDLE) override { return Fail(ERROR_INVALID_HANDLE); }
    DWORD GetShortPathNameA(const char*, char*, DWORD) override { return Fail(ERROR_PATH_NOT_FOUND), 0; }
    DWORD GetFileAttributesA(const char*) override { return Fail(ERROR_PATH_NOT_FOUND), INVALID_FILE_ATTRIBUTES; }
    BOOL SetFileAttributesA(const char*, DWORD) override { return Fail(ERROR_PATH_NOT_FOUND); }
    BOOL SetCurrentDirectoryA(const char*) override { return Fail(ERROR_PATH_NOT_FOUND); }
    DWORD GetCurrentDirectoryA(DWORD, char*) override { return Fail(ERROR_PATH_NOT_FOUND), 0; }
    HANDLE CreateFileA(const char*, DWORD, DWORD, DWORD, DWORD) override { return Fail(ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE; }
    BOOL WriteFile(HANDLE, const void*, DWORD, DWORD*) override { return Fail(ERROR_INVALID_HANDLE); }
    BOOL ReadFile(HANDLE, void*, DWORD, DWORD*) override { return Fail(ERROR_INVALID_HANDLE); }
    BOOL CloseHandle(HANDLE) override { return Fail(ERROR_INVALID_HANDLE); }
    BOOL MoveFileExA(const char*, const char*, DWORD) override { return Fail(ERROR_PATH_NOT_FOUND); }
    BOOL DeleteFileA(const char*) override { return Fail(ERROR_PATH_NOT_FOUND); }
    DWORD GetModuleFileNameA(char*, DWORD) override { return Fail(ERROR_PATH_NOT_FOUND), 0; }
    BOOL GetFileIdentity(const char*, FileIdentity*) override { return Fail(ERROR_PATH_NOT_FOUND); }

    DWORD GetLogicalDrives() override { return 1u << 2; }
    UINT GetDriveTypeA(const char*) override { return DRIVE_NO_ROOT_DIR; }
    BOOL GetVolumeInformationA(const char*, char*, DWORD, DWORD*, DWORD*, DWORD*, char*, DWORD) override { return Fail(ERROR_NOT_READY); }
    DWORD WNetGetConnectionA(const char*, char*, DWORD*) override { return ERROR_NOT_CONNECTED; }
    UINT SetErrorMode(UINT mode) override
    {
        const UINT previous = errorMode_;
        errorMode_ = mode;
        return previous;
    }

    DWORD GetTickCount() override
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
    }

private:
    static BOOL Fail(DWORD code)
    {
        SetLastError(code);
        return false;
    }
    UINT errorMode_ = 0;
};

PosixPlatform::PosixPlatform(const PosixSources& sources) : impl_(std::make_unique<Impl>(sources)) {}
PosixPlatform::~PosixPlatform() = default;

Platform PosixPlatform::Interfaces() const { return Platform{impl_.get(), impl_.get(), impl_.get()}; }

Platform SystemPlatform()
{
    static PosixPlatform system;
    return system.Interfaces();
}

} // namespace kivra::platform

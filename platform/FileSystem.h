#pragma once
// Files and directories: the kernel32 calls the program makes, with their
// Windows meanings. Every failing call records its Windows error code with
// SetLastError (Platform.h); none throws.

#include "platform/Win32.h"

#include <string>
#include <string_view>

namespace kivra::platform {

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Directory searches. The pattern is a directory path followed by a name
    // pattern ("C:\DATA\*.*"). On success the first entry is in *data.
    virtual HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) = 0;
    virtual BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) = 0;
    virtual BOOL FindClose(HANDLE search) = 0;

    // The 8.3 form of an existing path. Returns its length without the zero
    // on success; when the buffer is too small, the size needed with the
    // zero, leaving the buffer untouched; 0 on failure.
    virtual DWORD GetShortPathNameA(const char* longPath, char* shortPath, DWORD capacity) = 0;

    virtual DWORD GetFileAttributesA(const char* path) = 0;
    virtual BOOL SetFileAttributesA(const char* path, DWORD attributes) = 0;

    // One current directory per drive, as on Windows.
    virtual BOOL SetCurrentDirectoryA(const char* path) = 0;
    virtual DWORD GetCurrentDirectoryA(DWORD capacity, char* buffer) = 0;

    virtual HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                               DWORD flagsAndAttributes) = 0;
    virtual BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) = 0;
    // Reads up to `size` bytes from a file opened with GENERIC_READ and
    // OPEN_EXISTING; *read becomes 0 at the end of the file (still TRUE).
    virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual BOOL MoveFileExA(const char* existing, const char* target, DWORD flags) = 0;
    // Removes a file (not a directory); fails with 5 for a read-only file or
    // directory, 32 for a file held open, 2 or 3 for a missing one.
    virtual BOOL DeleteFileA(const char* path) = 0;

    // The running executable's full path (no module handle).
    virtual DWORD GetModuleFileNameA(char* buffer, DWORD capacity) = 0;

    // Volume and file index of any path, files and directories alike.
    virtual BOOL GetFileIdentity(const char* path, FileIdentity* identity) = 0;

    // Not Windows calls: where the paths of the system's own users meet the
    // program's Windows paths (the command-line program takes and gives the
    // system's paths). A system path is, on Linux, the bytes of Linux names
    // with "/" between them; on Windows, a Windows path in UTF-8.
    //
    // The Windows path of a system path, meaning what it means to the
    // system. On Linux: resolved as the kernel resolves it (links followed,
    // ".." the parent of the directory reached, a relative path from the
    // process's working directory), then each name as its directory shows
    // it; in a directory that may be searched but not listed, the name as
    // written. A missing tail is kept as its text.
    // Fails with 2 (3 when names follow it) for a link that leads nowhere or
    // a missing name only a directory's table could show (one shown with
    // "?"); 3 for ".." after a missing name or a name after a file; 1921
    // for a loop of links; 5 for a directory that may not be searched, or a
    // name shown with "?" in one that may not be listed; 3 when the working
    // directory is needed and has been deleted, and GetCurrentDirectoryA
    // then fails with 3 too.
    virtual BOOL WindowsPathFromSystemPath(std::string_view systemPath, std::string& windowsPath) = 0;
    // The system path of an existing file or directory: on Linux the bytes
    // of the Linux names it stands for. Fails as a look-up of the path would
    // (2, 3).
    virtual BOOL SystemPathFromWindowsPath(std::string_view windowsPath, std::string& systemPath) = 0;
    // The real name of the entry a search reported last, as the system's
    // paths spell it: on Linux the bytes of the Linux name it showed,
    // whatever became of the entry since; on Windows its UTF-16 name in
    // UTF-8. Fails with 6 for a search that is not open.
    virtual BOOL FindRealName(HANDLE search, std::string& realName) = 0;
};

// GetModuleFileNameA's answer for an executable's path, by its buffer rules,
// for every implementation: the length without the zero; too small a buffer
// takes the path cut to fit with its zero, and the call returns the capacity
// with error 122.
DWORD CopyModuleFileName(std::string_view path, char* buffer, DWORD capacity);

// The separator between the names of a system path.
#ifdef _WIN32
inline constexpr char SystemPathSeparator = '\\';
#else
inline constexpr char SystemPathSeparator = '/';
#endif

} // namespace kivra::platform

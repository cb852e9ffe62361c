#pragma once
// A file system, drive table and tick counter held in memory, for tests. A
// test builds the world it needs in a few lines and puts it in place:
//
//     MemoryPlatform fs;
//     fs.AddDrive('C', DRIVE_FIXED, "LABEL");
//     fs.AddDirectory("C:\\DATA");
//     fs.AddFile("C:\\DATA\\LONGNAME.TXT", 0x20, "LONGNA~1.TXT");
//     platform::ScopedPlatform use(fs.AsPlatform());
//
// Names are code page 932 bytes of any kind (second bytes of 0x5C included)
// and are looked up as Windows does: the exact name first, then ignoring
// case (CharUpperBuffA on both), then the entry's short alias. Entries are
// reported in the order they were added, after "." and ".." outside a drive
// root. Attribute words are stored and reported unchanged (0, 0x80, 0x2020
// and so on), except that a directory always keeps bit 0x10 for the lookup.
// Paths are "X:\...", relative ones and "X:" (against each drive's own
// current directory, as Windows keeps them), and "\\host\share\..." for a
// drive given that network name; "/" separates like "\".

#include "platform/CodePage.h"
#include "platform/Platform.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace kivra::platform {

class MemoryPlatform : public FileSystem, public Volumes, public Clock {
public:
    MemoryPlatform();
    ~MemoryPlatform() override;
    MemoryPlatform(const MemoryPlatform&) = delete;
    MemoryPlatform& operator=(const MemoryPlatform&) = delete;

    // The three interfaces of this object, for ScopedPlatform.
    Platform AsPlatform();

    // ---- Building the world -------------------------------------------------

    // A drive with an empty root directory. Letters 'A'..'Z' (either case).
    // The type is reported as given (0-6); the label in 932 bytes.
    void AddDrive(char letter, UINT type, const Text& label = {},
                  DWORD fileSystemFlags = FS_CASE_IS_PRESERVED | FS_UNICODE_STORED_ON_DISK, DWORD serialNumber = 0);
    // Bits OR-ed into GetLogicalDrives beyond the drives added (for example
    // bits above 25, or a letter with no drive behind it).
    void SetExtraDriveBits(DWORD bits);
    // WNetGetConnectionA for "X:" gives this remote name.
    void SetNetworkName(char letter, const Text& remoteName);
    // WNetGetConnectionA for "X:" fails with this code.
    void FailNetworkName(char letter, DWORD error);
    // GetVolumeInformationA for the drive fails with this code.
    void FailVolumeInformation(char letter, DWORD error = ERROR_NOT_READY);
    // Every path on the drive fails with ERROR_NOT_READY (21), as a drive
    // without its medium; its volume query fails too.
    void SetNotReady(char letter, bool notReady = true);

    // Entries. The parent directory must exist (a test that breaks this
    // rule gets std::invalid_argument). An empty alias means the name is its
    // own short form.
    void AddDirectory(const Text& path, DWORD attributes = FILE_ATTRIBUTE_DIRECTORY, const Text& alias = {});
    void AddFile(const Text& path, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE, const Text& alias = {},
                 const std::string& contents = {});
    // An entry that leads to an existing directory or file elsewhere: it
    // reports the target's attribute word and contents, and its file
    // identity is the target's.
    void AddLink(const Text& path, const Text& target, const Text& alias = {});

    // FindFirstFileA in this directory fails with the code.
    void FailSearch(const Text& directory, DWORD error = ERROR_ACCESS_DENIED);
    // GetShortPathNameA of this path fails with the code.
    void FailShortPath(const Text& path, DWORD error = ERROR_ACCESS_DENIED);
    // Nothing can be created, replaced or removed in this directory (5).
    void DenyWrites(const Text& directory);
    // The file is held open by another program: opening, replacing or
    // removing it fails with ERROR_SHARING_VIOLATION (32). A file opened
    // here without sharing refuses the same way until it is closed; readers
    // that all pass FILE_SHARE_READ may share it.
    void HoldOpen(const Text& path, bool held = true);
    // The drive holds this many more bytes; a WriteFile beyond them writes
    // what fits and fails with ERROR_DISK_FULL (112).
    void SetFreeSpace(char letter, std::size_t bytes);
    // CloseHandle of a file opened at this path (any spelling), now or
    // later, fails with the code, as on a file system that writes late and
    // reports a failed write when the file is closed; the handle is closed
    // all the same.
    void FailClose(const Text& path, DWORD error);

    // The process's working directory has been deleted: Linux paths that
    // start there fail with 3.
    void DeleteWorkingDirectory();

    // GetModuleFileNameA reports this path.
    void SetModuleFileName(const Text& path);

    // The tick counter: GetTickCount returns `ticks`, and each reading after
    // that is `step` later (wrapping at 2^32), so a wait on it ends.
    void SetTicks(DWORD ticks, DWORD step = 0);

    // ---- Looking at the world -----------------------------------------------

    bool Exists(const Text& path) const;
    // The file's bytes, or nothing when the path is no file.
    std::optional<std::string> FileContents(const Text& path) const;
    // The attribute word as stored, or INVALID_FILE_ATTRIBUTES.
    DWORD AttributesOf(const Text& path) const;
    // Names of a directory's entries in their order (no "." or "..").
    std::vector<Text> EntryNames(const Text& directory) const;

    struct AttributeCall {
        Text path;
        DWORD attributes;
    };
    // Every SetFileAttributesA call, in order, successful or not.
    const std::vector<AttributeCall>& AttributeCalls() const;
    // The mode last given to SetErrorMode.
    UINT ErrorMode() const;

    // Searches and file handles open now, and the most searches open at once.
    std::size_t OpenSearches() const;
    std::size_t MostOpenSearches() const;
    std::size_t OpenFiles() const;
    // How many times FindFirstFileA has been called.
    std::size_t SearchesStarted() const;

    // ---- FileSystem -----------------------------------------------------------
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
    // Linux paths are those of drive C: with each name's bytes in UTF-8:
    // "/DATA/x" is C:\DATA\x; paths on other drives have none (3).
    BOOL WindowsPathFromSystemPath(std::string_view linuxPath, std::string& windowsPath) override;
    BOOL SystemPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath) override;
    BOOL FindRealName(HANDLE search, std::string& realName) override;

    // ---- Volumes --------------------------------------------------------------
    DWORD GetLogicalDrives() override;
    UINT GetDriveTypeA(const char* root) override;
    BOOL GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                               DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                               DWORD fileSystemNameSize) override;
    DWORD WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length) override;
    UINT SetErrorMode(UINT mode) override;

    // ---- Clock ----------------------------------------------------------------
    DWORD GetTickCount() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace kivra::platform

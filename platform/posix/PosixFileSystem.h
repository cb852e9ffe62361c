#pragma once
// The Windows file calls over Linux: thin adapters over the path resolver
// and the directory cache. Searches (PosixSearches.cpp), files
// (PosixFiles.cpp), short paths (PosixShortPaths.cpp) and the current
// directories with the Linux paths (PosixPaths.cpp) each have their file.

#include "platform/FileSystem.h"
#include "platform/WindowsPath.h"
#include "platform/posix/ChangeWatch.h"
#include "platform/posix/DirectoryCache.h"
#include "platform/posix/Drives.h"
#include "platform/posix/PathResolver.h"
#include "platform/posix/ReadAhead.h"

#include <sys/stat.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kivra::platform::posix {

struct FileSystemLimits {
    std::size_t watches = 0;     // directories watched at most (0: none)
    std::size_t descriptors = 8; // directory descriptors held at most
    std::chrono::milliseconds idle{3000};
    bool readAhead = true; // directories read ahead of a walk on a thread of their own
};

class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem(const std::vector<Drive>& drives, CurrentDirectories& current, std::string executablePath,
                    const FileSystemLimits& limits);
    ~PosixFileSystem() override;

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
    BOOL WindowsPathFromSystemPath(std::string_view linuxPath, std::string& windowsPath) override;
    BOOL SystemPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath) override;
    BOOL FindRealName(HANDLE search, std::string& realName) override;

    // Makes the process's working directory (a Linux path, or null when it
    // has none) the current directory, seen through C:.
    void StartIn(const char* workingDirectory);

    // How many directories walks have found read ahead (and still as read).
    std::size_t DirectoriesReadAhead() const { return adopted_; }

private:
    // The Windows path (through C:) of an absolute Linux path, name by name
    // through the directories' tables; false with *error set when a name
    // cannot be shown (a missing one whose text 932 cannot hold).
    bool WindowsPathOf(std::string_view linuxPath, std::string& windowsPath, DWORD* error);

    // Where a path leads: the directory holding its last name (level
    // `level` of the resolver) and that name's entry, or a drive's root.
    struct Place {
        std::size_t level = 0;
        int dirFd = -1;
        const DirectoryTable* table = nullptr;
        std::size_t entry = DirectoryTable::NotFound;
        bool isRoot = false;
        bool exact = false;       // looked up as written (its directory cannot be listed): it has no alias
        std::string name;         // the last name as given
        std::size_t consumed = 0; // names the drive's root covers
        const Drive* drive = nullptr;
    };

    // One call of the platform: changes noticed since the last one are
    // taken at its start. A call that is no step of a walk (`walking`
    // false) drops whatever was read ahead.
    class Call {
    public:
        explicit Call(PosixFileSystem& files, bool walking = false);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        PosixFileSystem& files_;
    };

    struct Search {
        std::shared_ptr<const DirectoryTable> table;
        using Item = EntryLook; // its entry is Dot, DotDot or an entry of the table
        std::vector<Item> items;
        std::size_t position = 0;
        // A walk asks next for the identity of the directory just found, and
        // goes down into it: the pattern up to its last "\" when it is a full
        // drive path, and the directory searched as it stood.
        std::string prefix;
        DirectoryNode* node = nullptr;
        FileIdentity directory;
        std::size_t level = 0;   // the resolver's level it was at
        std::uint64_t stamp = 0; // that level's stamp then
        std::uint64_t serial = 0;
        std::uint64_t generation = 0;
    };
    static constexpr std::size_t Dot = static_cast<std::size_t>(-2);
    static constexpr std::size_t DotDot = static_cast<std::size_t>(-3);

    struct OpenFile {
        int fd = -1;
        bool read = false;
        bool write = false;
    };

    DWORD Parse(const char* path, WindowsPath& out) const;
    DWORD Resolve(const WindowsPath& path, Place& place);
    DWORD ResolveDirectory(const WindowsPath& path, Place& place);
    DWORD StatPlace(const Place& place, struct stat& st, std::string& linuxName);
    DWORD StatPath(const char* path, Place& place, struct stat& st, std::string& linuxName);
    DWORD PlaceAttributes(const Place& place, DWORD& attributes);
    bool MatchItems(const DirectoryTable& table, int fd, std::uint64_t device, const DirectoryState* directory,
                    std::string_view pattern, bool isRoot, Search& search);
    static void AddDots(const DirectoryState* directory, bool dot, bool dotDot, Search& search);
    // A walk going down: the search `pattern` is "*.*" (or "*") in the
    // directory the last search has just reported.
    const Search* DescentOf(std::string_view pattern);
    DWORD ResolveDescent(WindowsPath& full, const Search& parent, Place& place);
    bool SearchReadAhead(const Search& parent, Place& place, Search& search);
    void ReadAheadBelow(const Place& place, const Search& parent, const Search& search);
    void StopReadingAhead();
    void DisposeDroppedWatches();
    void Report(const Search& search, const Search::Item& item, WIN32_FIND_DATAA* data) const;
    bool IdentityOfLastFound(const char* path, FileIdentity& identity);
    std::string ShortPathOf(std::string_view text, const WindowsPath& path, const Place& place);
    bool ShortPathThroughKnownDirectories(std::string_view text);
    void KeepKnownDirectories(std::string_view text, const Place& place);
    static std::size_t SpelledEntry(const Place& place);
    DWORD HeldOpenElsewhere(int dirFd, const std::string& linuxName);
    DWORD MoveChecked(const std::string& sourceName, const struct stat& sourceStat, const WindowsPath& to, DWORD flags,
                      int sourceDir);
    HANDLE NewHandle() { return nextHandle_ += 4; }

    const std::vector<Drive>& drives_;
    CurrentDirectories& current_;
    std::string executablePath_;
    ChangeWatch watch_;
    DirectoryCache cache_;
    PathResolver resolver_;
    ReadAhead readAhead_;
    bool readingAhead_;
    std::size_t adopted_ = 0;
    HANDLE nextHandle_ = 0x1000;
    std::map<HANDLE, Search> searches_;
    HANDLE lastSearch_ = 0;        // the search that reported last
    std::uint64_t generation_ = 0; // counts the times every node was forgotten
    std::map<HANDLE, OpenFile> files_;
    std::string shortResult_; // the answer GetShortPathNameA puts together, kept between calls
    // The directories of the last short path of the form "X:\name\name...",
    // root first: a scan asks for the paths of a tree in its order, most in
    // the directory of the one before.
    struct KnownDirectory {
        std::size_t textLength;  // the long path up to the separator after the directory
        std::size_t shortLength; // the same part of its short form
        DirectoryNode* node;
        std::uint64_t serial;
    };
    std::string knownText_;
    std::string knownShort_;
    std::vector<KnownDirectory> known_;
    bool KnownDirectoryStands(std::size_t level);
    bool EnterKnownDirectory(std::size_t entry);
};

BOOL Fail(DWORD code);

} // namespace kivra::platform::posix

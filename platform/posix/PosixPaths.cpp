// The current directories, the executable's path, and the meeting of Linux
// paths with Windows paths.

#include "platform/posix/PosixFileSystem.h"

#include "platform/Platform.h"
#include "platform/posix/Errors.h"
#include "platform/posix/NameText.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace kivra::platform::posix {

namespace {

// As many links as the kernel follows in one path before it calls it a loop.
constexpr int MaxLinks = 40;
constexpr int PassFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A descriptor closed when it is replaced or goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd)
    {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// One name still to be resolved; `fromLink` when a link's target gave it.
struct PendingName {
    std::string name;
    bool fromLink = false;
};

// Puts the names of `path` in front of those pending (the next one last).
void PushNames(std::string_view path, bool fromLink, std::vector<PendingName>& pending)
{
    std::size_t end = path.size();
    while (end > 0) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
        const std::string_view name = path.substr(begin, end - begin);
        if (!name.empty() && name != ".") pending.push_back(PendingName{std::string(name), fromLink});
        if (slash == std::string_view::npos) break;
        end = slash;
    }
}

// A link's target; empty when it cannot be read.
std::string LinkTarget(int directory, const std::string& name)
{
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = readlinkat(directory, name.c_str(), target.data(), target.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

// Opens a directory to list it, or else, when that is refused, to pass
// through it alone; true when it can be listed.
bool OpenDirectory(int parent, const char* name, Descriptor& directory)
{
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    directory.Reset(fd >= 0 || errno != EACCES ? fd : openat(parent, name, PassFlags));
    return fd >= 0;
}

// An absolute Linux path resolved as the kernel resolves it: links
// followed, ".." taken from the directory actually reached. `names` are
// the names from "/" down to it, the first `existing` of them existing
// entries (directories, but the last), the rest the missing tail as
// written.
struct ResolvedPath {
    std::vector<std::string> names;
    std::size_t existing = 0;
};

DWORD ResolveLinuxPath(std::string_view path, ResolvedPath& resolved)
{
    std::vector<PendingName> pending;
    PushNames(path, false, pending);
    // The names still pending after the next one, "." and "" aside, are
    // what makes a missing name a missing directory (3) rather than file (2).
    const auto missing = [&pending] { return pending.empty() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND; };
    Descriptor here(open("/", PassFlags));
    if (here.Get() < 0) return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
    std::vector<std::string>& names = resolved.names;
    bool inMissingTail = false;
    bool lastWasFile = false;
    int links = 0;
    while (!pending.empty()) {
        PendingName next = std::move(pending.back());
        pending.pop_back();
        // A file has no names below it.
        if (lastWasFile) return ERROR_PATH_NOT_FOUND;
        if (inMissingTail) {
            if (next.name == "..") return ERROR_PATH_NOT_FOUND;
            names.push_back(std::move(next.name));
            continue;
        }
        if (next.name == "..") {
            if (names.empty()) continue; // the root is its own parent
            here.Reset(openat(here.Get(), "..", PassFlags));
            if (here.Get() < 0) return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
            names.pop_back();
            continue;
        }
        struct stat st {};
        if (fstatat(here.Get(), next.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
            // A link that leads nowhere names nothing; a name the user gave
            // that does not exist (yet) is kept as written.
            if (next.fromLink) return missing();
            inMissingTail = true;
            resolved.existing = names.size();
            names.push_back(std::move(next.name));
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > MaxLinks) return ERROR_CANT_RESOLVE_FILENAME;
            const std::string target = LinkTarget(here.Get(), next.name);
            if (target.empty()) return missing();
            if (target[0] == '/') {
                here.Reset(open("/", PassFlags));
                if (here.Get() < 0) return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
                names.clear();
            }
            PushNames(target, true, pending);
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            here.Reset(openat(here.Get(), next.name.c_str(), PassFlags));
            if (here.Get() < 0) return ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
        } else {
            lastWasFile = true;
        }
        names.push_back(std::move(next.name));
    }
    if (!inMissingTail) resolved.existing = names.size();
    return ERROR_SUCCESS;
}

} // namespace

bool PosixFileSystem::WindowsPathOf(std::string_view linuxPath, std::string& windowsPath, DWORD* error)
{
    ResolvedPath resolved;
    if (const DWORD failure = ResolveLinuxPath(linuxPath, resolved); failure != ERROR_SUCCESS) {
        *error = failure;
        return false;
    }
    const std::vector<std::string>& names = resolved.names;
    std::string out = "C:";
    // The directory holding the next name. One that can be searched but not
    // listed has no table: its names are taken as written.
    Descriptor directory;
    bool listable = OpenDirectory(AT_FDCWD, "/", directory);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        std::string shown;
        const DirectoryTable* table = nullptr;
        struct stat st {};
        DWORD ignored = ERROR_SUCCESS;
        const bool existingName = i < resolved.existing && fstat(directory.Get(), &st) == 0;
        if (existingName && listable) table = cache_.TableOf(cache_.NodeOf(st), directory.Get(), false, ignored);
        const std::size_t entry = table ? table->FindLinux(name) : DirectoryTable::NotFound;
        if (entry != DirectoryTable::NotFound) {
            shown = (*table)[entry].name;
        } else if (NameAsWritten(name, shown)) {
            if (existingName && !listable) resolver_.Reached(DirectoryCache::IdentityOf(st), name);
        } else {
            // Shown as "?" or the like: only a directory's table could tell
            // which entry it stands for.
            *error = i < resolved.existing   ? ERROR_ACCESS_DENIED
                     : i + 1 == names.size() ? ERROR_FILE_NOT_FOUND
                                             : ERROR_PATH_NOT_FOUND;
            return false;
        }
        out += "\\" + shown;
        if (i + 1 < resolved.existing) listable = OpenDirectory(directory.Get(), name.c_str(), directory);
    }
    if (out == "C:") out += "\\";
    windowsPath = std::move(out);
    return true;
}

BOOL PosixFileSystem::WindowsPathFromSystemPath(std::string_view linuxPath, std::string& windowsPath)
{
    Call call(*this);
    std::string full;
    if (linuxPath.empty() || linuxPath[0] != '/') {
        // As the kernel names the working directory: gone when deleted.
        std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
        if (cwd == nullptr || cwd.get()[0] != '/') return Fail(ERROR_PATH_NOT_FOUND);
        full = cwd.get();
        full += '/';
    }
    full += linuxPath;
    DWORD error = ERROR_SUCCESS;
    if (!WindowsPathOf(full, windowsPath, &error)) return Fail(error);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixFileSystem::SystemPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath)
{
    Call call(*this);
    WindowsPath full;
    Place place;
    const std::string text(windowsPath);
    DWORD error = Parse(text.c_str(), full);
    if (error == ERROR_SUCCESS) error = Resolve(full, place);
    if (error == ERROR_SUCCESS && !place.isRoot && place.entry == DirectoryTable::NotFound)
        error = HasWildcard(place.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND;
    if (error != ERROR_SUCCESS) return Fail(error);
    // The levels the resolution went through, each entered by an entry of
    // the level before it.
    linuxPath = place.drive->mount.mountPoint;
    const auto append = [&linuxPath](std::string_view name) {
        if (linuxPath.empty() || linuxPath.back() != '/') linuxPath += '/';
        linuxPath += name;
    };
    for (std::size_t level = 1; level <= place.level; ++level) append(resolver_.EnteredBy(level).linuxName);
    if (!place.isRoot) append((*place.table)[place.entry].linuxName);
    SetLastError(ERROR_SUCCESS);
    return true;
}

void PosixFileSystem::StartIn(const char* workingDirectory)
{
    Call call(*this);
    std::string windows;
    DWORD error = ERROR_SUCCESS;
    WindowsPath path;
    if (workingDirectory != nullptr && workingDirectory[0] == '/' && WindowsPathOf(workingDirectory, windows, &error) &&
        ParseWindowsPath(windows, current_, path) == ERROR_SUCCESS) {
        current_.Enter(path);
    } else {
        // Deleted, or no name to give it: relative paths cannot start there.
        current_.Forget();
    }
}

BOOL PosixFileSystem::SetCurrentDirectoryA(const char* path)
{
    Call call(*this);
    WindowsPath full;
    Place place;
    DWORD error = Parse(path, full);
    if (error == ERROR_SUCCESS) error = ResolveDirectory(full, place);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (fchdir(place.dirFd) != 0) return Fail(ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND));
    current_.Enter(full);
    SetLastError(ERROR_SUCCESS);
    return true;
}

DWORD PosixFileSystem::GetCurrentDirectoryA(DWORD capacity, char* buffer)
{
    const WindowsPath* current = current_.Current();
    // The process's working directory is the current one: deleted since,
    // it has no name any more.
    struct stat st {};
    const bool deleted = fstatat(AT_FDCWD, "", &st, AT_EMPTY_PATH) == 0 && st.st_nlink == 0;
    if (current == nullptr || deleted) return Fail(ERROR_PATH_NOT_FOUND), 0;
    const std::string text = current->ToText();
    SetLastError(ERROR_SUCCESS);
    if (buffer == nullptr || capacity <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<DWORD>(text.size());
}

DWORD PosixFileSystem::GetModuleFileNameA(char* buffer, DWORD capacity)
{
    std::string path;
    {
        Call call(*this);
        DWORD error = ERROR_SUCCESS;
        if (!WindowsPathOf(executablePath_, path, &error)) {
            path = "C:" + Cp932FromUtf8(executablePath_);
            for (char& c : path) c = c == '/' ? '\\' : c;
        }
    }
    return CopyModuleFileName(path, buffer, capacity);
}

} // namespace kivra::platform::posix

// The current directories, the executable's path, and the meeting of Linux
// paths with Windows paths.

#include "platform/posix/PosixFileSystem.h"

#include "platform/Platform.h"
#include "platform/posix/Errors.h"
#include "platform/posix/NameText.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace kivra::platform::posix {

namespace {

// A name of a Linux path that no directory table shows: its text in 932,
// unless 932 cannot hold it (then it would name another entry, or none).
bool TextOfMissingName(std::string_view linuxName, std::string& shown)
{
    const ShownName name = ShowName(DecodeLinuxName(linuxName));
    shown = name.text;
    return !name.lossy;
}

// The names of a Linux path with "." and ".." applied as written.
std::vector<std::string_view> LinuxNames(std::string_view path)
{
    std::vector<std::string_view> names;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = path.find('/', at);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view name = path.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.push_back(name);
    }
    return names;
}

} // namespace

bool PosixFileSystem::WindowsPathOf(std::string_view linuxPath, std::string& windowsPath, DWORD* error)
{
    const std::vector<std::string_view> names = LinuxNames(linuxPath);
    std::string out = "C:";
    int fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string name(names[i]);
        std::string shown;
        const DirectoryTable* table = nullptr;
        struct stat st {};
        DWORD ignored = ERROR_SUCCESS;
        if (fd >= 0 && fstat(fd, &st) == 0) table = cache_.TableOf(cache_.NodeOf(st), fd, false, ignored);
        const std::size_t entry = table ? table->FindLinux(name) : DirectoryTable::NotFound;
        if (entry != DirectoryTable::NotFound) {
            shown = (*table)[entry].name;
        } else if (!TextOfMissingName(name, shown)) {
            if (fd >= 0) close(fd);
            *error = i + 1 == names.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            return false;
        }
        const int next = fd >= 0 ? openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        if (fd >= 0) close(fd);
        fd = next;
        out += "\\" + shown;
    }
    if (fd >= 0) close(fd);
    if (out == "C:") out += "\\";
    windowsPath = std::move(out);
    return true;
}

BOOL PosixFileSystem::WindowsPathFromLinuxPath(std::string_view linuxPath, std::string& windowsPath)
{
    Call call(*this);
    std::string full;
    if (linuxPath.empty() || linuxPath[0] != '/') {
        char* cwd = get_current_dir_name();
        // A deleted working directory has no name to start from.
        const bool named = cwd != nullptr && cwd[0] == '/';
        if (named) full = cwd;
        free(cwd);
        if (!named) return Fail(ERROR_PATH_NOT_FOUND);
        full += '/';
    }
    full += linuxPath;
    DWORD error = ERROR_SUCCESS;
    if (!WindowsPathOf(full, windowsPath, &error)) return Fail(error);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixFileSystem::LinuxPathFromWindowsPath(std::string_view windowsPath, std::string& linuxPath)
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
    // The levels the resolution went through, each an entry of the table of
    // the level before it.
    linuxPath = place.drive->mount.mountPoint;
    const auto append = [&linuxPath](std::string_view name) {
        if (linuxPath.empty() || linuxPath.back() != '/') linuxPath += '/';
        linuxPath += name;
    };
    for (std::size_t level = 1; level <= place.level; ++level)
        append((*resolver_.Node(level - 1).table)[resolver_.Entry(level)].linuxName);
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
    if (current == nullptr) return Fail(ERROR_PATH_NOT_FOUND), 0;
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

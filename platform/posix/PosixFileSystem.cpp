#include "platform/posix/PosixFileSystem.h"

#include "platform/Platform.h"
#include "platform/posix/DirectoryReader.h"
#include "platform/posix/Errors.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace kivra::platform::posix {

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return false;
}

PosixFileSystem::PosixFileSystem(const std::vector<Drive>& drives, CurrentDirectories& current,
                                 std::string executablePath, const FileSystemLimits& limits)
    : drives_(drives),
      current_(current),
      executablePath_(std::move(executablePath)),
      watch_(limits.watches, limits.idle),
      cache_(watch_),
      resolver_(cache_, limits.descriptors),
      readAhead_(watch_, limits.descriptors),
      readingAhead_(limits.readAhead)
{
    resolver_.OnOutOfDescriptors([this] {
        StopReadingAhead();
        readAhead_.Cancel();
    });
    // A walk gives up a descriptor for each directory it leaves: the
    // read-ahead's worker closes them.
    if (readingAhead_) resolver_.CloseWith([this](int fd) { readAhead_.CloseLater(fd); });
}

PosixFileSystem::~PosixFileSystem()
{
    for (auto& [handle, file] : files_) close(file.fd);
}

PosixFileSystem::Call::Call(PosixFileSystem& files, bool walking) : files_(files)
{
    if (files_.cache_.BeginCall()) {
        files_.resolver_.Reset();
        files_.known_.clear();
        ++files_.generation_;
        files_.StopReadingAhead();
    }
    if (!walking) files_.StopReadingAhead();
    files_.DisposeDroppedWatches();
}

void PosixFileSystem::StopReadingAhead()
{
    if (readAhead_.Idle()) return;
    readAhead_.Cancel();
    DisposeDroppedWatches();
}

void PosixFileSystem::DisposeDroppedWatches()
{
    if (readAhead_.Idle()) return;
    for (const ChangeWatch::Ticket& ticket : readAhead_.DroppedWatches()) cache_.Dispose(ticket);
}

PosixFileSystem::Call::~Call() { files_.cache_.EndCall(); }

DWORD PosixFileSystem::Parse(const char* path, WindowsPath& out) const
{
    if (path == nullptr) return ERROR_INVALID_PARAMETER;
    return ParseWindowsPath(path, current_, out);
}

// The directory holding the path's last name, and that name's entry (not
// found is no failure here: a new file takes the name).
DWORD PosixFileSystem::Resolve(const WindowsPath& path, Place& place)
{
    place = Place{};
    DWORD error = ERROR_SUCCESS;
    place.drive = DriveOfPath(drives_, path, place.consumed, &error);
    if (place.drive == nullptr) return error;
    const std::size_t count = path.names.size();
    const std::string& root = place.drive->mount.mountPoint;
    place.isRoot = count <= place.consumed;
    const std::size_t end = place.isRoot ? place.consumed : count - 1;
    error = resolver_.Walk(root, path.names, place.consumed, end, ERROR_PATH_NOT_FOUND);
    if (error != ERROR_SUCCESS) return error == ERROR_DIRECTORY ? ERROR_PATH_NOT_FOUND : error;
    place.level = resolver_.Depth();
    if (!place.isRoot) {
        place.name = path.names.back();
        place.table = resolver_.TableFor(place.level, place.name, place.exact, error);
        if (place.table == nullptr) return error;
        place.entry = place.table->Find(place.name);
    }
    place.dirFd = resolver_.Descriptor(place.level, &error);
    return place.dirFd < 0 ? error : ERROR_SUCCESS;
}

// The path as a directory: the deepest level afterwards, its descriptor in
// place.dirFd. A missing last name is 2.
DWORD PosixFileSystem::ResolveDirectory(const WindowsPath& path, Place& place)
{
    place = Place{};
    DWORD error = ERROR_SUCCESS;
    place.drive = DriveOfPath(drives_, path, place.consumed, &error);
    if (place.drive == nullptr) return error;
    const std::size_t count = std::max(place.consumed, path.names.size());
    place.isRoot = path.names.size() <= place.consumed;
    error = resolver_.Walk(place.drive->mount.mountPoint, path.names, place.consumed, count, ERROR_FILE_NOT_FOUND);
    if (error != ERROR_SUCCESS) return error;
    place.level = resolver_.Depth();
    place.dirFd = resolver_.Descriptor(place.level, &error);
    return place.dirFd < 0 ? error : ERROR_SUCCESS;
}

// The stat (of a link's target) and Linux name of a resolved path.
DWORD PosixFileSystem::StatPlace(const Place& place, struct stat& st, std::string& linuxName)
{
    if (place.isRoot) {
        linuxName.clear();
        return fstat(place.dirFd, &st) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
    }
    if (place.entry == DirectoryTable::NotFound)
        return HasWildcard(place.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND;
    linuxName = (*place.table)[place.entry].linuxName;
    if (fstatat(place.dirFd, linuxName.c_str(), &st, 0) == 0) return ERROR_SUCCESS;
    // A link that leads nowhere is a file of its own.
    if (fstatat(place.dirFd, linuxName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return ERROR_SUCCESS;
    return ErrorFromErrno(errno);
}

DWORD PosixFileSystem::StatPath(const char* path, Place& place, struct stat& st, std::string& linuxName)
{
    WindowsPath full;
    DWORD error = Parse(path, full);
    if (error == ERROR_SUCCESS) error = Resolve(full, place);
    if (error == ERROR_SUCCESS) error = StatPlace(place, st, linuxName);
    return error;
}

// What a search would report of the place (a drive's root is no reparse point).
DWORD PosixFileSystem::PlaceAttributes(const Place& place, DWORD& attributes)
{
    if (place.isRoot) {
        struct stat st {};
        if (fstat(place.dirFd, &st) != 0) return ErrorFromErrno(errno);
        attributes = AttributesOf(st, {});
        return ERROR_SUCCESS;
    }
    if (place.entry == DirectoryTable::NotFound)
        return HasWildcard(place.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND;
    const std::uint64_t device = resolver_.Node(place.level).id.volume;
    return EntryAttributes(place.dirFd, device, (*place.table)[place.entry], attributes) ? ERROR_SUCCESS
                                                                                         : ERROR_FILE_NOT_FOUND;
}

DWORD PosixFileSystem::GetFileAttributesA(const char* path)
{
    Call call(*this);
    WindowsPath full;
    Place place;
    DWORD error = Parse(path, full);
    if (error == ERROR_SUCCESS) error = Resolve(full, place);
    DWORD attributes = 0;
    if (error == ERROR_SUCCESS) error = PlaceAttributes(place, attributes);
    if (error != ERROR_SUCCESS) return Fail(error), INVALID_FILE_ATTRIBUTES;
    SetLastError(ERROR_SUCCESS);
    return attributes;
}

BOOL PosixFileSystem::SetFileAttributesA(const char* path, DWORD attributes)
{
    Call call(*this);
    Place place;
    struct stat st {};
    std::string linuxName;
    const DWORD error = StatPath(path, place, st, linuxName);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (S_ISLNK(st.st_mode)) return Fail(ERROR_FILE_NOT_FOUND);
    // Read-only is the owner's write bit, both ways. Hidden follows the name
    // alone and cannot be set.
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    const int result = place.isRoot ? fchmod(place.dirFd, mode) : fchmodat(place.dirFd, linuxName.c_str(), mode, 0);
    if (result != 0) return Fail(ErrorFromErrno(errno));
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixFileSystem::GetFileIdentity(const char* path, FileIdentity* identity)
{
    if (identity == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    // A walk asks it between its searches: what was read ahead stays.
    Call call(*this, true);
    if (IdentityOfLastFound(path, *identity)) {
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    Place place;
    struct stat st {};
    std::string linuxName;
    const DWORD error = StatPath(path, place, st, linuxName);
    if (error != ERROR_SUCCESS) return Fail(error);
    *identity = DirectoryCache::IdentityOf(st);
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace kivra::platform::posix

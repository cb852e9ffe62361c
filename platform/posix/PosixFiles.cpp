// Files: creating, writing, reading, moving and removing them.

#include "platform/posix/PosixFileSystem.h"

#include "platform/Platform.h"
#include "platform/posix/Errors.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace kivra::platform::posix {

namespace {

// A name a new file cannot take on Windows.
bool IsInvalidNewName(std::string_view name)
{
    for (std::size_t at = 0; at < name.size(); ++at) {
        const auto byte = static_cast<unsigned char>(name[at]);
        if (IsDBCSLeadByte(byte) && at + 1 < name.size()) {
            ++at;
            continue;
        }
        if (byte < 0x20 || std::strchr("<>:\"|?*", byte) != nullptr) return true;
    }
    return name.empty();
}

// A file just made keeps its owner's write bit, unless it is asked to be
// read-only, whatever the process's file mask: a mask that takes the bit
// away would leave files that the program's next run cannot replace. Set
// through the descriptor, as the name may lead elsewhere by now. A file
// system without modes keeps what it has.
void GiveNewFileItsWriteBit(int fd, DWORD attributes)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) return;
    const mode_t mode = st.st_mode & 07777;
    const mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    if (wanted != mode) fchmod(fd, wanted);
}

// A probe of another call, in this process or another, holds its lock for
// an instant: a lock still held after these waits is an opener's.
constexpr int ProbeTries = 8;
constexpr long FirstProbeWaitNanoseconds = 100'000;

} // namespace

// A write lands on the entry its name spells exactly, never on one that
// only differs from it in letter case: on Linux the two are files of their
// own. The entry for the place's name, or NotFound when the name is new.
std::size_t PosixFileSystem::SpelledEntry(const Place& place)
{
    if (place.entry == DirectoryTable::NotFound) return DirectoryTable::NotFound;
    const std::size_t spelled = place.table->FindSpelled(place.name);
    if (spelled != DirectoryTable::NotFound) return spelled;
    // The entry of that very Linux name shows it with a number when a case
    // variant comes first.
    return place.table->FindLinux(Utf8FromCp932(place.name));
}

// 32 when another open file description holds a lock on the entry. A link
// is no file held open: it is never followed (its target is not opened).
DWORD PosixFileSystem::HeldOpenElsewhere(int dirFd, const std::string& linuxName)
{
    const int probe = openat(dirFd, linuxName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (probe < 0) return ERROR_SUCCESS;
    bool locked = false;
    long wait = FirstProbeWaitNanoseconds;
    for (int attempt = 1;; ++attempt, wait *= 2) {
        locked = flock(probe, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (!locked || attempt == ProbeTries) break;
        const timespec pause{0, wait};
        nanosleep(&pause, nullptr);
    }
    close(probe);
    return locked ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

HANDLE PosixFileSystem::CreateFileA(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                                    DWORD attributes)
{
    Call call(*this);
    WindowsPath location;
    if (const DWORD error = Parse(path, location); error != ERROR_SUCCESS) return Fail(error), INVALID_HANDLE_VALUE;
    if (disposition != CREATE_ALWAYS && disposition != CREATE_NEW && disposition != OPEN_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    Place target;
    if (const DWORD error = Resolve(location, target); error != ERROR_SUCCESS) return Fail(error), INVALID_HANDLE_VALUE;
    if (target.isRoot) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if (disposition != OPEN_EXISTING) target.entry = SpelledEntry(target);

    const bool write = (access & GENERIC_WRITE) != 0;
    const bool read = (access & GENERIC_READ) != 0;
    std::string linuxName;
    const bool exists = target.entry != DirectoryTable::NotFound;
    if (exists) {
        // A name taken by anything at all is refused to a new file before
        // anything else is asked of the entry.
        if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS), INVALID_HANDLE_VALUE;
        linuxName = (*target.table)[target.entry].linuxName;
        struct stat st {};
        if (fstatat(target.dirFd, linuxName.c_str(), &st, 0) == 0) {
            if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
            if (write && (st.st_mode & S_IWUSR) == 0) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
        }
    } else {
        if (disposition == OPEN_EXISTING)
            return Fail(HasWildcard(target.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        if (IsInvalidNewName(target.name)) return Fail(ERROR_INVALID_NAME), INVALID_HANDLE_VALUE;
        linuxName = Utf8FromCp932(target.name);
    }

    const int flags = O_CLOEXEC | O_NOCTTY | (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
    // A name that is new is made exclusively, so that the file known to be
    // made here is the one whose mode is set.
    const bool make = disposition != OPEN_EXISTING && !exists;
    const int creation = make ? O_CREAT | O_EXCL : disposition == CREATE_ALWAYS ? O_CREAT : 0;
    int fd = openat(target.dirFd, linuxName.c_str(), flags | creation, 0666);
    const bool made = make && fd >= 0;
    // Made by someone else since the directory was read: replaced as any.
    if (fd < 0 && errno == EEXIST && disposition == CREATE_ALWAYS)
        fd = openat(target.dirFd, linuxName.c_str(), flags | O_CREAT, 0666);
    if (fd < 0) {
        const int error = errno;
        return Fail(error == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(error)), INVALID_HANDLE_VALUE;
    }
    if (made) GiveNewFileItsWriteBit(fd, attributes);
    // No sharing: no other opener may hold the file, in this process or
    // another that locks as we do; the truncation waits until we hold it.
    if (flock(fd, (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return Fail(error == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ErrorFromErrno(error)), INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_ALWAYS && ftruncate(fd, 0) != 0) {
        const int error = errno;
        close(fd);
        return Fail(ErrorFromErrno(error)), INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = NewHandle();
    files_.emplace(handle, OpenFile{fd, read, write});
    SetLastError(disposition == CREATE_ALWAYS && !made ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL PosixFileSystem::WriteFile(HANDLE handle, const void* data, DWORD size, DWORD* written)
{
    const auto found = files_.find(handle);
    if (found == files_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (written) *written = 0;
    if (!found->second.write) return Fail(ERROR_ACCESS_DENIED);
    if (data == nullptr && size > 0) return Fail(ERROR_INVALID_PARAMETER);
    const auto* bytes = static_cast<const char*>(data);
    DWORD done = 0;
    while (done < size) {
        const ssize_t result = write(found->second.fd, bytes + done, size - done);
        if (result < 0) {
            if (errno == EINTR) continue;
            if (written) *written = done;
            return Fail(ErrorFromErrno(errno));
        }
        if (result == 0) {
            if (written) *written = done;
            return Fail(ERROR_DISK_FULL);
        }
        done += static_cast<DWORD>(result);
    }
    if (written) *written = done;
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixFileSystem::ReadFile(HANDLE handle, void* buffer, DWORD size, DWORD* read)
{
    const auto found = files_.find(handle);
    if (found == files_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (read) *read = 0;
    if (!found->second.read) return Fail(ERROR_ACCESS_DENIED);
    if (buffer == nullptr && size > 0) return Fail(ERROR_INVALID_PARAMETER);
    ssize_t result = 0;
    do {
        result = ::read(found->second.fd, buffer, size);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return Fail(ErrorFromErrno(errno));
    if (read) *read = static_cast<DWORD>(result);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixFileSystem::CloseHandle(HANDLE handle)
{
    const auto found = files_.find(handle);
    if (found == files_.end()) return Fail(ERROR_INVALID_HANDLE);
    const int fd = found->second.fd;
    files_.erase(found);
    // A file system that writes later (NFS) reports a failed write here.
    if (close(fd) != 0) return Fail(ErrorFromErrno(errno));
    return true;
}

// The checks of a move to `to` and the rename itself; the source is
// resolved already (its directory open on `sourceDir`, as the resolution of
// the target may close the source's).
DWORD PosixFileSystem::MoveChecked(const std::string& sourceName, const struct stat& sourceStat, const WindowsPath& to,
                                   DWORD flags, int sourceDir)
{
    Place destination;
    if (const DWORD error = Resolve(to, destination); error != ERROR_SUCCESS) return error;
    if (destination.isRoot) return ERROR_ACCESS_DENIED;
    destination.entry = SpelledEntry(destination);
    std::string destinationName;
    if (destination.entry == DirectoryTable::NotFound) {
        if (IsInvalidNewName(destination.name)) return ERROR_INVALID_NAME;
        destinationName = Utf8FromCp932(destination.name);
    } else {
        destinationName = (*destination.table)[destination.entry].linuxName;
        struct stat st {};
        if (fstatat(destination.dirFd, destinationName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (st.st_dev == sourceStat.st_dev && st.st_ino == sourceStat.st_ino) {
                // A new spelling of the same name: it is that name already.
                if (destinationName == sourceName) return ERROR_SUCCESS;
            } else if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
                return ERROR_ALREADY_EXISTS;
            } else if (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0) {
                return ERROR_ACCESS_DENIED;
            } else if (const DWORD held = HeldOpenElsewhere(destination.dirFd, destinationName); held != 0) {
                return held;
            }
        }
    }
    if (renameat(sourceDir, sourceName.c_str(), destination.dirFd, destinationName.c_str()) != 0)
        return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

BOOL PosixFileSystem::MoveFileExA(const char* existing, const char* target, DWORD flags)
{
    Call call(*this);
    WindowsPath from;
    WindowsPath to;
    Place source;
    DWORD error = Parse(existing, from);
    if (error == ERROR_SUCCESS) error = Parse(target, to);
    if (error == ERROR_SUCCESS) error = Resolve(from, source);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (source.isRoot) return Fail(ERROR_ACCESS_DENIED);
    if (source.entry == DirectoryTable::NotFound)
        return Fail(HasWildcard(source.name) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND);
    const std::string sourceName = (*source.table)[source.entry].linuxName;
    struct stat sourceStat {};
    if (fstatat(source.dirFd, sourceName.c_str(), &sourceStat, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(ErrorFromErrno(errno));
    const int sourceDir = openat(source.dirFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (sourceDir < 0) return Fail(ErrorFromErrno(errno));
    error = MoveChecked(sourceName, sourceStat, to, flags, sourceDir);
    close(sourceDir);
    if (error != ERROR_SUCCESS) return Fail(error);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL PosixFileSystem::DeleteFileA(const char* path)
{
    Call call(*this);
    Place target;
    struct stat st {};
    std::string linuxName;
    const DWORD error = StatPath(path, target, st, linuxName);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (target.isRoot || S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0))
        return Fail(ERROR_ACCESS_DENIED);
    if (const DWORD held = HeldOpenElsewhere(target.dirFd, linuxName); held != ERROR_SUCCESS) return Fail(held);
    if (unlinkat(target.dirFd, linuxName.c_str(), 0) != 0) return Fail(ErrorFromErrno(errno));
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace kivra::platform::posix

#include "platform/posix/Errors.h"

#include <errno.h>
#include <sys/stat.h>

namespace kivra::platform::posix {

namespace {
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
} // namespace

DWORD ErrorFromErrno(int error, DWORD notFound)
{
    switch (error) {
    case ENOENT: return notFound;
    case ENOTDIR:
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    // Past the process's file-size limit (SIGXFSZ ignored) or the file
    // system's largest file.
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_NAME;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return ERROR_NOT_READY;
    default: return ERROR_WRITE_FAULT;
    }
}

bool OutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

DWORD AttributesOf(const struct stat& st, std::string_view linuxName)
{
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!linuxName.empty() && linuxName[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

} // namespace kivra::platform::posix

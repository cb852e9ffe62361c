#include "platform/posix/DirectoryReader.h"

#include "platform/posix/Errors.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace kivra::platform::posix {

namespace {

// The bytes of the kernel's directory records, kept per thread.
std::vector<char>& RecordBuffer()
{
    thread_local std::vector<char> buffer(65536);
    return buffer;
}

FileIdentity IdentityOf(const struct statx& st)
{
    return FileIdentity{static_cast<std::uint64_t>(makedev(st.stx_dev_major, st.stx_dev_minor)), st.stx_ino};
}

} // namespace

std::shared_ptr<const DirectoryTable> ReadDirectoryTable(int fd, bool rewind, DWORD* error)
{
    std::vector<std::string> names;
    std::vector<unsigned char> kinds;
    std::vector<char>& buffer = RecordBuffer();
    if (rewind && lseek(fd, 0, SEEK_SET) != 0) {
        *error = ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    for (;;) {
        const ssize_t length = getdents64(fd, buffer.data(), buffer.size());
        if (length < 0) {
            if (errno == EINTR) continue;
            *error = ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
            return nullptr;
        }
        if (length == 0) break;
        for (ssize_t at = 0; at < length;) {
            // d_reclen, d_type and the name, read without assuming the
            // buffer holds aligned records.
            const char* record = buffer.data() + at;
            unsigned short recordLength = 0;
            std::memcpy(&recordLength, record + offsetof(dirent64, d_reclen), sizeof recordLength);
            const char* name = record + offsetof(dirent64, d_name);
            at += recordLength;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            names.emplace_back(name);
            kinds.push_back(static_cast<unsigned char>(record[offsetof(dirent64, d_type)]));
        }
    }
    return std::make_shared<const DirectoryTable>(std::move(names), kinds);
}

bool EntryAttributes(int fd, std::uint64_t device, const TableEntry& entry, DWORD& attributes, FileIdentity* identity)
{
    struct statx st {};
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_INO;
    if (statx(fd, entry.linuxName.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false; // gone since the directory was read
        // Listed but not examined: the kind the listing gave.
        attributes = entry.kind == DT_DIR ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        if (!entry.linuxName.empty() && entry.linuxName.data()[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
        return true;
    }
    DWORD reparse = 0;
    if (S_ISLNK(st.stx_mode)) {
        struct statx target {};
        if (statx(fd, entry.linuxName.c_str(), AT_NO_AUTOMOUNT, mask, &target) == 0) {
            if (S_ISDIR(target.stx_mode)) reparse = FILE_ATTRIBUTE_REPARSE_POINT;
            st = target;
        }
    } else if (S_ISDIR(st.stx_mode)) {
        const bool mountRoot = (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
                                   ? (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0
                                   : IdentityOf(st).volume != device;
        if (mountRoot) reparse = FILE_ATTRIBUTE_REPARSE_POINT;
    }
    struct stat plain {};
    plain.st_mode = st.stx_mode;
    attributes = AttributesOf(plain, entry.linuxName) | reparse;
    if (identity) *identity = IdentityOf(st);
    return true;
}

} // namespace kivra::platform::posix

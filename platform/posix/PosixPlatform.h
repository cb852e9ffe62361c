#pragma once
// The platform for Linux: Windows calls over POSIX and the Linux mount table.
//
// Drive letters come from a mount table: C: is "/", D: to Z: the other mounts
// that hold a user's files, in order of mount-point path. Paths are resolved
// name by name from directory descriptors, without regard to case, through
// per-directory tables that also hold the 8.3 aliases.
//
// Tests build their own instance from inputs of their own:
//
//     PosixSources sources;
//     sources.mountTable = "/dev/sdb1 /media/usb vfat rw 0 0\n"
//                          "server:/export /mnt/nfs nfs4 rw 0 0\n";
//     sources.byLabelDirectory = temp + "/by-label";  // links named by label
//     sources.sysfsRoot = temp + "/sys";              // class/block/<dev>/removable
//     PosixPlatform posix(sources);
//     ScopedPlatform scoped(posix.Interfaces());
//
// Every member left at its default reads the running system.

#include "platform/Platform.h"

#include <memory>
#include <optional>
#include <string>

namespace kivra::platform {

struct PosixSources {
    // Text in the format of /proc/self/mounts; when empty, mountTablePath is
    // read. Lines that cannot be read as a mount are ignored.
    std::optional<std::string> mountTable;
    std::string mountTablePath = "/proc/self/mounts";
    // Directory of links named by volume label (with \xNN escapes), each
    // leading to a block device.
    std::string byLabelDirectory = "/dev/disk/by-label";
    // Root of sysfs: a device's removable flag is class/block/<name>/removable
    // (for a partition, the one of the disk it lies on).
    std::string sysfsRoot = "/sys";
    // The executable GetModuleFileNameA reports (a Linux path); when empty,
    // /proc/self/exe.
    std::string executablePath;
    // Directories are watched for changes (inotify) so that their tables
    // need no look; false: every table is checked by its directory's times.
    bool watchChanges = true;
    // The most directories watched for changes at once; 0: a quarter of the
    // user's inotify allowance (fs.inotify.max_user_watches), between 1,024
    // and 65,536.
    std::size_t watchLimit = 0;
    // Every watch is given back after this long without a call.
    unsigned idleMilliseconds = 3000;
    // A walk's next directories are read ahead on a thread of their own
    // (opened, watched, read and their entries examined), so that the walk
    // uses two processors; false: every directory is read by the call that
    // searches it.
    bool readAhead = true;
};

// One complete Linux platform: file system, drive table and clock sharing one
// drive table and one set of per-drive current directories. It also keeps the
// process's working directory in step with the current directory.
// SystemPlatform() (Platform.h) is the one for the running system.
class PosixPlatform {
public:
    explicit PosixPlatform(const PosixSources& sources = {});
    ~PosixPlatform();
    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    // The three interfaces, valid for this object's lifetime.
    Platform Interfaces() const;

    // How many directories walks have found read ahead so far.
    std::size_t DirectoriesReadAhead() const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace kivra::platform

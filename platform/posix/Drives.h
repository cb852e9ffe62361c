#pragma once
// The drive table: drive letters over the Linux mount table.

#include "platform/WindowsPath.h"

#include <string>
#include <string_view>
#include <vector>

namespace kivra::platform::posix {

struct Mount {
    std::string source;     // device, network source or file-system name
    std::string mountPoint; // absolute Linux path
    std::string type;       // file-system type
};

// The mounts of a text in the format of /proc/self/mounts, octal escapes
// (\040 …) decoded, in the text's order. Lines without three fields are
// skipped.
std::vector<Mount> ParseMountTable(std::string_view text);

// Mounts that hold no files of a user: pseudo file systems, and everything
// under /proc, /sys, /dev and /run except /run/media.
bool HoldsUserFiles(const Mount& mount);

struct DriveSources {
    std::string byLabelDirectory;
    std::string sysfsRoot;
};

// 2 removable, 3 fixed, 4 remote, 5 CD-ROM, 6 RAM disk.
UINT DriveTypeOf(const Mount& mount, const DriveSources& sources);

// The network path of a remote mount's source ("//host/share/dir" and
// "host:/export/dir" give \\host\share\dir and \\host\export\dir), UTF-8;
// empty when the source has neither form.
std::string NetworkPathOf(const Mount& mount);

// The volume label (UTF-8) whose by-label link leads to the mount's source
// device, \xNN escapes decoded; empty when there is none.
std::string VolumeLabelOf(const Mount& mount, const DriveSources& sources);

struct Drive {
    char letter = 0; // 'C' … 'Z'
    Mount mount;
    UINT type = DRIVE_FIXED;
    std::string label;       // 932
    std::string networkPath; // 932, remote drives only
};

// C: is "/" (fixed, its own mount's label); D: to Z: go to the other mounts
// that hold user files, in order of mount-point path (a mount point mounted
// over again counts once, with its last mount). `usable` rejects a mount
// point that cannot be a drive's root (such as a file bind-mounted over a
// file). Mounts beyond Z: get no letter.
std::vector<Drive> AssignDrives(const std::vector<Mount>& mounts, const DriveSources& sources,
                                bool (*usable)(const std::string& mountPoint));

// The drive a full path starts from, and how many of its names the drive's
// root covers (a network mount may stand for a directory of a share: the
// longest network path that begins the path wins, compared without regard
// to case). Null with *error 3 for a letter without a drive, 53 for a
// network path no drive has.
const Drive* DriveOfPath(const std::vector<Drive>& drives, const WindowsPath& path, std::size_t& consumed,
                         DWORD* error);

} // namespace kivra::platform::posix

#include "platform/posix/PosixVolumes.h"

#include "platform/Platform.h"

#include <sys/stat.h>

#include <cstring>
#include <ctime>

namespace kivra::platform::posix {

namespace {

BOOL Failed(DWORD code)
{
    SetLastError(code);
    return false;
}

} // namespace

DWORD PosixVolumes::GetLogicalDrives()
{
    DWORD mask = 0;
    for (const Drive& drive : drives_) mask |= 1u << (drive.letter - 'A');
    return mask;
}

const Drive* PosixVolumes::DriveOfRoot(const char* root, DWORD* error) const
{
    std::string text;
    if (root != nullptr) {
        text = root;
    } else if (const WindowsPath* current = current_.Current()) {
        text = current->driveText + "\\";
    } else {
        *error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    const PathText split = SplitPathText(text);
    const bool driveRoot = split.kind == PathStartKind::Drive && text.size() == 3;
    const bool shareRoot = split.kind == PathStartKind::Network && split.pieces.size() == 1 && !split.share.empty();
    if (!driveRoot && !shareRoot) {
        *error = ERROR_INVALID_NAME;
        return nullptr;
    }
    WindowsPath path;
    if (const DWORD parsed = ParseWindowsPath(text, current_, path); parsed != ERROR_SUCCESS) {
        *error = parsed;
        return nullptr;
    }
    std::size_t consumed = 0;
    return DriveOfPath(drives_, path, consumed, error);
}

UINT PosixVolumes::GetDriveTypeA(const char* root)
{
    DWORD error = ERROR_SUCCESS;
    const Drive* drive = DriveOfRoot(root, &error);
    return drive ? drive->type : DRIVE_NO_ROOT_DIR;
}

BOOL PosixVolumes::GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                                         DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                                         DWORD fileSystemNameSize)
{
    DWORD error = ERROR_SUCCESS;
    const Drive* drive = DriveOfRoot(root, &error);
    if (drive == nullptr) return Failed(error);
    struct stat st {};
    if (stat(drive->mount.mountPoint.c_str(), &st) != 0) return Failed(ERROR_NOT_READY);
    const std::string label = drive->type == DRIVE_REMOTE ? std::string() : drive->label;
    const std::string type = drive->mount.type.empty() ? std::string("unknown") : drive->mount.type;
    if ((volumeName && volumeNameSize <= label.size()) || (fileSystemName && fileSystemNameSize <= type.size()))
        return Failed(ERROR_INSUFFICIENT_BUFFER);
    if (volumeName) std::memcpy(volumeName, label.c_str(), label.size() + 1);
    if (fileSystemName) std::memcpy(fileSystemName, type.c_str(), type.size() + 1);
    const auto device = static_cast<std::uint64_t>(st.st_dev);
    if (serialNumber) *serialNumber = static_cast<DWORD>(device ^ (device >> 32));
    if (maxComponentLength) *maxComponentLength = 255;
    if (fileSystemFlags) *fileSystemFlags = FS_CASE_IS_PRESERVED | FS_UNICODE_STORED_ON_DISK;
    SetLastError(ERROR_SUCCESS);
    return true;
}

DWORD PosixVolumes::WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length)
{
    if (localName == nullptr || length == nullptr) return ERROR_INVALID_PARAMETER;
    const std::string_view name(localName);
    if (name.size() != 2 || DriveLetterOf(name) == 0) return ERROR_NOT_CONNECTED;
    const Drive* drive = nullptr;
    for (const Drive& candidate : drives_)
        if (candidate.letter == DriveLetterOf(name)) drive = &candidate;
    if (!drive || drive->type != DRIVE_REMOTE || drive->networkPath.empty()) return ERROR_NOT_CONNECTED;
    const std::string& network = drive->networkPath;
    if (remoteName == nullptr || *length <= network.size()) {
        *length = static_cast<DWORD>(network.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(remoteName, network.c_str(), network.size() + 1);
    return ERROR_SUCCESS;
}

UINT PosixVolumes::SetErrorMode(UINT mode)
{
    const UINT previous = errorMode_;
    errorMode_ = mode;
    return previous;
}

DWORD PosixClock::GetTickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t milliseconds =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);
}

} // namespace kivra::platform::posix

#pragma once
// The drive and volume calls over the drive table, and the tick counter.

#include "platform/Clock.h"
#include "platform/Volumes.h"
#include "platform/WindowsPath.h"
#include "platform/posix/Drives.h"

#include <vector>

namespace kivra::platform::posix {

class PosixVolumes final : public Volumes {
public:
    PosixVolumes(const std::vector<Drive>& drives, const CurrentDirectories& current)
        : drives_(drives),
          current_(current)
    {}

    DWORD GetLogicalDrives() override;
    UINT GetDriveTypeA(const char* root) override;
    BOOL GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                               DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                               DWORD fileSystemNameSize) override;
    DWORD WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length) override;
    UINT SetErrorMode(UINT mode) override;

private:
    // The drive a root text ("X:\" or "\\host\share\") names; null with
    // *error set otherwise.
    const Drive* DriveOfRoot(const char* root, DWORD* error) const;

    const std::vector<Drive>& drives_;
    const CurrentDirectories& current_;
    UINT errorMode_ = 0;
};

class PosixClock final : public Clock {
public:
    DWORD GetTickCount() override;
};

} // namespace kivra::platform::posix

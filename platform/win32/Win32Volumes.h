#pragma once
// Drives, volumes and network connections over Windows' wide calls; the
// tick counter.

#include "platform/Clock.h"
#include "platform/Volumes.h"

namespace kivra::platform::win32 {

class Win32Volumes : public Volumes {
public:
    DWORD GetLogicalDrives() override;
    UINT GetDriveTypeA(const char* root) override;
    BOOL GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                               DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                               DWORD fileSystemNameSize) override;
    DWORD WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length) override;
    UINT SetErrorMode(UINT mode) override;
};

class Win32Clock : public Clock {
public:
    DWORD GetTickCount() override;
};

} // namespace kivra::platform::win32

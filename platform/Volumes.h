#pragma once
// Drives and volumes: the kernel32 and mpr calls the program makes.

#include "platform/Win32.h"

namespace kivra::platform {

class Volumes {
public:
    virtual ~Volumes() = default;

    // Bit i set: drive letter 'A' + i exists.
    virtual DWORD GetLogicalDrives() = 0;
    // root is "X:\" (a network path root works too).
    virtual UINT GetDriveTypeA(const char* root) = 0;
    virtual BOOL GetVolumeInformationA(const char* root, char* volumeName, DWORD volumeNameSize, DWORD* serialNumber,
                                       DWORD* maxComponentLength, DWORD* fileSystemFlags, char* fileSystemName,
                                       DWORD fileSystemNameSize) = 0;
    // localName is "X:". Returns ERROR_SUCCESS or a Windows error code
    // (ERROR_MORE_DATA with *length set to the size needed).
    virtual DWORD WNetGetConnectionA(const char* localName, char* remoteName, DWORD* length) = 0;
    // Stores the new mode and returns the previous one.
    virtual UINT SetErrorMode(UINT mode) = 0;
};

} // namespace kivra::platform

#pragma once
// The platform for Windows: every call handed to Windows itself through its
// wide (W) calls, names converted with Windows' own code page 932. The
// volume decides the order of a search, the short forms and the attributes;
// nothing is emulated. Only a name that 932 cannot hold needs the platform:
// it is shown with "?" and turned back into the real name through its
// directory (Win32Names.h).
//
// SystemPlatform() (SystemPlatform.h) is the one for the running system;
// tests may make their own.

#include "platform/Platform.h"

#include <memory>

namespace kivra::platform {

class Win32Platform {
public:
    Win32Platform();
    ~Win32Platform();
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // The three interfaces, valid for this object's lifetime.
    Platform Interfaces() const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace kivra::platform

#pragma once
// The platform of the system the program runs on. Only the programs link it
// (the library kivra_system, one per system: platform/posix on Linux,
// platform/win32 on Windows); the layers below them and their tests never
// need it.
//
//     int main()
//     {
//         const ScopedPlatform system(SystemPlatform());
//         ...

#include "platform/Platform.h"

namespace kivra::platform {

// Created on first use and kept for the life of the process.
Platform SystemPlatform();

} // namespace kivra::platform

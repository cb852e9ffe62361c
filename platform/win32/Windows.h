#pragma once
// <windows.h> for the back-end's sources, included after the platform's
// headers: Windows defines as macros many names that the platform declares
// as constants of its own (INVALID_HANDLE_VALUE, MAX_PATH, ERROR_*, ...), so
// the platform's headers must be read first, and the constants a back-end
// needs under the macros' names are taken here, before the macros exist.
// Windows' types are then named with "::" (::DWORD, ::HANDLE), the
// platform's without.

#include "platform/Win32.h"

namespace kivra::platform::win32 {
inline constexpr HANDLE InvalidHandle = INVALID_HANDLE_VALUE;
inline constexpr DWORD InvalidAttributes = INVALID_FILE_ATTRIBUTES;
} // namespace kivra::platform::win32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kivra::platform::win32 {
// INVALID_HANDLE_VALUE as Windows' own handle (the macro's "HANDLE" would be
// the platform's inside its namespace).
inline const ::HANDLE NoSystemHandle = reinterpret_cast<::HANDLE>(static_cast<::LONG_PTR>(-1));
} // namespace kivra::platform::win32

#pragma once
// The Windows types, constants and error codes that the program uses, with
// their Windows values. Texts are bytes in code page 932.

#include <cstdint>

namespace kivra::platform {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = bool;
using HANDLE = std::intptr_t;

inline constexpr HANDLE INVALID_HANDLE_VALUE = -1;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD MAX_PATH = 260;

// Attribute words.
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
inline constexpr DWORD FILE_ATTRIBUTE_VOLUME_LABEL = 0x08;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
// A directory link or a mounted folder.
inline constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

// GetLastError codes.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_NO_MORE_FILES = 18;
inline constexpr DWORD ERROR_WRITE_PROTECT = 19;
inline constexpr DWORD ERROR_NOT_READY = 21;
inline constexpr DWORD ERROR_WRITE_FAULT = 29;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_BAD_NETPATH = 53;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_DIRECTORY = 267;
// The volume for a file has been externally altered: a directory a walk
// goes down into is no longer the one its parent's search reported.
inline constexpr DWORD ERROR_FILE_INVALID = 1006;
// A name holds a character that code page 932 cannot: on Windows, where the
// volume keeps no short form of it, the path has none the program can use.
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
inline constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;
inline constexpr DWORD ERROR_NOT_CONNECTED = 2250;

// Drive types (GetDriveTypeA).
inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

// File-system flags (GetVolumeInformationA).
inline constexpr DWORD FS_CASE_SENSITIVE = 0x01;
inline constexpr DWORD FS_CASE_IS_PRESERVED = 0x02;
inline constexpr DWORD FS_UNICODE_STORED_ON_DISK = 0x04;

// Error modes (SetErrorMode).
inline constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;

// CreateFileA.
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_SHARE_READ = 0x01;

// MoveFileExA.
inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x01;

// CompareStringA.
inline constexpr DWORD LOCALE_USER_DEFAULT = 0x0400;
inline constexpr DWORD NORM_IGNORECASE = 0x00000001;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

// One entry of a directory search. The name field holds up to 259 bytes and
// a terminating zero, the alternate (short) name up to 13 and a zero.
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes = 0;
    char cFileName[MAX_PATH] = {};
    char cAlternateFileName[14] = {};
};

// The identity of a file or directory: which volume it lies on and which file
// it is there (GetFileInformationByHandle's volume serial and file index).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

} // namespace kivra::platform

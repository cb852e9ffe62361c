#pragma once
// Emptying a folder of a Windows test through Windows' own calls: read-only
// files and, given in the "\\?\" form, paths beyond MAX_PATH included.

#include "platform/win32/Windows.h"

#include <string>

namespace kivra::test {

inline void EmptyFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    const ::HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (search == platform::win32::NoSystemHandle) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = folder + L"\\" + name;
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyFolder(child);
            RemoveDirectoryW(child.c_str());
        } else {
            DeleteFileW(child.c_str());
        }
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
}

} // namespace kivra::test

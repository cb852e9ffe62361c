#pragma once
// Names between Windows and the program: a Windows name is UTF-16, the
// program's is code page 932. A name with a character 932 cannot hold is
// shown with "?" for it, and since "?" is never part of a Windows name, such
// a shown name is turned back into the real one through its directory.

#include "platform/CodePage.h"

#include <string>
#include <string_view>
#include <vector>

namespace kivra::platform::win32 {

// One directory entry as a search reports it.
struct FoundEntry {
    std::wstring name;
    std::wstring shortName;
    DWORD attributes = 0;
};

// The names the program sees for the entries of one directory, in their
// order: each name in 932, unique without regard to case. Where several
// entries would show names equal without regard to case (names 932 cannot
// hold, or names in a directory that tells case apart), the first keeps its
// name and each later one shows "~" and the smallest number from 2 that no
// other shown name takes.
std::vector<Text> ShownNames(const std::vector<FoundEntry>& entries);

// Every entry of a directory (given in UTF-16, without a final separator)
// that matches `pattern`, in the volume's order; false with the Windows
// error code in *error when the directory cannot be searched.
bool ReadDirectory(const std::wstring& directory, std::wstring_view pattern, std::vector<FoundEntry>& entries,
                   DWORD* error);

// The path Windows is to be given for a path of the program: UTF-16, every
// name shown with "?" or numbered by ShownNames replaced by the real name
// its directory shows it for,
// and the "\\?\" form where the path is too long for the plain one. False
// with error 2 (3 where names follow) when a shown name leads nowhere. The
// last name is left as it is when it is a search pattern.
bool WindowsPathOf(std::string_view path, std::wstring& wide, DWORD* error, bool lastIsPattern = false);

// `found`, an answer of Windows for the path `given` with as many names,
// with each name that equals the given one without regard to case spelled
// as given: GetShortPathName copies a name that is already a legal 8.3 name
// as it was written, as Windows documents it (Wine gives the directory's
// spelling instead).
std::wstring WithGivenSpelling(const std::wstring& given, const std::wstring& found);

// The path with each name spelled as its directory holds it (its case, the
// long name for an alias), where a search finds it; a name it does not find
// stays as given. A name is looked up by its own path, never as a pattern:
// the path holds no "?" or "*".
std::wstring StoredPath(const std::wstring& path);

// The program's path for a Windows path: each name as its directory shows
// it, a name that does not exist in the program's 932 text; without the
// "\\?\" prefix.
Text ProgramPathOf(const std::wstring& wide);

// The full path Windows makes of a path (relative to the current directory
// of its drive); the path itself where it makes none.
std::wstring FullPath(const std::wstring& path);
// The path without the "\\?\" (or "\\?\UNC\") that long paths are given
// to Windows with.
std::wstring WithoutLongPrefix(const std::wstring& path);
// Two names equal without regard to case, as the file system compares them.
bool SameName(std::wstring_view a, std::wstring_view b);

// Program text (932) and UTF-16.
std::wstring WideFromText(std::string_view text);
Text TextFromWide(std::wstring_view wide);
// True when every character of `wide` has a code in 932.
bool HoldableIn932(std::wstring_view wide);

} // namespace kivra::platform::win32

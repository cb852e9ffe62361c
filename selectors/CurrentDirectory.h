#pragma once
// The process's current directory, read and changed through the platform
// layer as the selectors need it.

#include "platform/CodePage.h"

namespace kivra::selectors {

// The current directory as the system reports it, of any length.
platform::Text CurrentDirectory();

// SetCurrentDirectoryA; a failure raises EInOutError with the code it
// recorded.
void MakeCurrent(const platform::Text& path);

// ASCII-only upper-case form of one character (a-z to A-Z).
inline char UpperAsciiChar(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch; }

} // namespace kivra::selectors

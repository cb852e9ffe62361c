#pragma once
// UTF-8 and UTF-16 as Windows converts them: the system's paths, the
// arguments and the console's text on Windows. Part of kivra_process, which
// the console needs and every other library links. Free of <windows.h>, so
// that the program's own sources can use it.

#include <string>
#include <string_view>

namespace kivra::platform::win32 {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

} // namespace kivra::platform::win32

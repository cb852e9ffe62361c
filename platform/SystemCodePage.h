#pragma once
// What code page 932 takes from the system the program runs on: the reading
// of each character, the simple case mapping and the user's collation.
// CodePage.cpp builds its tables and its answers on these; platform/posix
// gives them from the C library's iconv and ICU, platform/win32 from Windows.

#include <optional>
#include <string>
#include <string_view>

namespace kivra::platform::system {

// The UTF-16 reading of one complete 932 character (one byte, or a lead byte
// and its second byte); empty when the bytes are no character.
std::u16string ReadCp932(std::string_view character);
// The bytes of the 932 code of one UTF-16 unit; empty when 932 has none.
std::string WriteCp932(char16_t unit);

// The simple one-to-one case mapping of one UTF-16 unit.
char16_t UpperUnit(char16_t unit);
char16_t LowerUnit(char16_t unit);

// The order of two texts by the user's collation: below, at or above zero;
// nothing when the system cannot compare them.
std::optional<int> Collate(std::u16string_view a, std::u16string_view b, bool ignoreCase);

} // namespace kivra::platform::system

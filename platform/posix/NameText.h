#pragma once
// Linux names seen as Windows names: their UTF-16 form, the NT case mapping
// on code units, and their form in code page 932.

#include <cstdint>
#include <string>
#include <string_view>

namespace kivra::platform::posix {

// UTF-16 form of a Linux name. A byte that is not part of valid UTF-8 becomes
// the lone low surrogate 0xDC00 + byte, so every name has a distinct form and
// sorts the same way on every machine.
std::u16string DecodeLinuxName(std::string_view bytes);
// The same form put at the end of `out`.
void AppendLinuxName(std::string_view bytes, std::u16string& out);

// The simple one-to-one upper case of each code unit; surrogates and units
// whose upper case lies beyond the BMP stay as they are (as NTFS compares).
char16_t UpperUnit(char16_t unit);
std::u16string UpperUnits(std::u16string_view text);

// A character that a Windows file name cannot hold: the control characters
// and \ / : * ? " < > |.
bool IsForbiddenInName(char16_t unit);

// The 932 bytes of one code unit; length 0 when 932 has no code for it
// (surrogates included).
struct Cp932Code {
    unsigned char bytes[2];
    unsigned char length;
};
Cp932Code Cp932Of(char16_t unit);

// The 932 text of UTF-16 units; "?" for each unit 932 cannot hold.
std::string EncodeCp932(std::u16string_view text);

// How a Linux name is shown: every character that 932 or a Windows name
// cannot hold is "?".
struct ShownName {
    std::u16string utf16; // with the "?" replacements; empty when there are none (the name as it is)
    std::string text;     // the same in 932
    bool lossy = false;   // some character was replaced
};
ShownName ShowName(std::u16string_view linuxName);

// The 932 text of a Linux name, when it stands for that name by itself,
// with no directory table to tell: shown without loss, and its text
// converted back gives the same bytes. False when only a table can show it.
bool NameAsWritten(std::string_view linuxName, std::string& text);

} // namespace kivra::platform::posix

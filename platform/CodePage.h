#pragma once
// Code page 932 (Shift-JIS with Microsoft's extensions): lead bytes,
// conversions to and from Unicode, the Windows case mappings and collation,
// and the double-byte-aware scans used wherever a path or label is read for
// a backslash, a colon or a letter.

#include "platform/Win32.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kivra::platform {

// A text of the program: bytes in code page 932, of any length.
using Text = std::string;

// 0x81-0x9F and 0xE0-0xFC begin a two-byte character.
BOOL IsDBCSLeadByte(unsigned char byte);

// Conversions with the mapping of the C library's iconv "CP932" (Microsoft's).
// A character 932 cannot hold becomes "?", and so does one that iconv maps
// only one way (U+00A5 to "\", U+301C to 81 60), so that every character
// that gets a code converts back to itself. Each byte of invalid UTF-8 is
// taken as one such character. Bytes that are no 932 character become
// U+FFFD, one per character as the scans below read them. See
// docs/codepage.md.
Text Cp932FromUtf8(std::string_view utf8);
std::string Utf8FromCp932(std::string_view text);
std::u16string Utf16FromCp932(std::string_view text);
Text Cp932FromUtf16(std::u16string_view utf16);

// As on Windows NT: through UTF-16 with the simple one-to-one case mapping,
// then back to 932 (a duplicate code comes back as the preferred one). Works
// in place over `length` bytes and returns `length`; a character whose other
// case has no 932 code of the same length, and bytes that are no character,
// stay as they are.
DWORD CharUpperBuffA(char* buffer, DWORD length);
DWORD CharLowerBuffA(char* buffer, DWORD length);

// Upper-case copy of a text: CharUpperBuffA over its full length.
Text UpperCaseText(std::string_view text);

// Single-byte case change of a-z / A-Z only; second bytes of double-byte
// characters are never touched. Same length as the input.
Text UpperAscii(std::string_view text);
Text LowerAscii(std::string_view text);

// CompareStringA over the UTF-16 forms with ICU's collator for the user's
// locale (secondary strength with NORM_IGNORECASE, tertiary without; the
// root collation in a C or POSIX environment). Returns CSTR_LESS_THAN,
// CSTR_EQUAL or CSTR_GREATER_THAN; 0 on bad arguments (a null text, a
// length below -1, a flag other than NORM_IGNORECASE). A length of -1 means
// up to the terminating zero. The locale argument is not looked at.
int CompareStringA(DWORD locale, DWORD flags, const char* a, int lengthA, const char* b, int lengthB);

// Double-byte-aware scans. Each reads the text from its first byte and takes
// a lead byte together with the byte after it as one character.
inline constexpr std::size_t NoPosition = std::string_view::npos;

// True when the last character is the single-byte "\" (0x5C).
bool EndsWithSeparator(std::string_view text);
// Position of the last single-byte "\" or ":", or NoPosition.
std::size_t LastSeparatorOrColon(std::string_view text);
// Position of the last single-byte "\", or NoPosition.
std::size_t LastSeparator(std::string_view text);
// Position of the first single-byte "\" at or after `from` (which must be
// the start of a character), or NoPosition.
std::size_t FindSeparator(std::string_view text, std::size_t from = 0);

} // namespace kivra::platform

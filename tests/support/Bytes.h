#pragma once
// Byte strings written as hexadecimal pairs, so that a test can state the
// exact code page 932 bytes it expects: Bytes("90 B3 8F ED").

#include <string>
#include <string_view>

namespace kivra::test {

// Pairs of hexadecimal digits, separated by blanks or not; anything else
// (an odd digit, a non-hex character) fails the calling test.
std::string Bytes(std::string_view hex);

// The reverse, for readable failure messages: "90 B3 8F ED".
std::string Hex(std::string_view bytes);

} // namespace kivra::test

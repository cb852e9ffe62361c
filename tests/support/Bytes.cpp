#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

namespace kivra::test {

namespace {

int Digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::string Bytes(std::string_view hex)
{
    std::string bytes;
    int high = -1;
    for (const char c : hex) {
        if (c == ' ') {
            if (high >= 0) ADD_FAILURE() << "Bytes(\"" << hex << "\"): a lone hexadecimal digit";
            high = -1;
            continue;
        }
        const int digit = Digit(c);
        if (digit < 0) {
            ADD_FAILURE() << "Bytes(\"" << hex << "\"): '" << c << "' is no hexadecimal digit";
            return bytes;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) ADD_FAILURE() << "Bytes(\"" << hex << "\"): a lone hexadecimal digit";
    return bytes;
}

std::string Hex(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (!hex.empty()) hex.push_back(' ');
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

} // namespace kivra::test

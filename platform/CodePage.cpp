#include "platform/CodePage.h"

#include "platform/SystemCodePage.h"

#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace kivra::platform {

namespace {

// The scan converts every name of a tree, often millions, so the mapping is
// read from the system's 932 converter once, into lookup tables, and every
// later conversion is a table walk: no converter state, nothing per thread,
// nothing for the sanitizers to find at exit.
//
// Rules the tables encode:
// - 932 to Unicode is the system's mapping. A byte sequence that is no character
//   becomes U+FFFD, read the way the double-byte-aware scans read a text: a
//   lead byte takes the byte after it along (a lead byte at the very end
//   stands alone), any other byte stands alone. So one faulty character
//   costs exactly one U+FFFD and never swallows a neighbour that a scan
//   would see as a character of its own.
// - Unicode to 932 accepts a character only when its code reads back as the
//   same character. iconv, for one, maps some characters one way (U+00A5 to the
//   byte 0x5C, U+203E to 0x7E, U+301C to 0x8160, ...); taking those would
//   turn a yen sign in a file name into a path separator, or give a name
//   that no longer leads back to the file. They become "?" like every other
//   character that 932 cannot hold. Where 932 has two codes for one
//   character (the NEC and IBM extensions), the system's choice is kept: that is
//   Microsoft's preferred code.
constexpr char16_t NoCharacter = 0xFFFF; // never the reading of a 932 code
constexpr std::uint16_t NoCode = 0xFFFF; // never a 932 code (0xFF is no lead byte)
constexpr char16_t Replacement = 0xFFFD;
constexpr char Unmappable = '?';

struct Tables {
    std::array<char16_t, 256> single{};
    std::vector<char16_t> pair = std::vector<char16_t>(65536, NoCharacter);      // (lead << 8) | trail
    std::vector<std::uint16_t> code = std::vector<std::uint16_t>(65536, NoCode); // by UTF-16 unit
};

// The one UTF-16 unit a reading gives, or NoCharacter: every 932 character
// reads as one unit of the Basic Multilingual Plane.
char16_t SingleUnit(const std::u16string& utf16) { return utf16.size() == 1 ? utf16[0] : NoCharacter; }

Tables BuildTables()
{
    Tables tables;
    tables.single.fill(NoCharacter);
    std::vector<char16_t> readings;
    for (unsigned byte = 0; byte < 256; ++byte) {
        if (IsDBCSLeadByte(static_cast<unsigned char>(byte))) continue;
        const char in = static_cast<char>(byte);
        const char16_t unit = SingleUnit(system::ReadCp932(std::string_view(&in, 1)));
        tables.single[byte] = unit;
        if (unit != NoCharacter) readings.push_back(unit);
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsDBCSLeadByte(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0; trail < 256; ++trail) {
            const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const char16_t unit = SingleUnit(system::ReadCp932(std::string_view(in, 2)));
            tables.pair[(lead << 8) | trail] = unit;
            if (unit != NoCharacter) readings.push_back(unit);
        }
    }

    for (const char16_t unit : readings) {
        if (tables.code[unit] != NoCode) continue;
        const std::string bytes = system::WriteCp932(unit);
        std::uint16_t candidate = NoCode;
        char16_t readBack = NoCharacter;
        if (bytes.size() == 1) {
            const auto byte = static_cast<unsigned char>(bytes[0]);
            candidate = byte;
            readBack = tables.single[byte];
        } else if (bytes.size() == 2) {
            candidate = static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[0]) << 8) |
                                                   static_cast<unsigned char>(bytes[1]));
            readBack = tables.pair[candidate];
        }
        if (readBack == unit) tables.code[unit] = candidate;
    }
    return tables;
}

const Tables& Table()
{
    static const Tables tables = BuildTables();
    return tables;
}

// One character of a 932 text: its UTF-16 unit (Replacement when the bytes
// are no character) and its length in bytes.
struct Character {
    char16_t unit;
    std::size_t length;
};

Character ReadCharacter(const Tables& tables, std::string_view text, std::size_t at)
{
    const auto byte = static_cast<unsigned char>(text[at]);
    if (!IsDBCSLeadByte(byte)) {
        const char16_t unit = tables.single[byte];
        return {unit == NoCharacter ? Replacement : unit, 1};
    }
    if (at + 1 >= text.size()) return {Replacement, 1};
    const char16_t unit = tables.pair[(byte << 8) | static_cast<unsigned char>(text[at + 1])];
    return {unit == NoCharacter ? Replacement : unit, 2};
}

// The writers below put their bytes behind `out`, into a string sized
// beforehand for the longest possible result, and move `out` along; the
// conversion then cuts the string to what was written.
void WriteCode(char*& out, std::uint16_t code)
{
    if (code == NoCode) {
        *out++ = Unmappable;
    } else if (code > 0xFF) {
        *out++ = static_cast<char>(code >> 8);
        *out++ = static_cast<char>(code & 0xFF);
    } else {
        *out++ = static_cast<char>(code);
    }
}

void WriteUtf8(char*& out, char16_t c)
{
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
}

template <typename String, typename Write>
String Written(std::size_t capacity, Write write)
{
    String out(capacity, typename String::value_type{});
    auto* end = write(out.data());
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

bool IsAscii(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Length of the well-formed UTF-8 sequence at `at` (with its code point), or
// 0 when the byte there begins none: no overlong forms, no surrogates,
// nothing above U+10FFFF.
std::size_t ReadUtf8(std::string_view text, std::size_t at, char32_t& codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned first = byte(at);
    std::size_t length;
    char32_t value;
    char32_t minimum;
    if (first < 0x80) {
        codePoint = first;
        return 1;
    } else if (first >= 0xC2 && first <= 0xDF) {
        length = 2, value = first & 0x1F, minimum = 0x80;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3, value = first & 0x0F, minimum = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4, value = first & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned next = byte(at + i);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

enum class Case { Upper, Lower };

// Each character is read as UTF-16, given its simple case mapping and
// written back, as Windows NT does. The buffer is changed in place, so a
// character whose new form has no 932 code or another length in bytes keeps
// its old one; bytes that are no character stay as they are.
void MapCase(char* buffer, DWORD length, Case which)
{
    if (!buffer) return;
    // Most bytes of a path are single-byte: their letters move by 32 without
    // a look at the tables, which are fetched at the first other byte.
    const unsigned char first = which == Case::Upper ? 'a' : 'A';
    const int shift = which == Case::Upper ? -32 : 32;
    const Tables* found = nullptr;
    std::size_t at = 0;
    while (at < length) {
        // Eight single-byte characters at a time: a byte's top bit is set in
        // `from` when it is at least the first letter, in `past` when it is
        // beyond the last; no sum carries into the next byte as every byte
        // is below 0x80. Flipping 0x20 changes the case of exactly those.
        constexpr std::uint64_t Ones = 0x0101010101010101u;
        constexpr std::uint64_t Tops = 0x8080808080808080u;
        std::uint64_t word;
        if (length - at >= sizeof word) {
            std::memcpy(&word, buffer + at, sizeof word);
            if ((word & Tops) == 0) {
                const std::uint64_t from = word + Ones * (0x80u - first);
                const std::uint64_t past = word + Ones * (0x80u - first - 26u);
                word ^= ((from & ~past & Tops) >> 2);
                std::memcpy(buffer + at, &word, sizeof word);
                at += sizeof word;
                continue;
            }
        }
        const auto byte = static_cast<unsigned char>(buffer[at]);
        if (byte < 0x80) {
            if (static_cast<unsigned char>(byte - first) < 26) buffer[at] = static_cast<char>(byte + shift);
            ++at;
            continue;
        }
        if (!found) found = &Table();
        const Tables& tables = *found;
        const bool pair = IsDBCSLeadByte(byte) && at + 1 < length;
        const std::size_t size = pair ? 2 : 1;
        const char16_t unit =
            pair ? tables.pair[(byte << 8) | static_cast<unsigned char>(buffer[at + 1])] : tables.single[byte];
        // NoCharacter (U+FFFF) has no case and no code: such bytes stay.
        const std::uint16_t code =
            unit == NoCharacter ? NoCode
                                : tables.code[which == Case::Upper ? system::UpperUnit(unit) : system::LowerUnit(unit)];
        if (code != NoCode && (code > 0xFF ? 2u : 1u) == size) {
            if (size == 2) {
                buffer[at] = static_cast<char>(code >> 8);
                buffer[at + 1] = static_cast<char>(code & 0xFF);
            } else {
                buffer[at] = static_cast<char>(code);
            }
        }
        at += size;
    }
}

// Moves the letters first..first+25 by `shift`; a lead byte takes the byte
// after it along unchanged (a lead byte at the very end is copied and ends
// the walk, which the loop condition gives by itself).
Text ShiftLetters(std::string_view text, char first, int shift)
{
    Text result(text);
    std::size_t at = 0;
    while (at < result.size()) {
        const char c = result[at];
        if (IsDBCSLeadByte(static_cast<unsigned char>(c))) {
            at += 2;
            continue;
        }
        if (c >= first && c <= first + 25) result[at] = static_cast<char>(c + shift);
        ++at;
    }
    return result;
}

// Visits the start of every character of the text, from its first byte,
// until the visitor returns false.
template <typename Visit>
void EachCharacter(std::string_view text, std::size_t from, Visit visit)
{
    std::size_t at = from;
    while (at < text.size()) {
        if (!visit(at)) return;
        at += IsDBCSLeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
    }
}

} // namespace

BOOL IsDBCSLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

Text Cp932FromUtf8(std::string_view utf8)
{
    if (IsAscii(utf8)) return Text(utf8);
    const std::uint16_t* code = Table().code.data();
    // No character grows: one byte stays one, two to four become at most two.
    return Written<Text>(utf8.size(), [&](char* out) {
        std::size_t at = 0;
        while (at < utf8.size()) {
            char32_t codePoint = 0;
            const std::size_t length = ReadUtf8(utf8, at, codePoint);
            if (length == 0) {
                *out++ = Unmappable;
                ++at;
            } else {
                WriteCode(out, codePoint < 0x10000 ? code[codePoint] : NoCode);
                at += length;
            }
        }
        return out;
    });
}

std::string Utf8FromCp932(std::string_view text)
{
    if (IsAscii(text)) return std::string(text);
    const Tables& tables = Table();
    // A character of one or two bytes takes at most three in UTF-8.
    return Written<std::string>(text.size() * 3, [&](char* out) {
        for (std::size_t at = 0; at < text.size();) {
            const Character c = ReadCharacter(tables, text, at);
            WriteUtf8(out, c.unit);
            at += c.length;
        }
        return out;
    });
}

std::u16string Utf16FromCp932(std::string_view text)
{
    if (IsAscii(text)) return std::u16string(text.begin(), text.end());
    const Tables& tables = Table();
    return Written<std::u16string>(text.size(), [&](char16_t* out) {
        for (std::size_t at = 0; at < text.size();) {
            const Character c = ReadCharacter(tables, text, at);
            *out++ = c.unit;
            at += c.length;
        }
        return out;
    });
}

Text Cp932FromUtf16(std::u16string_view utf16)
{
    const std::uint16_t* code = Table().code.data();
    return Written<Text>(utf16.size() * 2, [&](char* out) {
        for (std::size_t at = 0; at < utf16.size(); ++at) {
            const char16_t unit = utf16[at];
            if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < utf16.size() && utf16[at + 1] >= 0xDC00 &&
                utf16[at + 1] <= 0xDFFF) {
                ++at; // a character beyond the BMP: 932 has none
                *out++ = Unmappable;
            } else if (unit >= 0xD800 && unit <= 0xDFFF) {
                *out++ = Unmappable;
            } else {
                WriteCode(out, code[unit]);
            }
        }
        return out;
    });
}

DWORD CharUpperBuffA(char* buffer, DWORD length)
{
    MapCase(buffer, length, Case::Upper);
    return length;
}

DWORD CharLowerBuffA(char* buffer, DWORD length)
{
    MapCase(buffer, length, Case::Lower);
    return length;
}

Text UpperCaseText(std::string_view text)
{
    Text copy(text);
    CharUpperBuffA(copy.data(), static_cast<DWORD>(copy.size()));
    return copy;
}

Text UpperAscii(std::string_view text) { return ShiftLetters(text, 'a', -32); }
Text LowerAscii(std::string_view text) { return ShiftLetters(text, 'A', 32); }

int CompareStringA(DWORD /*locale*/, DWORD flags, const char* a, int lengthA, const char* b, int lengthB)
{
    if (!a || !b || lengthA < -1 || lengthB < -1) return 0;
    if ((flags & ~NORM_IGNORECASE) != 0) return 0;
    const std::u16string wideA =
        Utf16FromCp932(std::string_view(a, lengthA == -1 ? std::strlen(a) : static_cast<std::size_t>(lengthA)));
    const std::u16string wideB =
        Utf16FromCp932(std::string_view(b, lengthB == -1 ? std::strlen(b) : static_cast<std::size_t>(lengthB)));
    const std::optional<int> order = system::Collate(wideA, wideB, (flags & NORM_IGNORECASE) != 0);
    if (!order) return 0;
    return *order < 0 ? CSTR_LESS_THAN : *order == 0 ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

bool EndsWithSeparator(std::string_view text)
{
    // Only a text whose last byte is "\" can end with one; whether that byte
    // is a character of its own or the second byte of a pair takes a reading
    // from the start.
    if (text.empty() || text.back() != '\\') return false;
    std::size_t last = NoPosition;
    EachCharacter(text, 0, [&](std::size_t at) {
        last = at;
        return true;
    });
    return last != NoPosition && text[last] == '\\';
}

std::size_t LastSeparatorOrColon(std::string_view text)
{
    std::size_t found = NoPosition;
    EachCharacter(text, 0, [&](std::size_t at) {
        if (text[at] == '\\' || text[at] == ':') found = at;
        return true;
    });
    return found;
}

std::size_t LastSeparator(std::string_view text)
{
    std::size_t found = NoPosition;
    EachCharacter(text, 0, [&](std::size_t at) {
        if (text[at] == '\\') found = at;
        return true;
    });
    return found;
}

std::size_t FindSeparator(std::string_view text, std::size_t from)
{
    std::size_t found = NoPosition;
    EachCharacter(text, from, [&](std::size_t at) {
        if (text[at] != '\\') return true;
        found = at;
        return false;
    });
    return found;
}

} // namespace kivra::platform

// Code page 932: conversions to and from UTF-8 and UTF-16, the case
// mappings, and the double-byte-aware scans.
//
// Input: the first byte chooses how the rest is read (as 932 or as UTF-8);
// the rest is the text.

#include "platform/CodePage.h"
#include "tests/fuzz/FuzzCheck.h"

#include <unicode/uchar.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kivra::platform {
namespace {

using fuzz::Characters;

// The code point of the well-formed UTF-8 sequence at `at` and its length,
// or length 0 when none begins there.
std::size_t ReadSequence(std::string_view utf8, std::size_t at, char32_t& point)
{
    const auto first = static_cast<unsigned char>(utf8[at]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (first < 0x80) return point = first, 1;
    if (first >= 0xC2 && first <= 0xDF) length = 2, point = first & 0x1F, minimum = 0x80;
    if (first >= 0xE0 && first <= 0xEF) length = 3, point = first & 0x0F, minimum = 0x800;
    if (first >= 0xF0 && first <= 0xF4) length = 4, point = first & 0x07, minimum = 0x10000;
    if (length == 0 || at + length > utf8.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(utf8[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        point = (point << 6) | (next & 0x3F);
    }
    const bool valid = point >= minimum && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
    return valid ? length : 0;
}

// The code points of UTF-8 as the conversion reads it: each byte that begins
// no well-formed sequence stands for one character, here U+FFFF.
std::u32string CodePoints(std::string_view utf8)
{
    std::u32string points;
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t point = 0;
        const std::size_t length = ReadSequence(utf8, at, point);
        points.push_back(length == 0 ? 0xFFFF : point);
        at += length == 0 ? 1 : length;
    }
    return points;
}

std::u16string Utf16Of(const std::u32string& points)
{
    std::u16string units;
    for (const char32_t c : points) {
        if (c < 0x10000) {
            units.push_back(static_cast<char16_t>(c));
        } else {
            units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    return units;
}

// The 932 code of one UTF-16 unit, or nothing (empty) when it has none.
Text CodeOf(char16_t unit)
{
    const Text code = Cp932FromUtf16(std::u16string_view(&unit, 1));
    return code == "?" && unit != u'?' ? Text() : code;
}

void CheckScans(std::string_view text)
{
    const std::vector<std::string_view> characters = Characters(text);
    std::size_t lastSeparator = NoPosition, lastSeparatorOrColon = NoPosition;
    std::vector<std::size_t> starts;
    for (std::size_t i = 0, at = 0; i < characters.size(); at += characters[i].size(), ++i) {
        starts.push_back(at);
        if (characters[i] == "\\") lastSeparator = lastSeparatorOrColon = at;
        if (characters[i] == ":") lastSeparatorOrColon = at;
    }
    FUZZ_CHECK(LastSeparator(text) == lastSeparator);
    FUZZ_CHECK(LastSeparatorOrColon(text) == lastSeparatorOrColon);
    FUZZ_CHECK(EndsWithSeparator(text) == (!characters.empty() && characters.back() == "\\"));
    // From every character's start, the first separator at or after it.
    std::size_t next = NoPosition;
    for (std::size_t i = characters.size(); i-- > 0;) {
        if (characters[i] == "\\") next = starts[i];
        FUZZ_CHECK(FindSeparator(text, starts[i]) == next);
    }
    FUZZ_CHECK(FindSeparator(text, text.size()) == NoPosition);
}

enum class Case { Upper, Lower };

// Each character read as UTF-16 gets its simple case mapping, written as the
// preferred code of the new character where that has the character's length
// (so a duplicate code becomes the preferred one); otherwise, and for bytes
// that are no character, the bytes stay.
void CheckCase(std::string_view text, Case which)
{
    std::vector<char> buffer(text.begin(), text.end());
    const DWORD length = static_cast<DWORD>(buffer.size());
    const DWORD returned =
        which == Case::Upper ? CharUpperBuffA(buffer.data(), length) : CharLowerBuffA(buffer.data(), length);
    FUZZ_CHECK(returned == length);
    const std::string_view mapped(buffer.data(), buffer.size());
    if (which == Case::Upper) FUZZ_CHECK(UpperCaseText(text) == mapped);

    const std::vector<std::string_view> before = Characters(text);
    const std::vector<std::string_view> after = Characters(mapped);
    FUZZ_CHECK(before.size() == after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        FUZZ_CHECK(before[i].size() == after[i].size());
        const std::u16string unit = Utf16FromCp932(before[i]);
        FUZZ_CHECK(unit.size() == 1);
        if (unit[0] == 0xFFFD) {
            FUZZ_CHECK(after[i] == before[i]);
            continue;
        }
        const UChar32 other = which == Case::Upper ? u_toupper(unit[0]) : u_tolower(unit[0]);
        const Text otherCode = other < 0x10000 ? CodeOf(static_cast<char16_t>(other)) : Text();
        FUZZ_CHECK(after[i] == (otherCode.size() == before[i].size() ? otherCode : Text(before[i])));
    }

    // Mapping again changes nothing.
    std::vector<char> again = buffer;
    which == Case::Upper ? CharUpperBuffA(again.data(), length) : CharLowerBuffA(again.data(), length);
    FUZZ_CHECK(again == buffer);

    // The single-byte mapping touches a-z (A-Z) only, never a second byte.
    const Text ascii = which == Case::Upper ? UpperAscii(text) : LowerAscii(text);
    const std::vector<std::string_view> asciiAfter = Characters(ascii);
    FUZZ_CHECK(asciiAfter.size() == before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const char c = before[i][0];
        const bool letter =
            before[i].size() == 1 && (which == Case::Upper ? c >= 'a' && c <= 'z' : c >= 'A' && c <= 'Z');
        FUZZ_CHECK(asciiAfter[i] == (letter ? Text(1, static_cast<char>(c ^ 0x20)) : Text(before[i])));
    }
}

// A 932 text: one reading per character, which converts back to the
// character's code when it has one.
void Check932(std::string_view text)
{
    const std::vector<std::string_view> characters = Characters(text);
    const std::u16string utf16 = Utf16FromCp932(text);
    FUZZ_CHECK(utf16.size() == characters.size());
    const std::string utf8 = Utf8FromCp932(text);
    FUZZ_CHECK(Utf16Of(CodePoints(utf8)) == utf16);

    const Text back = Cp932FromUtf16(utf16);
    FUZZ_CHECK(Cp932FromUtf8(utf8) == back);
    const std::vector<std::string_view> backCharacters = Characters(back);
    FUZZ_CHECK(backCharacters.size() == characters.size());
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const Text code = CodeOf(utf16[i]);
        // Unless it is a character, or a duplicate code of one, it is "?".
        FUZZ_CHECK(backCharacters[i] == (code.empty() ? "?" : code));
        // A character's preferred code reads as the same character.
        if (!code.empty()) FUZZ_CHECK(Utf16FromCp932(code) == utf16.substr(i, 1));
    }
    // What came back converts to itself.
    FUZZ_CHECK(Cp932FromUtf16(Utf16FromCp932(back)) == back);
}

// UTF-8 of a Linux name: one 932 character per character of it, each either
// the same character or "?".
void CheckUtf8(std::string_view utf8)
{
    const std::u32string points = CodePoints(utf8);
    const Text text = Cp932FromUtf8(utf8);
    FUZZ_CHECK(text.size() <= utf8.size());
    FUZZ_CHECK(Cp932FromUtf16(Utf16Of(points)) == text);
    const std::u16string readBack = Utf16FromCp932(text);
    FUZZ_CHECK(readBack.size() == points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        FUZZ_CHECK(readBack[i] == points[i] || readBack[i] == u'?');
        // "?" only where 932 has no code for the character.
        if (readBack[i] == u'?' && points[i] != U'?')
            FUZZ_CHECK(points[i] >= 0x10000 || CodeOf(static_cast<char16_t>(points[i])).empty());
    }
}

} // namespace
} // namespace kivra::platform

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kivra::platform;
    if (size == 0) return 0;
    const std::string_view text = kivra::fuzz::AsText(data + 1, size - 1);
    if (data[0] & 1) {
        CheckUtf8(text);
    } else {
        Check932(text);
        CheckScans(text);
        CheckCase(text, Case::Upper);
        CheckCase(text, Case::Lower);
    }
    return 0;
}

// Conversions between code page 932 and UTF-8 / UTF-16 with Microsoft's
// mapping; "?" for what 932 cannot hold, U+FFFD for bytes that are no 932
// character.
#include "platform/CodePage.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <set>

namespace kivra::platform {
namespace {

using test::Bytes;
using test::Hex;

TEST(Cp932FromUtf8, JapaneseText)
{
    EXPECT_EQ(Hex(Cp932FromUtf8("正常です")), "90 B3 8F ED 82 C5 82 B7");
    EXPECT_EQ(Hex(Cp932FromUtf8("ｺﾓｼﾞﾌｧｲﾙ")), "BA D3 BC DE CC A7 B2 D9");
}

TEST(Cp932FromUtf8, AsciiIsCopiedWithBackslashAndTilde)
{
    EXPECT_EQ(Cp932FromUtf8("C:\\PROGRA~1\\a b.txt"), "C:\\PROGRA~1\\a b.txt");
}

TEST(Cp932FromUtf8, MicrosoftsMapping)
{
    EXPECT_EQ(Hex(Cp932FromUtf8("Ⅰ")), "87 54");            // U+2160: the NEC code, not the IBM one
    EXPECT_EQ(Hex(Cp932FromUtf8("纊")), "FA 5C");           // U+7E8A: only in the IBM extension
    EXPECT_EQ(Hex(Cp932FromUtf8("～")), "81 60");           // U+FF5E FULLWIDTH TILDE
    EXPECT_EQ(Hex(Cp932FromUtf8("\uFFE2")), "81 CA");       // FULLWIDTH NOT SIGN
    EXPECT_EQ(Hex(Cp932FromUtf8("\xEE\x80\x80")), "F0 40"); // U+E000, the first user-defined code
}

TEST(Cp932FromUtf8, WhatCodePage932CannotHoldBecomesAQuestionMark)
{
    EXPECT_EQ(Cp932FromUtf8("café"), "caf?");
    EXPECT_EQ(Cp932FromUtf8("a\xF0\x9F\x98\x80z"), "a?z"); // U+1F600: one character, one "?"
    EXPECT_EQ(Cp932FromUtf8("한"), "?");
}

TEST(Cp932FromUtf8, OneWayMappingsAreRefused)
{
    // A yen sign or an overline must not turn into a path separator or a
    // tilde, and the wave dash must not come back as another character.
    EXPECT_EQ(Cp932FromUtf8("a¥b"), "a?b");          // U+00A5
    EXPECT_EQ(Cp932FromUtf8("a\xE2\x80\xBE"), "a?"); // U+203E
    EXPECT_EQ(Cp932FromUtf8("〜"), "?");             // U+301C
    EXPECT_EQ(Cp932FromUtf8("−"), "?");              // U+2212
    EXPECT_EQ(Cp932FromUtf8("\u00AC\u00A3"), "??");  // NOT SIGN, POUND SIGN: 932 has only the full-width forms
}

TEST(Cp932FromUtf8, EachByteOfInvalidUtf8IsOneQuestionMark)
{
    EXPECT_EQ(Cp932FromUtf8("a\xFF"
                            "b"),
              "a?b");
    EXPECT_EQ(Cp932FromUtf8("\xE3\x81"), "??"); // cut short
    EXPECT_EQ(Cp932FromUtf8("\xE3\x81"
                            "A"),
              "??A");                                              // cut short before a letter
    EXPECT_EQ(Cp932FromUtf8("\xC0\xAF"), "??");                    // overlong "/"
    EXPECT_EQ(Cp932FromUtf8("\xE0\x80\xAF"), "???");               // overlong "/" in three bytes
    EXPECT_EQ(Cp932FromUtf8("\xF0\x80\x80\xAF"), "????");          // and in four
    EXPECT_EQ(Cp932FromUtf8("\xED\xA0\x80"), "???");               // an encoded surrogate
    EXPECT_EQ(Cp932FromUtf8("\xF4\x90\x80\x80"), "????");          // beyond U+10FFFF
    EXPECT_EQ(Hex(Cp932FromUtf8("\x80\xE6\xAD\xA3")), "3F 90 B3"); // a stray continuation byte, then 正
}

TEST(Utf8FromCp932, JapaneseText)
{
    EXPECT_EQ(Utf8FromCp932(Bytes("90 B3 8F ED 82 C5 82 B7")), "正常です");
    EXPECT_EQ(Utf8FromCp932(Bytes("43 3A 5C 95 5C 5C")), "C:\\表\\");
    EXPECT_EQ(Utf8FromCp932(Bytes("81 60")), "～");
    EXPECT_EQ(Utf8FromCp932(Bytes("FA 40 EE EF")), "ⅰⅰ");
}

TEST(Utf8FromCp932, BytesThatAreNoCharacterEachBecomeOneReplacementCharacter)
{
    // A lead byte takes the byte after it along, as every scan reads it; a
    // lead byte at the end and the undefined single bytes stand alone.
    EXPECT_EQ(Utf8FromCp932(Bytes("41 83")), "A\uFFFD");
    EXPECT_EQ(Utf8FromCp932(Bytes("88 61 41")), "\uFFFDA"); // unassigned pair
    EXPECT_EQ(Utf8FromCp932(Bytes("83 20 41")), "\uFFFDA"); // second byte out of range
#ifdef _WIN32
    // Windows' own table reads 0x80 as U+0080.
    EXPECT_EQ(Utf8FromCp932(Bytes("80")), "\u0080");
#else
    EXPECT_EQ(Utf8FromCp932(Bytes("80 A0 FD FE FF")), "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
#endif
}

TEST(Utf16FromCp932, ReadsEachCharacterAsOneUnit)
{
    EXPECT_EQ(Utf16FromCp932(Bytes("43 3A 5C B1 95 5C 87 54")), u"C:\\ｱ表Ⅰ");
    EXPECT_EQ(Utf16FromCp932(Bytes("F9 FC")), u"\uE757"); // the last user-defined code
    EXPECT_EQ(Utf16FromCp932(Bytes("41 83")), u"A\uFFFD");
    EXPECT_EQ(Utf16FromCp932(""), u"");
}

TEST(Cp932FromUtf16, SurrogatesBecomeOneQuestionMarkPerCharacter)
{
    EXPECT_EQ(Cp932FromUtf16(u"a\U0001F600z"), "a?z");
    EXPECT_EQ(Cp932FromUtf16(std::u16string{u'a', char16_t(0xD800), u'b', char16_t(0xDC00)}), "a?b?");
    EXPECT_EQ(Cp932FromUtf16(u"\uFFFD"), "?");
}

TEST(RoundTrip, EveryCharacterOfCodePage932ThroughUtf16)
{
    // 932 → UTF-16 → 932 gives the code back, or, for the duplicate codes of
    // the NEC and IBM extensions, the preferred code of the same character.
    std::set<char16_t> characters;
    int duplicates = 0;
    for (unsigned byte = 0; byte < 0x100; ++byte) {
        if (IsDBCSLeadByte(static_cast<unsigned char>(byte)) || byte == 0x80 || byte == 0xA0 || byte >= 0xFD) continue;
        const std::string code(1, static_cast<char>(byte));
        const std::u16string wide = Utf16FromCp932(code);
        ASSERT_EQ(wide.size(), 1u) << Hex(code);
        EXPECT_EQ(Hex(Cp932FromUtf16(wide)), Hex(code));
        characters.insert(wide[0]);
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsDBCSLeadByte(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string wide = Utf16FromCp932(code);
            ASSERT_EQ(wide.size(), 1u) << Hex(code);
            if (wide[0] == 0xFFFD) continue; // unassigned
            const std::string back = Cp932FromUtf16(wide);
            ASSERT_EQ(back.size(), 2u) << Hex(code);
            EXPECT_EQ(Utf16FromCp932(back), wide) << Hex(code);
            if (back != code) {
                ++duplicates;
                EXPECT_EQ(Cp932FromUtf16(Utf16FromCp932(back)), back) << Hex(code);
            }
            characters.insert(wide[0]);
        }
    }
    // JIS X 0208 with the NEC and IBM extensions and the user-defined area.
    EXPECT_GT(characters.size(), 9000u);
    // The NEC-selected IBM rows ED-EE alone hold 374 duplicates.
    EXPECT_GE(duplicates, 374);
}

TEST(RoundTrip, RowsEdAndEeComeBackAsTheirIbmCodes)
{
    EXPECT_EQ(Hex(Cp932FromUtf16(Utf16FromCp932(Bytes("ED 40")))), "FA 5C"); // 纊
    EXPECT_EQ(Hex(Cp932FromUtf16(Utf16FromCp932(Bytes("EE EF")))), "FA 40"); // ⅰ
    EXPECT_EQ(Hex(Cp932FromUtf16(Utf16FromCp932(Bytes("87 90")))), "81 E0"); // ≒ (NEC row 13)
}

TEST(RoundTrip, EveryUnicodeCharacterWithACodeComesBackUnchanged)
{
    // A name converted to 932 without "?" leads back to exactly that name.
    int withCode = 0;
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;
        const std::u16string wide(1, static_cast<char16_t>(unit));
        const std::string code = Cp932FromUtf16(wide);
        if (code == "?" && unit != '?') continue;
        ++withCode;
        EXPECT_EQ(Utf16FromCp932(code), wide) << std::hex << unit;
    }
    EXPECT_GT(withCode, 9000);
}

} // namespace
} // namespace kivra::platform

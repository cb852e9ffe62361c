// CharUpperBuffA / CharLowerBuffA as on Windows NT: every character read as
// Unicode, given its simple case mapping and written back in place.
#include "platform/CodePage.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

namespace kivra::platform {
namespace {

using test::Bytes;
using test::Hex;

std::string Upper(std::string text)
{
    EXPECT_EQ(CharUpperBuffA(text.data(), static_cast<DWORD>(text.size())), text.size());
    return text;
}

std::string Lower(std::string text)
{
    EXPECT_EQ(CharLowerBuffA(text.data(), static_cast<DWORD>(text.size())), text.size());
    return text;
}

TEST(CharUpperBuffA, Ascii)
{
    EXPECT_EQ(Upper("c:\\program files\\kivra.exe"), "C:\\PROGRAM FILES\\KIVRA.EXE");
    EXPECT_EQ(Upper("azAZ@[`{~09"), "AZAZ@[`{~09");
}

TEST(CharLowerBuffA, Ascii)
{
    EXPECT_EQ(Lower("C:\\DATA\\Read.ME"), "c:\\data\\read.me");
    EXPECT_EQ(Lower("azAZ@[`{~09"), "azaz@[`{~09");
}

TEST(CharUpperBuffA, FullWidthLetters)
{
    EXPECT_EQ(Hex(Upper(Bytes("82 81 82 9A"))), "82 60 82 79"); // ａｚ → ＡＺ
    EXPECT_EQ(Hex(Lower(Bytes("82 60 82 79"))), "82 81 82 9A");
}

TEST(CharUpperBuffA, Greek)
{
    EXPECT_EQ(Hex(Upper(Bytes("83 BF 83 D6"))), "83 9F 83 B6"); // αω → ΑΩ
    EXPECT_EQ(Hex(Lower(Bytes("83 9F"))), "83 BF");
}

TEST(CharUpperBuffA, Cyrillic)
{
    EXPECT_EQ(Hex(Upper(Bytes("84 70 84 76 84 91"))), "84 40 84 46 84 60"); // аёя → АЁЯ
    EXPECT_EQ(Hex(Lower(Bytes("84 46"))), "84 76");
}

TEST(CharUpperBuffA, SmallRomanNumeralsFromEitherCodeBecomeThePreferredCapital)
{
    EXPECT_EQ(Hex(Upper(Bytes("FA 40"))), "87 54"); // ⅰ (IBM) → Ⅰ
    EXPECT_EQ(Hex(Upper(Bytes("EE EF"))), "87 54"); // ⅰ (NEC-selected IBM) → Ⅰ
    EXPECT_EQ(Hex(Upper(Bytes("FA 49"))), "87 5D"); // ⅹ → Ⅹ
}

TEST(CharLowerBuffA, CapitalRomanNumeralsBecomeThePreferredSmallCode)
{
    EXPECT_EQ(Hex(Lower(Bytes("87 54"))), "FA 40");
    EXPECT_EQ(Hex(Lower(Bytes("FA 4A"))), "FA 40"); // Ⅰ (IBM duplicate)
}

TEST(CharUpperBuffA, ADuplicateCodeComesBackAsThePreferredOneEvenWithoutACaseChange)
{
    EXPECT_EQ(Hex(Upper(Bytes("FA 4A"))), "87 54"); // Ⅰ (IBM) → Ⅰ (NEC)
    EXPECT_EQ(Hex(Upper(Bytes("EE F9"))), "81 CA"); // ¬ (NEC-selected IBM) → ¬
}

TEST(CharUpperBuffA, HalfWidthKatakanaKanjiAndKanaStay)
{
    const std::string text = Bytes("B1 B2 DF 95 5C 83 5C 82 A0 8F AC"); // ｱｲﾟ表ソあ小
    EXPECT_EQ(Hex(Upper(text)), Hex(text));
    EXPECT_EQ(Hex(Lower(text)), Hex(text));
}

TEST(CharUpperBuffA, SecondBytesInTheLetterRangesStay)
{
    EXPECT_EQ(Hex(Upper(Bytes("83 61 61 83 7A"))), "83 61 41 83 7A"); // ヂaヒ
    EXPECT_EQ(Hex(Lower(Bytes("83 41 41 83 5A"))), "83 41 61 83 5A"); // アAゼ
}

TEST(CharUpperBuffA, BytesThatAreNoCharacterStay)
{
    // A lone lead byte at the end, a lead byte with a byte outside the
    // second-byte range, an unassigned pair and the undefined single bytes.
    EXPECT_EQ(Hex(Upper(Bytes("61 83"))), "41 83");
    EXPECT_EQ(Hex(Upper(Bytes("83 20 61"))), "83 20 41");
    EXPECT_EQ(Hex(Upper(Bytes("88 61 61"))), "88 61 41");
    EXPECT_EQ(Hex(Lower(Bytes("80 A0 FD FE FF 41"))), "80 A0 FD FE FF 61");
}

TEST(CharLowerBuffA, ACharacterWhoseOtherCaseHasNoCodeStays)
{
    // Å (ANGSTROM SIGN) lower-cases to å, which code page 932 does not hold.
    EXPECT_EQ(Hex(Lower(Bytes("81 F0"))), "81 F0");
}

TEST(CharUpperBuffA, WorksOnlyOverTheGivenLength)
{
    std::string text = "abcd";
    EXPECT_EQ(CharUpperBuffA(text.data(), 2), 2u);
    EXPECT_EQ(text, "ABcd");
    std::string pair = Bytes("82 81 82 81");
    CharUpperBuffA(pair.data(), 3); // the second ａ is cut: its lead byte stands alone
    EXPECT_EQ(Hex(pair), "82 60 82 81");
}

TEST(UpperCaseText, IsAnUpperCaseCopy)
{
    const std::string text = Bytes("63 3A 5C 82 81 83 BF 84 76 FA 40 B1 95 5C"); // c:\ａαёⅰｱ表
    EXPECT_EQ(Hex(UpperCaseText(text)), "43 3A 5C 82 60 83 9F 84 46 87 54 B1 95 5C");
    EXPECT_EQ(Hex(text), "63 3A 5C 82 81 83 BF 84 76 FA 40 B1 95 5C");
    EXPECT_EQ(UpperCaseText(""), "");
}

TEST(UpperCaseText, UpperCasingAnUpperCaseTextChangesNothing)
{
    // Every character that code page 932 holds, upper-cased twice, changes no
    // more the second time: the mapping is stable.
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsDBCSLeadByte(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string once = UpperCaseText(std::string{static_cast<char>(lead), static_cast<char>(trail)});
            ASSERT_EQ(once.size(), 2u);
            EXPECT_EQ(UpperCaseText(once), once) << Hex(once);
        }
    }
}

} // namespace
} // namespace kivra::platform

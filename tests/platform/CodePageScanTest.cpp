// Lead bytes and the double-byte-aware reading of texts: a second byte that
// equals "\" (表 95 5C, ソ 83 5C) or an ASCII letter (ア 83 41, ヂ 83 61) is
// never read as a separator or a letter.
#include "platform/CodePage.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

namespace kivra::platform {
namespace {

using test::Bytes;

TEST(LeadByte, TheTwoRangesBeginADoubleByteCharacter)
{
    for (const unsigned byte : {0x81u, 0x82u, 0x95u, 0x9Fu, 0xE0u, 0xEEu, 0xFAu, 0xFCu})
        EXPECT_TRUE(IsDBCSLeadByte(static_cast<unsigned char>(byte))) << std::hex << byte;
}

TEST(LeadByte, AsciiHalfWidthKatakanaAndTheGapsStandAlone)
{
    for (const unsigned byte : {0x00u, 0x41u, 0x5Cu, 0x7Fu, 0x80u, 0xA0u, 0xA1u, 0xB1u, 0xDFu, 0xFDu, 0xFEu, 0xFFu})
        EXPECT_FALSE(IsDBCSLeadByte(static_cast<unsigned char>(byte))) << std::hex << byte;
}

TEST(EndsWithSeparator, ASingleByteBackslashAtTheEnd)
{
    EXPECT_TRUE(EndsWithSeparator("C:\\"));
    EXPECT_TRUE(EndsWithSeparator("C:\\DATA\\"));
    EXPECT_TRUE(EndsWithSeparator(Bytes("95 5C 5C"))); // 表\ .
}

TEST(EndsWithSeparator, ASecondByteEqualToBackslashIsNoSeparator)
{
    EXPECT_FALSE(EndsWithSeparator(Bytes("43 3A 5C 95 5C"))); // C:\表
    EXPECT_FALSE(EndsWithSeparator(Bytes("43 3A 5C 83 5C"))); // C:\ソ
    EXPECT_FALSE(EndsWithSeparator(Bytes("83 5C 83 5C")));    // ソソ
}

TEST(EndsWithSeparator, EmptyTextsAndLoneLeadBytesDoNotEndInOne)
{
    EXPECT_FALSE(EndsWithSeparator(""));
    EXPECT_FALSE(EndsWithSeparator("C:"));
    EXPECT_FALSE(EndsWithSeparator(Bytes("5C 95"))); // a lead byte as the last byte is a character of its own
}

TEST(EndsWithSeparator, ALeadByteTakesTheBackslashAfterItEvenWhenTheTextWouldReadOtherwiseFromTheEnd)
{
    // 88 5C 5C: the pair 88 5C, then a backslash; 5C 88 5C: a backslash, then the pair.
    EXPECT_TRUE(EndsWithSeparator(Bytes("88 5C 5C")));
    EXPECT_FALSE(EndsWithSeparator(Bytes("5C 88 5C")));
}

TEST(LastSeparatorOrColon, FindsTheLastBackslashOrColon)
{
    EXPECT_EQ(LastSeparatorOrColon("C:\\DIR\\FILE.TXT"), 6u);
    EXPECT_EQ(LastSeparatorOrColon("C:FILE"), 1u);
    EXPECT_EQ(LastSeparatorOrColon("\\\\host\\share"), 6u);
}

TEST(LastSeparatorOrColon, StepsOverSecondBytesEqualToBackslash)
{
    EXPECT_EQ(LastSeparatorOrColon(Bytes("43 3A 5C 95 5C")), 2u);             // C:\表
    EXPECT_EQ(LastSeparatorOrColon(Bytes("43 3A 5C 83 5C 83 5C 2E 45")), 2u); // C:\ソソ.E
    EXPECT_EQ(LastSeparatorOrColon(Bytes("43 3A 95 5C")), 1u);                // C:表
}

TEST(LastSeparatorOrColon, NoPositionWithoutEither)
{
    EXPECT_EQ(LastSeparatorOrColon(""), NoPosition);
    EXPECT_EQ(LastSeparatorOrColon("KIVRA.EXE"), NoPosition);
    EXPECT_EQ(LastSeparatorOrColon(Bytes("95 5C 83 5C")), NoPosition);
}

TEST(LastSeparator, TakesNoColon)
{
    EXPECT_EQ(LastSeparator("C:FILE"), NoPosition);
    EXPECT_EQ(LastSeparator("C:\\DIR:X"), 2u);
}

TEST(LastSeparator, StepsOverSecondBytesEqualToBackslash)
{
    EXPECT_EQ(LastSeparator(Bytes("5C 95 5C 41")), 0u);
    EXPECT_EQ(LastSeparator(Bytes("95 5C")), NoPosition);
}

TEST(FindSeparator, FindsTheFirstBackslashFromAPoint)
{
    const std::string path = "C:\\A\\B";
    EXPECT_EQ(FindSeparator(path), 2u);
    EXPECT_EQ(FindSeparator(path, 3), 4u);
    EXPECT_EQ(FindSeparator(path, 5), NoPosition);
    EXPECT_EQ(FindSeparator(path, path.size()), NoPosition);
}

TEST(FindSeparator, StepsOverSecondBytesEqualToBackslash)
{
    const std::string path = Bytes("95 5C 83 5C 5C 41 5C"); // 表ソ\A\ .
    EXPECT_EQ(FindSeparator(path), 4u);
    EXPECT_EQ(FindSeparator(path, 2), 4u);
    EXPECT_EQ(FindSeparator(path, 5), 6u);
    EXPECT_EQ(FindSeparator(Bytes("95 5C 83 5C")), NoPosition);
}

TEST(UpperAscii, ChangesOnlyTheSingleByteLetters)
{
    EXPECT_EQ(UpperAscii("c:\\data\\file.txt"), "C:\\DATA\\FILE.TXT");
    EXPECT_EQ(UpperAscii("@[`{azAZ09"), "@[`{AZAZ09");
}

TEST(LowerAscii, ChangesOnlyTheSingleByteLetters)
{
    EXPECT_EQ(LowerAscii("C:\\DATA\\File.TXT"), "c:\\data\\file.txt");
    EXPECT_EQ(LowerAscii("@[`{azAZ09"), "@[`{azaz09");
}

TEST(UpperAscii, NeverTouchesASecondByte)
{
    EXPECT_EQ(UpperAscii(Bytes("83 61 61")), Bytes("83 61 41"));       // ヂa
    EXPECT_EQ(UpperAscii(Bytes("61 83 7A 7A")), Bytes("41 83 7A 5A")); // the second byte 7A stays
}

TEST(LowerAscii, NeverTouchesASecondByte)
{
    EXPECT_EQ(LowerAscii(Bytes("83 41 41")), Bytes("83 41 61")); // アA
    EXPECT_EQ(LowerAscii(Bytes("82 60 5A")), Bytes("82 60 7A")); // Ａ stays full-width upper case
}

TEST(UpperAscii, LeavesFullWidthLettersAndHalfWidthKatakanaAlone)
{
    EXPECT_EQ(UpperAscii(Bytes("82 81 B1 DF")), Bytes("82 81 B1 DF")); // ａｱﾟ
}

TEST(UpperAscii, ALeadByteAtTheVeryEndIsCopiedAndEndsTheWalk)
{
    EXPECT_EQ(UpperAscii(Bytes("61 62 83")), Bytes("41 42 83"));
    EXPECT_EQ(LowerAscii(Bytes("41 83")), Bytes("61 83"));
    EXPECT_EQ(UpperAscii(Bytes("83")), Bytes("83"));
    EXPECT_EQ(UpperAscii(""), "");
}

} // namespace
} // namespace kivra::platform

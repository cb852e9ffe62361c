// The 8.3 rules: legal short names and the aliases of the other names.

#include "platform/posix/ShortNames.h"

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace kivra::platform::posix {
namespace {

using test::Bytes;

TEST(ShortName, LegalNamesAreOneToEightBytesWithAnOptionalExtensionOfUpToThree)
{
    EXPECT_TRUE(IsLegalShortName("README"));
    EXPECT_TRUE(IsLegalShortName("readme.txt"));
    EXPECT_TRUE(IsLegalShortName("ABCDEFGH.IJK"));
    EXPECT_TRUE(IsLegalShortName("PROGRA~1"));
    EXPECT_TRUE(IsLegalShortName("."));
    EXPECT_TRUE(IsLegalShortName(".."));
    EXPECT_FALSE(IsLegalShortName(""));
    EXPECT_FALSE(IsLegalShortName("ABCDEFGHI"));
    EXPECT_FALSE(IsLegalShortName("A.BCDE"));
    EXPECT_FALSE(IsLegalShortName("A.B.C"));
    EXPECT_FALSE(IsLegalShortName(".PROFILE"));
    EXPECT_FALSE(IsLegalShortName("NAME."));
}

TEST(ShortName, BlanksControlsAndReservedCharactersMakeANameLong)
{
    for (const char* name :
         {"A B", "A+B", "A,B", "A;B", "A=B", "A[B", "A]B", "A\"B", "A*B", "A?B", "A<B", "A|B", "A:B"})
        EXPECT_FALSE(IsLegalShortName(name)) << name;
    EXPECT_FALSE(IsLegalShortName(std::string("A\x01"
                                              "B")));
}

TEST(ShortName, DoubleByteCharactersCountTwoBytesAndTheirSecondBytesAreNoSeparators)
{
    // 表 is 95 5C, ソ is 83 5C, ー is 81 5B: second bytes "\" and "[".
    EXPECT_TRUE(IsLegalShortName(Bytes("95 5C 83 5C 81 5B")));
    EXPECT_TRUE(IsLegalShortName(Bytes("95 5C 95 5C 95 5C 95 5C 2E 83 5C")));
    EXPECT_FALSE(IsLegalShortName(Bytes("95 5C 95 5C 95 5C 95 5C 41")));
    EXPECT_FALSE(IsLegalShortName(Bytes("41 2E 95 5C 95 5C")));
}

TEST(ShortName, HashIsFnv1aOverUtf16LittleEndianWithItsHalvesCombined)
{
    EXPECT_EQ(ShortNameHash(u"Program Files"), 0x84E0);
    EXPECT_EQ(ShortNameHash(u"longfilename5.txt"), 0x3600);
}

TEST(ShortName, AliasPartsAreUpperCasedWithoutLeadingPeriodsOrBlanks)
{
    const AliasParts program = AliasPartsOf(u"Program Files");
    EXPECT_EQ(program.basis, "PROGRA");
    EXPECT_EQ(program.extension, "");
    const AliasParts profile = AliasPartsOf(u".bash.profile");
    EXPECT_EQ(profile.basis, "BASH");
    EXPECT_EQ(profile.extension, "PRO");
    const AliasParts dotted = AliasPartsOf(u"a.b c.d.tar.gz");
    EXPECT_EQ(dotted.basis, "ABCDTA");
    EXPECT_EQ(dotted.extension, "GZ");
}

TEST(ShortName, AliasPartsReplaceCharactersAWindowsNameOr932CannotHold)
{
    const AliasParts replaced = AliasPartsOf(u"a+b,c;d.[x]");
    EXPECT_EQ(replaced.basis, "A_B_C_");
    EXPECT_EQ(replaced.extension, "_X_");
    EXPECT_EQ(AliasPartsOf(u"café.txt").basis, "CAF_");
    EXPECT_EQ(AliasPartsOf(u"a\\b:c").basis, "A_B_C");
}

TEST(ShortName, AliasPartsNeverCutADoubleByteCharacter)
{
    // 日本語ファイル.テキスト: six bytes hold three characters; the
    // extension's three bytes hold one.
    const AliasParts parts = AliasPartsOf(u"日本語ファイル.テキスト");
    EXPECT_EQ(parts.basis, Bytes("93 FA 96 7B 8C EA"));
    EXPECT_EQ(parts.extension, Bytes("83 65"));
    // "a表..." : one byte and a pair leave five bytes at a limit of six.
    EXPECT_EQ(AliasPartsOf(u"ab表表表").basis, Bytes("41 42 95 5C 95 5C"));
    EXPECT_EQ(AliasPartsOf(u"abc表表").basis, Bytes("41 42 43 95 5C"));
}

TEST(ShortName, AsciiNamesSplitAsNamesWithOtherCharactersDoWhereThoseAreCutOff)
{
    // The same name with a character beyond the six bytes of the basis and
    // the three of the extension: the same parts.
    for (const auto& [ascii, other] : {std::pair{u"x y+z,w;long.t[x]t", u"x y+z,w;long\u00e9.t[x]t\u00e9"},
                                       std::pair{u"...Program Files", u"...Program Files\u65e5"},
                                       std::pair{u"a.b c.d.tar.gz_", u"a.b c.d.tar\u00e9.gz_\u00e9"}}) {
        const AliasParts fromAscii = AliasPartsOf(ascii);
        const AliasParts fromOther = AliasPartsOf(other);
        EXPECT_EQ(fromAscii.basis, fromOther.basis);
        EXPECT_EQ(fromAscii.extension, fromOther.extension);
    }
    EXPECT_EQ(AliasPartsOf(u"x y+z,w;long.t[x]t").basis, "XY_Z_W");
    EXPECT_EQ(AliasPartsOf(u"x y+z,w;long.t[x]t").extension, "T_X");
    EXPECT_EQ(AliasPartsOf(u"tab\tand\x7f").basis, "TAB_AN");
    EXPECT_EQ(AliasPartsOf(u"...").basis, "");
}

TEST(ShortName, AliasesCountFromOneToFourThenTakeTheHashForm)
{
    AliasAssigner assigner;
    EXPECT_EQ(assigner.Assign(u"longfilename1.txt"), "LONGFI~1.TXT");
    EXPECT_EQ(assigner.Assign(u"longfilename2.txt"), "LONGFI~2.TXT");
    EXPECT_EQ(assigner.Assign(u"longfilename3.txt"), "LONGFI~3.TXT");
    EXPECT_EQ(assigner.Assign(u"longfilename4.txt"), "LONGFI~4.TXT");
    EXPECT_EQ(assigner.Assign(u"longfilename5.txt"), "LO3600~1.TXT");
}

TEST(ShortName, ReservedLegalNamesAreNeverHandedOut)
{
    AliasAssigner assigner;
    assigner.Reserve("PROGRA~1");
    EXPECT_EQ(assigner.Assign(u"Program Files"), "PROGRA~2");
}

TEST(ShortName, ReservedNamesStayTakenAsTheAssignerGrows)
{
    AliasAssigner assigner;
    for (int i = 1; i <= 4; ++i) assigner.Reserve("PROGRA~" + std::to_string(i));
    for (int i = 0; i < 500; ++i) assigner.Reserve("N" + std::to_string(i) + ".TXT");
    EXPECT_EQ(assigner.Assign(u"Program Files"), "PR84E0~1");
    EXPECT_EQ(assigner.Assign(u"n123 long name"), "N123LO~1");
}

TEST(ShortName, ANameLongerThanAnyShortNameReservesNothing)
{
    AliasAssigner assigner;
    assigner.Reserve("PROGRA~1.TXTX");
    EXPECT_EQ(assigner.Assign(u"Program Files.txtx"), "PROGRA~1.TXT");
}

TEST(ShortName, AfterNineHashTailsTheNumberedFormGoesOnWithAShorterBasis)
{
    AliasAssigner assigner;
    // Same name every time: same hash, so its nine hash tails run out.
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(assigner.Assign(u"Program Files"), "PROGRA~" + std::to_string(i));
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(assigner.Assign(u"Program Files"), "PR84E0~" + std::to_string(i));
    for (int i = 5; i <= 9; ++i) EXPECT_EQ(assigner.Assign(u"Program Files"), "PROGRA~" + std::to_string(i));
    EXPECT_EQ(assigner.Assign(u"Program Files"), "PROGR~10");
}

TEST(ShortName, ManyNamesSharingTheirFirstSixCharactersAllGetDistinctAliases)
{
    AliasAssigner assigner;
    std::unordered_set<std::string> seen;
    for (int i = 0; i < 20000; ++i) {
        const std::string alias = assigner.Assign(u"commonprefix" + std::u16string(1, u'a' + i % 26) +
                                                  std::u16string(1, static_cast<char16_t>(u'0' + (i / 26) % 10)) +
                                                  std::u16string(1, static_cast<char16_t>(0x4E00 + i / 260)));
        EXPECT_LE(alias.size(), 8u);
        EXPECT_TRUE(seen.insert(alias).second) << alias;
    }
}

} // namespace
} // namespace kivra::platform::posix

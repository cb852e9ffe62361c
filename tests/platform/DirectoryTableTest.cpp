// A directory as Windows shows it: NTFS order, shown names, aliases, and the
// look-ups by shown name, upper case and alias, in small and large
// directories.

#include "platform/posix/DirectoryTable.h"

#include "platform/CodePage.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace kivra::platform::posix {
namespace {

using test::Bytes;

// Linux names: U+00E9, U+65E5, U+1F600 (a surrogate pair from D83D), a byte
// that is no UTF-8 (DCFF), U+FF41 (upper case U+FF21).
const std::string EAcute = "\xC3\xA9";
const std::string Sun = "\xE6\x97\xA5";
const std::string Smiley = "\xF0\x9F\x98\x80";
const std::string NoUtf8 = "\xFF";
const std::string WideA = "\xEF\xBD\x81";

std::vector<std::string> LinuxNames(const DirectoryTable& table)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < table.Size(); ++i) names.emplace_back(table[i].linuxName);
    return names;
}

// The Linux name of the entry found, or "(none)".
std::string Found(const DirectoryTable& table, std::string_view name)
{
    const std::size_t entry = table.Find(name);
    return entry == DirectoryTable::NotFound ? "(none)" : std::string(table[entry].linuxName);
}

TEST(DirectoryTable, EntriesFollowTheirUpperCasedNamesWithTiesBrokenByTheirBytes)
{
    const DirectoryTable table({"b", "_x", "a", "Z", "A"});
    EXPECT_EQ(LinuxNames(table), (std::vector<std::string>{"A", "a", "b", "Z", "_x"}));
}

TEST(DirectoryTable, AsciiAndOtherNamesShareOneOrderOfUtf16Units)
{
    const DirectoryTable table({WideA, NoUtf8, "z", Smiley, Sun, EAcute, "E"});
    EXPECT_EQ(LinuxNames(table), (std::vector<std::string>{"E", "z", EAcute, Sun, Smiley, NoUtf8, WideA}));
    EXPECT_EQ(table[1].upperName, u"Z");
    EXPECT_EQ(table[3].upperName, u"\u65E5");
    EXPECT_EQ(table[6].upperName, u"\uFF21");
}

TEST(DirectoryTable, CharactersThat932CannotHoldAreShownAsQuestionMarks)
{
    const DirectoryTable table({"caf" + EAcute});
    EXPECT_EQ(table[0].name, "caf?");
    EXPECT_EQ(table[0].upperName, u"CAF?");
    EXPECT_EQ(table[0].alias, "CAF_~1");
}

TEST(DirectoryTable, NamesOf932CharactersAreShownIn932AndNeedNoAliasWhenShort)
{
    const DirectoryTable table({Sun, WideA});
    EXPECT_EQ(std::string(table[0].name), Bytes("93 FA"));
    EXPECT_EQ(std::string(table[1].name), Bytes("82 81"));
    EXPECT_TRUE(table[0].alias.empty());
    EXPECT_TRUE(table[1].alias.empty());
}

TEST(DirectoryTable, LongNamesOf932CharactersGetAliasesOf932Bytes)
{
    const std::string name = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4"
                             "\xE3\x83\xAB.txt"; // 日本語ファイル.txt
    const DirectoryTable table({name});
    EXPECT_EQ(std::string(table[0].alias), Bytes("93 FA 96 7B 8C EA 7E 31 2E 54 58 54")); // 日本語~1.TXT
    EXPECT_EQ(table[0].linuxName, name);
}

TEST(DirectoryTable, BytesThatAreNoUtf8AreShownAsQuestionMarksAndKeptInTheLinuxName)
{
    const DirectoryTable table({"caf\xE9.txt"});
    EXPECT_EQ(table[0].linuxName, "caf\xE9.txt");
    EXPECT_EQ(table[0].name, "caf?.txt");
    EXPECT_EQ(table[0].upperName, u"CAF?.TXT");
    EXPECT_EQ(table[0].alias, "CAF_~1.TXT");
}

TEST(DirectoryTable, NamesShownAlikeAreToldApartByANumberAndKeepTheirOwnAliases)
{
    // Both are shown "a?b"; ":" sorts before "?".
    const DirectoryTable table({"a?b", "a:b"});
    EXPECT_EQ(table[0].linuxName, "a:b");
    EXPECT_EQ(table[0].name, "a?b");
    EXPECT_EQ(table[0].alias, "A_B~1");
    EXPECT_EQ(table[1].linuxName, "a?b");
    EXPECT_EQ(table[1].name, "a?b~2");
    EXPECT_EQ(table[1].alias, "A_B~2") << "a lossy name is always a long name";
    EXPECT_EQ(table[1].upperName, u"A?B~2");
}

TEST(DirectoryTable, NamesEqualWithoutRegardToCaseTakeTheSmallestNumberNoOtherShownNameTakes)
{
    const DirectoryTable table({"data", "DATA~2", "Data", "DATA", "data~3x"});
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < table.Size(); ++i) shown.emplace_back(table[i].name);
    // "DATA~2" is a name of its own, so "Data" takes 3 and "data" 4.
    EXPECT_EQ(shown, (std::vector<std::string>{"DATA", "Data~3", "data~4", "DATA~2", "data~3x"}));
    EXPECT_TRUE(table[0].alias.empty());
    EXPECT_TRUE(table[1].alias.empty()) << "Data~3 is a legal short name";
    EXPECT_EQ(Found(table, "DATA~3"), "Data");
    EXPECT_EQ(Found(table, "data"), "DATA");
    EXPECT_EQ(Found(table, "data~2"), "DATA~2");
}

TEST(DirectoryTable, ManyNamesShownAlikeAreNumberedInTurn)
{
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i)
        names.push_back("\xF0\x9F\x98" + std::string(1, static_cast<char>(0x80 + i % 64)) + "\xF0\x9F\x98" +
                        std::string(1, static_cast<char>(0x80 + i / 64)));
    const DirectoryTable table(names);
    std::set<std::string> shown;
    for (std::size_t i = 0; i < table.Size(); ++i) shown.insert(UpperAscii(std::string(table[i].name)));
    EXPECT_EQ(shown.size(), names.size());
    EXPECT_EQ(table[0].name, "??");
    EXPECT_EQ(table[2999].name, "??~3000");
    EXPECT_EQ(Found(table, "??~1234"), std::string(table[1233].linuxName));
}

TEST(DirectoryTable, CharactersBeyondTheBmpAndStrayBytesCanCollideToo)
{
    // Both are shown "?", the pair first (D83D before DCFF).
    const DirectoryTable table({NoUtf8, Smiley});
    EXPECT_EQ(table[0].linuxName, Smiley);
    EXPECT_EQ(table[0].name, "?");
    EXPECT_EQ(table[0].alias, "_~1");
    EXPECT_EQ(table[1].linuxName, NoUtf8);
    EXPECT_EQ(table[1].name, "?~2");
    EXPECT_EQ(table[1].alias, "_~2");
}

TEST(DirectoryTable, EntriesKeepTheKindTheListingGave)
{
    const DirectoryTable table({"b", "a", "c"}, {4, 8, 10});
    EXPECT_EQ(table[0].kind, 8);
    EXPECT_EQ(table[1].kind, 4);
    EXPECT_EQ(table[2].kind, 10);
    EXPECT_EQ(DirectoryTable({"x"})[0].kind, 0);
}

TEST(DirectoryTable, ShortNameIsTheAliasOrElseTheName)
{
    const DirectoryTable table({"Program Files", "README.TXT"});
    EXPECT_EQ(std::string_view(table.ShortName(0)), "PROGRA~1");
    EXPECT_EQ(std::string_view(table.ShortName(1)), "README.TXT");
}

TEST(DirectoryTable, TextsEndWithANullByteForCallsThatTakeCStrings)
{
    const DirectoryTable table({"Program Files", "a:b", "a?b", Sun, "x"});
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const TableEntry entry = table[i];
        EXPECT_EQ(std::strlen(entry.linuxName.c_str()), entry.linuxName.size());
        EXPECT_EQ(std::strlen(entry.name.c_str()), entry.name.size());
        EXPECT_EQ(std::strlen(entry.alias.c_str()), entry.alias.size());
    }
}

TEST(DirectoryTable, AnEmptyDirectoryFindsNothing)
{
    const DirectoryTable table({});
    EXPECT_EQ(table.Size(), 0u);
    EXPECT_EQ(table.Find("x"), DirectoryTable::NotFound);
    EXPECT_EQ(table.Find(""), DirectoryTable::NotFound);
    EXPECT_EQ(table.FindLinux("x"), DirectoryTable::NotFound);
}

TEST(DirectoryTable, FindLinuxComparesTheBytesExactly)
{
    const DirectoryTable table({"readme", "README", "caf\xE9"});
    EXPECT_EQ(table[table.FindLinux("readme")].linuxName, "readme");
    EXPECT_EQ(table[table.FindLinux("caf\xE9")].linuxName, "caf\xE9");
    EXPECT_EQ(table.FindLinux("Readme"), DirectoryTable::NotFound);
    EXPECT_EQ(table.FindLinux("caf?"), DirectoryTable::NotFound);
}

// The same look-ups in a directory read entry by entry and in one large
// enough to be indexed: the filler names add entries, never answers.
class DirectoryTableLookup : public testing::TestWithParam<std::size_t> {
protected:
    static std::vector<std::string> Names(std::size_t fillers)
    {
        std::vector<std::string> names = {"README", "readme",      "Program Files", "a:b",  "a?b",  Sun,
                                          WideA,    "caf\xE9.txt", Smiley,          NoUtf8, "x.TXT"};
        for (std::size_t i = 0; i < fillers; ++i) names.push_back("filler number " + std::to_string(i) + ".dat");
        return names;
    }
    const DirectoryTable table_{Names(GetParam())};
};

TEST_P(DirectoryTableLookup, EachShownNameFindsItsOwnEntry)
{
    EXPECT_EQ(Found(table_, "README"), "README");
    EXPECT_EQ(Found(table_, "readme~2"), "readme");
    EXPECT_EQ(Found(table_, "Program Files"), "Program Files");
    EXPECT_EQ(Found(table_, "caf?.txt"), "caf\xE9.txt");
    EXPECT_EQ(Found(table_, Bytes("93 FA")), Sun);
}

TEST_P(DirectoryTableLookup, ANameInAnotherCaseFindsTheEntryShowingIt)
{
    EXPECT_EQ(Found(table_, "Readme"), "README");
    EXPECT_EQ(Found(table_, "readme"), "README");
    EXPECT_EQ(Found(table_, "README~2"), "readme");
    EXPECT_EQ(Found(table_, "PROGRAM FILES"), "Program Files");
    EXPECT_EQ(Found(table_, "x.txt"), "x.TXT");
    EXPECT_EQ(Found(table_, "CAF?.TXT"), "caf\xE9.txt");
    EXPECT_EQ(Found(table_, Bytes("82 60")), WideA); // Ａ finds ａ
}

TEST_P(DirectoryTableLookup, AnAliasInAnyCaseFindsItsEntry)
{
    EXPECT_EQ(Found(table_, "PROGRA~1"), "Program Files");
    EXPECT_EQ(Found(table_, "progra~1"), "Program Files");
    EXPECT_EQ(Found(table_, "caf_~1.txt"), "caf\xE9.txt");
    EXPECT_EQ(Found(table_, "A_B~1"), "a:b");
}

TEST_P(DirectoryTableLookup, NamesShownAlikeAreFoundUnderWhatIsShownAndByTheirAliases)
{
    EXPECT_EQ(Found(table_, "a?b"), "a:b");
    EXPECT_EQ(Found(table_, "A?B~2"), "a?b");
    EXPECT_EQ(Found(table_, "A_B~2"), "a?b");
    EXPECT_EQ(Found(table_, "a_b~2"), "a?b");
    EXPECT_EQ(Found(table_, "?"), Smiley);
    EXPECT_EQ(Found(table_, "?~2"), NoUtf8);
    EXPECT_EQ(Found(table_, "_~2"), NoUtf8);
    EXPECT_EQ(Found(table_, "_~1"), Smiley);
}

TEST_P(DirectoryTableLookup, NamesNotInTheDirectoryAreNotFound)
{
    EXPECT_EQ(Found(table_, "PROGRA~2"), "(none)");
    EXPECT_EQ(Found(table_, "Program"), "(none)");
    EXPECT_EQ(Found(table_, ""), "(none)");
    EXPECT_EQ(Found(table_, "caf\xE9.txt"), "(none)"); // a Linux name that is not shown
    EXPECT_EQ(Found(table_, std::string(300, 'a')), "(none)");
}

INSTANTIATE_TEST_SUITE_P(SmallAndLarge, DirectoryTableLookup, testing::Values(0u, 40u, 3000u));

TEST(DirectoryTable, ADirectoryWithoutLongNamesHasNoAliasesToFind)
{
    const DirectoryTable table({"A.TXT", "b.txt", "C"});
    for (std::size_t i = 0; i < table.Size(); ++i) EXPECT_TRUE(table[i].alias.empty());
    EXPECT_EQ(table.Find("A~1.TXT"), DirectoryTable::NotFound);
    EXPECT_EQ(Found(table, "B.TXT"), "b.txt");
}

TEST(DirectoryTable, ManyNamesSharingTheirFirstSixCharactersAreEachFoundByTheirAlias)
{
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i) names.push_back("commonprefix number " + std::to_string(i) + ".txt");
    const DirectoryTable table(names);
    std::set<std::string> aliases;
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const std::string alias(table[i].alias);
        EXPECT_TRUE(aliases.insert(alias).second) << alias;
        EXPECT_EQ(table.Find(alias), i) << alias;
        EXPECT_EQ(table.Find(LowerAscii(alias)), i) << alias;
        EXPECT_EQ(table.Find(UpperAscii(std::string(table[i].name))), i);
    }
    EXPECT_EQ(aliases.size(), names.size());
}

} // namespace
} // namespace kivra::platform::posix

// Filling the formats of the text table.
#include "app/TextFormat.h"

#include <gtest/gtest.h>

namespace kivra::test {
namespace {

using app::FormatText;

TEST(FormatText, FillsEachPlaceInOrderWithTheArgumentsAsTheyAre)
{
    EXPECT_EQ(FormatText("%s: %s", {"c", "[DATA]"}), "c: [DATA]");
    EXPECT_EQ(FormatText("%s ﾘｿｰｽ", {"TForm1"}), "TForm1 ﾘｿｰｽ");
    EXPECT_EQ(FormatText("I/O (%d) at %p", {"21", "0040A1B2"}), "I/O (21) at 0040A1B2");
    // An argument's own "%s" or "%d" is text, not a place.
    EXPECT_EQ(FormatText("[%s]", {"100%s%d"}), "[100%s%d]");
}

TEST(FormatText, TakesTwoPercentSignsForOneAndLeavesOtherSignsAlone)
{
    EXPECT_EQ(FormatText("%s%%", {"50"}), "50%");
    EXPECT_EQ(FormatText("%x %", {}), "%x %");
}

TEST(FormatText, APlaceWithoutAnArgumentStaysEmpty) { EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and "); }

TEST(FormatText, DoubleByteCharactersPassThroughWhole)
{
    // "表" is 0x95 0x5C: its second byte is a backslash, not a place.
    const platform::Text table = "\x95\x5C";
    EXPECT_EQ(FormatText(table + "%s", {table}), table + table);
}

} // namespace
} // namespace kivra::test

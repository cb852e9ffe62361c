// The program's texts in code page 932: exact bytes, blanks included.
#include "resources/Texts.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <vector>

namespace kivra::texts {
namespace {

using test::Hex;

// Blanks before the first and after the last other character.
std::pair<std::size_t, std::size_t> Blanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {text.size(), text.size()};
    return {first, text.size() - 1 - text.find_last_not_of(' ')};
}

TEST(Texts, TheNormalLineIsTheEightBytesOfItsFourCharacters)
{
    EXPECT_EQ(Hex(Texts().NormalLine), "90 B3 8F ED 82 C5 82 B7");
}

TEST(Texts, TheCounterWordFollowsOneBlank) { EXPECT_EQ(Hex(Texts().CountSuffix), "20 8C C2 82 C5 82 B7 81 42"); }

TEST(Texts, HalfWidthKatakanaStaySingleBytes)
{
    EXPECT_EQ(Hex(Texts().BtnKomojiFileCaption), "BA D3 BC DE CC A7 B2 D9 28 26 4B 29"); // ｺﾓｼﾞﾌｧｲﾙ(&K)
    EXPECT_EQ(Hex(Texts().TitleError), "B4 D7 B0");                                      // ｴﾗｰ
}

TEST(Texts, EachSaveFailureIsSixtyOneBytesNamingItsFile)
{
    const auto& t = Texts();
    const std::vector<std::pair<std::string, std::string>> messages = {
        {t.SaveFailedLongNames, t.ResultFileLongNames},     {t.SaveFailedShortNames, t.ResultFileShortNames},
        {t.SaveFailedDifferent, t.ResultFileDifferent},     {t.SaveFailedLongFiles, t.ResultFileLongFiles},
        {t.SaveFailedKomojiFiles, t.ResultFileKomojiFiles},
    };
    for (const auto& [message, file] : messages) {
        EXPECT_EQ(message.size(), 61u) << file;
        EXPECT_EQ(Blanks(message), std::make_pair(std::size_t{3}, std::size_t{11})) << file;
        EXPECT_EQ(message.substr(3, file.size() + 1), file + " ");
    }
}

TEST(Texts, TheResultFilesHaveTheirFixedUpperCaseNames)
{
    const auto& t = Texts();
    EXPECT_EQ(t.ResultFileLongNames, "KIVRALNG.TXT");
    EXPECT_EQ(t.ResultFileShortNames, "KIVRASHT.TXT");
    EXPECT_EQ(t.ResultFileDifferent, "KIVRADIF.TXT");
    EXPECT_EQ(t.ResultFileLongFiles, "KIVRALFN.TXT");
    EXPECT_EQ(t.ResultFileKomojiFiles, "KIVRAKOM.TXT");
    EXPECT_EQ(t.HelpFileName, "KIVRA.HLP");
}

TEST(Texts, MainMessagesHaveFourBlanksBeforeAndElevenAfter)
{
    const auto& t = Texts();
    for (const std::string* text : {&t.RootMissing, &t.EmptyLongNames, &t.EmptyShortNames, &t.EmptyDifferent,
                                    &t.EmptyLongFiles, &t.EmptyKomojiFiles})
        EXPECT_EQ(Blanks(*text), std::make_pair(std::size_t{4}, std::size_t{11})) << Hex(*text);
}

TEST(Texts, TheTwoVerdictsHaveFourBlanksBeforeAndTwelveAfter)
{
    const auto& t = Texts();
    EXPECT_EQ(Blanks(t.VerdictFound), std::make_pair(std::size_t{4}, std::size_t{12}));
    EXPECT_EQ(Blanks(t.VerdictNormal), std::make_pair(std::size_t{4}, std::size_t{12}));
    EXPECT_EQ(Hex(t.VerdictNormal), "20 20 20 20 90 B3 8F ED 82 C5 82 B7 81 42 20 20 20 20 20 20 20 20 20 20 20 20");
}

TEST(Texts, CountingTextsEndWithOneBlank)
{
    const auto& t = Texts();
    for (const std::string* text :
         {&t.CountLongNames, &t.CountShortNames, &t.CountDifferent, &t.CountLongFiles, &t.CountKomojiFiles})
        EXPECT_EQ(Blanks(*text), std::make_pair(std::size_t{0}, std::size_t{1})) << Hex(*text);
}

TEST(Texts, TheProgressGapIsFourBlanks) { EXPECT_EQ(Texts().ProgressGap, "    "); }

TEST(Texts, EveryRowConvertsWithoutLoss)
{
    struct Row {
        const char* name;
        std::string_view utf8;
        const std::string& text;
    };
    const auto& t = Texts();
    const std::vector<Row> rows = {
#define KIVRA_TEXT(name, utf8) {#name, utf8, t.name},
#include "resources/Texts.def"
#undef KIVRA_TEXT
    };
    ASSERT_FALSE(rows.empty());
    for (const Row& row : rows) {
        EXPECT_FALSE(row.text.empty()) << row.name;
        EXPECT_EQ(platform::Utf8FromCp932(row.text), row.utf8) << row.name;
    }
}

} // namespace
} // namespace kivra::texts

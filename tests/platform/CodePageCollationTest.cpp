// CompareStringA through the user's collation.
#include "platform/CodePage.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kivra::platform {
namespace {

using test::Bytes;

int Compare(DWORD flags, const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size()));
}

TEST(CompareStringA, EqualTextsAreEqualWithAndWithoutIgnoringCase)
{
    for (const DWORD flags : {DWORD{0}, NORM_IGNORECASE}) {
        EXPECT_EQ(Compare(flags, "C:\\DATA", "C:\\DATA"), CSTR_EQUAL);
        EXPECT_EQ(Compare(flags, Bytes("95 5C 83 5C"), Bytes("95 5C 83 5C")), CSTR_EQUAL);
        EXPECT_EQ(Compare(flags, "", ""), CSTR_EQUAL);
    }
}

TEST(CompareStringA, IgnoringCaseMakesLetterCaseEqual)
{
    EXPECT_EQ(Compare(NORM_IGNORECASE, "c:\\data", "C:\\DATA"), CSTR_EQUAL);
    EXPECT_EQ(Compare(NORM_IGNORECASE, Bytes("82 81"), Bytes("82 60")), CSTR_EQUAL); // ａ Ａ
    EXPECT_EQ(Compare(NORM_IGNORECASE, Bytes("84 76"), Bytes("84 46")), CSTR_EQUAL); // ё Ё
}

TEST(CompareStringA, WithoutFlagsLetterCaseCounts)
{
    EXPECT_NE(Compare(0, "c:\\data", "C:\\DATA"), CSTR_EQUAL);
    EXPECT_NE(Compare(0, Bytes("82 81"), Bytes("82 60")), CSTR_EQUAL);
}

TEST(CompareStringA, OrdersTexts)
{
    EXPECT_EQ(Compare(0, "abc", "abd"), CSTR_LESS_THAN);
    EXPECT_EQ(Compare(0, "abd", "abc"), CSTR_GREATER_THAN);
    EXPECT_EQ(Compare(NORM_IGNORECASE, "ABC", "abd"), CSTR_LESS_THAN);
    EXPECT_EQ(Compare(NORM_IGNORECASE, "DIR", "DIRX"), CSTR_LESS_THAN);
}

TEST(CompareStringA, DifferentTextsAreNotEqual)
{
    EXPECT_NE(Compare(NORM_IGNORECASE, Bytes("95 5C"), Bytes("83 5C")), CSTR_EQUAL); // 表 ソ
    EXPECT_NE(Compare(NORM_IGNORECASE, "A\\B", "A\\C"), CSTR_EQUAL);
}

TEST(CompareStringA, MinusOneMeansUpToTheZero)
{
    const char* text = "abc";
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, text, -1, "abcdef", 3), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "abcdef", -1, text, -1), CSTR_GREATER_THAN);
}

TEST(CompareStringA, BadArgumentsGiveZero)
{
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, nullptr, 0, "a", 1), 0);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "a", 1, nullptr, -1), 0);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, "a", -2, "a", 1), 0);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0x10000000, "a", 1, "a", 1), 0);
}

} // namespace
} // namespace kivra::platform

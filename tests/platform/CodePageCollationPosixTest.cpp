// CompareStringA in a C or POSIX environment: ICU reads that locale as
// en_US_POSIX, whose collation keeps letter cases apart; case is still
// ignored when asked for.
#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <cstring>

namespace kivra::platform {
namespace {

// Before main(), so before the first comparison makes the collator.
const bool posixLocale = [] {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US_POSIX"), status);
    return U_SUCCESS(status);
}();

TEST(CompareStringAInThePosixLocale, IgnoringCaseMakesLetterCaseEqual)
{
    ASSERT_TRUE(posixLocale);
    ASSERT_STREQ(icu::Locale::getDefault().getVariant(), "POSIX");
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "c:\\data", -1, "C:\\DATA", -1), CSTR_EQUAL);
    EXPECT_NE(CompareStringA(LOCALE_USER_DEFAULT, 0, "c:\\data", -1, "C:\\DATA", -1), CSTR_EQUAL);
}

} // namespace
} // namespace kivra::platform

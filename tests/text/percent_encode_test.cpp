#include "core/text/percent_encode.h"

#include <gtest/gtest.h>

#include "core/text/code_page.h"
#include "support/test_support.h"

namespace vennadar {
namespace {

struct Case {
    const char* name;
    Text input;
    bool keep_safe;
    bool as_utf8;
    Text expected;
};

class PercentEncoding : public ::testing::TestWithParam<Case> {};

TEST_P(PercentEncoding, EncodesAsExpected) {
    const Case& c = GetParam();
    EXPECT_EQ(PercentEncode(c.input, c.keep_safe, c.as_utf8), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, PercentEncoding,
    ::testing::Values(
        Case{"EmptyGivesEmpty", "", false, true, ""},
        Case{"SearchSettingEscapesEveryByte", "a b 1", false, true, "%61%20%62%20%31"},
        Case{"KeepSafeLeavesLettersAndDigits", "a b 1", true, true, "a%20b%201"},
        Case{"LettersEscapedWithoutKeepSafe", "abc", false, false, "%61%62%63"},
        Case{"SmallByteGetsLeadingZero", "\t", false, false, "%09"},
        Case{"GbkKeywordEncodedFromUtf8", "\xD6\xD0", false, true, "%E4%B8%AD"},
        Case{"GbkKeywordOwnBytes", "\xD6\xD0", false, false, "%D6%D0"},
        Case{"KeepSafeStillEscapesSlashUnderscoreTilde", "a/b_c~d", true, false, "a%2Fb%5Fc%7Ed"},
        Case{"KeepSafePassesHyphenAndDot", "x-1.2", true, false, "x-1.2"},
        Case{"SpaceIsNeverPlus", " ", true, true, "%20"},
        Case{"StopsAtNul", Text("a\0b", 3), false, false, "%61"}),
    test::CaseName());

}  // namespace
}  // namespace vennadar

#include "core/text/code_page.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace vennadar {
namespace {

struct Conversion {
    const char* name;
    std::string utf8;
    std::string gbk;
};

class Utf8GbkPairs : public ::testing::TestWithParam<Conversion> {};

TEST_P(Utf8GbkPairs, ConvertBothWays) {
    const Conversion& c = GetParam();
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(Texts, Utf8GbkPairs,
                         ::testing::Values(Conversion{"Empty", "", ""},
                                           Conversion{"Ascii", "abc", "abc"},
                                           Conversion{"Zhong", "\xE4\xB8\xAD", "\xD6\xD0"},
                                           Conversion{"MixedLongerThanEightBytes",
                                                      "page \xE4\xB8\xAD 12345678 end",
                                                      "page \xD6\xD0 12345678 end"},
                                           Conversion{"FullWidthColon", "\xEF\xBC\x9A", "\xA3\xBA"},
                                           Conversion{"Euro", "\xE2\x82\xAC", "\x80"}),
                         test::CaseName());

struct Lossy {
    const char* name;
    std::string utf8;
    std::string gbk;
};

class MalformedOrUnmappable : public ::testing::TestWithParam<Lossy> {};

// Bad input never stops the conversion: each bad piece becomes "?" and the rest follows.
TEST_P(MalformedOrUnmappable, BecomesQuestionMarkAndGoesOn) {
    EXPECT_EQ(Utf8ToGbk(GetParam().utf8), GetParam().gbk);
}

INSTANTIATE_TEST_SUITE_P(Texts, MalformedOrUnmappable,
                         ::testing::Values(Lossy{"Hangul",
                                                 "a\xED\x95\x9C"
                                                 "b",
                                                 "a?b"},
                                           Lossy{"LoneContinuation",
                                                 "a\x80"
                                                 "b",
                                                 "a?b"},
                                           Lossy{"TruncatedAtEnd", "a\xE4\xB8", "a?"},
                                           Lossy{"TruncatedBeforeAscii", "\xE4\xB8x\xE4\xB8\xAD",
                                                 "?x\xD6\xD0"},
                                           Lossy{"Overlong",
                                                 "\xC0\xAF"
                                                 "z",
                                                 "??z"},
                                           Lossy{"OverlongThreeByte",
                                                 "\xE0\x80\xAF"
                                                 "z",
                                                 "???z"},
                                           Lossy{"SurrogateCodePoint",
                                                 "\xED\xA0\x80"
                                                 "z",
                                                 "???z"},
                                           Lossy{"BeyondUnicode",
                                                 "\xF4\x90\x80\x80"
                                                 "z",
                                                 "????z"},
                                           Lossy{"InvalidLeadBytes",
                                                 "\xFE\xFF"
                                                 "z",
                                                 "??z"},
                                           Lossy{"SupplementaryCharacter",
                                                 "\xF0\x9F\x98\x80"
                                                 "z",
                                                 "?z"}),
                         test::CaseName());

TEST(CodePage, TextEndsAtFirstNul) {
    const std::string utf8("ab\0\xE4\xB8\xAD", 5);
    EXPECT_EQ(Utf8ToGbk(utf8), "ab");
    EXPECT_EQ(GbkToUtf8(std::string("\xD6\xD0\0x", 4)), "\xE4\xB8\xAD");
    EXPECT_EQ(TextToWide(std::string("a\0b", 3)), (WideBuffer{u'a', u'\0'}));
    EXPECT_EQ(WideToText(std::u16string(u"a\0b", 3), kCodePageGbk), "a");
}

TEST(CodePage, WideBufferEndsWithOneNulUnit) {
    EXPECT_EQ(TextToWide(""), (WideBuffer{u'\0'}));
    EXPECT_EQ(TextToWide("\xE4\xB8\xAD", kCodePageUtf8), (WideBuffer{u'\x4E2D', u'\0'}));
    EXPECT_EQ(TextToWide("\xD6\xD0", kCodePageGbk), (WideBuffer{u'\x4E2D', u'\0'}));
    EXPECT_EQ(TextToWide("\xD6\xD0", kCodePageAnsi), (WideBuffer{u'\x4E2D', u'\0'}));
    EXPECT_EQ(TextToWide("\xF0\x9F\x98\x80"), (WideBuffer{u'\xD83D', u'\xDE00', u'\0'}));
}

TEST(CodePage, WideToTextDefaultsToGbkAndHandlesSurrogates) {
    EXPECT_EQ(WideToText(u"\x4E2D"), "\xD6\xD0");
    EXPECT_EQ(WideToText(u"\xD83D\xDE00x"), "?x");  // one character, one "?"
    EXPECT_EQ(WideToText(u"\xDC00x", kCodePageUtf8), "\xEF\xBF\xBDx");
    EXPECT_EQ(WideToText(u"\xD83D\xDE00", kCodePageUtf8), "\xF0\x9F\x98\x80");
}

// Every character that code page 936 maps survives GBK -> UTF-8 -> GBK, and the fused
// conversions agree with the two-step route through UTF-16.
TEST(CodePage, EveryValidGbkCharacterRoundTrips) {
    int mapped = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string utf8 = GbkToUtf8(gbk);
            ASSERT_EQ(utf8, WideToText(TextToWide(gbk, kCodePageGbk), kCodePageUtf8));
            if (utf8 == "\xEF\xBF\xBD") {
                continue;  // a code with no character
            }
            ++mapped;
            ASSERT_EQ(Utf8ToGbk(utf8), gbk) << std::hex << lead << ' ' << trail;
            ASSERT_EQ(WideToText(TextToWide(utf8, kCodePageUtf8), kCodePageGbk), gbk);
        }
    }
    EXPECT_GT(mapped, 21000);  // GBK has 21886 characters
}

TEST(CodePage, LoneGbkLeadByteDoesNotSwallowAscii) {
    EXPECT_EQ(GbkToUtf8("\xD6<a>"), "\xEF\xBF\xBD<a>");
    EXPECT_EQ(GbkToUtf8("x\xD6"), "x\xEF\xBF\xBD");
}

TEST(CodePage, UnknownCodePageGivesEmptyText) {
    EXPECT_EQ(TextToWide("abc", 1252), (WideBuffer{u'\0'}));
    EXPECT_EQ(WideToText(u"abc", 1252), "");
}

}  // namespace
}  // namespace vennadar

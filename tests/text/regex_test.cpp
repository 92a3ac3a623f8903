#include "core/text/regex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/listing/listing_parser.h"
#include "core/reader/reader_patterns.h"
#include "core/text/code_page.h"
#include "core/update/manifest_pattern.h"
#include "support/test_support.h"

namespace vennadar {
namespace {

std::vector<Text> WholeTexts(const std::string& pattern_utf8, const std::string& subject_utf8) {
    RegexPattern pattern;
    EXPECT_TRUE(pattern.Compile(Utf8ToGbk(pattern_utf8)));
    std::vector<Text> texts;
    for (const RegexMatch& match : pattern.FindAll(Utf8ToGbk(subject_utf8))) {
        texts.push_back(GbkToUtf8(match.WholeText()));
    }
    return texts;
}

struct StoredPattern {
    const char* name;
    const char* utf8;
    std::size_t gbk_length;
};

class StoredPatterns : public ::testing::TestWithParam<StoredPattern> {};

TEST_P(StoredPatterns, CompileExactlyAsStored) {
    const Text gbk = Utf8ToGbk(GetParam().utf8);
    EXPECT_EQ(gbk.size(), GetParam().gbk_length);
    RegexPattern pattern;
    EXPECT_TRUE(pattern.Compile(gbk));
}

INSTANTIATE_TEST_SUITE_P(Program, StoredPatterns,
                         ::testing::Values(StoredPattern{"Listing", kListingPatternUtf8, 78},
                                           StoredPattern{"Body", kBodyPatternUtf8, 155},
                                           StoredPattern{"Link", kLinkPatternUtf8, 30},
                                           StoredPattern{"Audio", kAudioPatternUtf8, 32},
                                           StoredPattern{"Manifest", kManifestPatternUtf8, 30}),
                         test::CaseName());

struct Search {
    const char* name;
    std::string pattern;
    std::string subject;
    std::vector<Text> expected;
};

class Searches : public ::testing::TestWithParam<Search> {};

TEST_P(Searches, FindAllGivesNonOverlappingMatchesInOrder) {
    EXPECT_EQ(WholeTexts(GetParam().pattern, GetParam().subject), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Semantics, Searches,
    ::testing::Values(
        Search{"CarriageReturnIsOrdinary", "a.b", "a\rb a\nb", {"a\rb"}},
        Search{"DotStopsAtLineFeed", "x.+", "x12\nx3", {"x12", "x3"}},
        Search{"CaseSensitive", "abc", "ABC abc", {"abc"}},
        Search{"NonOverlapping", "aa", "aaaaa", {"aa", "aa"}},
        Search{"LazyStopsEarly", "<b>.+?</b>", "<b>1</b><b>2</b>", {"<b>1</b>", "<b>2</b>"}},
        Search{"EmptyMatchesDoNotLoop", "x*", "ab", {"", "", ""}},
        Search{"EmptyThenNonEmpty", "x*|b", "ab", {"", "", "b", ""}},
        Search{"LookBehindAndAhead", "(?<=<v>).+?(?=</v>)", "<v>1.0</v><v>2</v>", {"1.0", "2"}},
        Search{"AsciiWhiteSpaceOnly",
               "a\\sb",
               "a b a\xE3\x80\x80"
               "b",
               {"a b"}},
        Search{"AsciiDigitsOnly",
               "\\d+",
               "12\xEF\xBC\x93"
               "4",
               {"12", "4"}},
        Search{"ChineseLiteral", "正文：", "前正文：后", {"正文："}},
        Search{"CountedRepetition", "\\d{4}-\\d{2}", "2019-05 2019-5", {"2019-05"}},
        Search{"MalformedBraceIsLiteral", "\\s{5<x>}", " {5<x>}", {" {5<x>}"}}),
    test::CaseName());

// A GBK trail byte can look like an ASCII letter or bracket: "\xB0\x61" has the trail byte "a"
// and "\x81\x5D" the trail byte "]". Neither may be matched as that ASCII character.
TEST(RegexGbk, TrailBytesAreNeverAsciiCharacters) {
    RegexPattern pattern;
    ASSERT_TRUE(pattern.Compile("a"));
    EXPECT_TRUE(pattern.FindAll(Text("\xB0\x61\xB0\x61")).empty());
    ASSERT_TRUE(pattern.Compile("\\]x"));
    EXPECT_TRUE(pattern.FindAll(Text("\x81\x5Dx")).empty());
    ASSERT_TRUE(pattern.Compile("(.)x"));
    const std::vector<RegexMatch> matches = pattern.FindAll(Text("\xB0\x61x"));
    ASSERT_EQ(matches.size(), 1U);
    EXPECT_EQ(matches[0].GroupText(1), "\xB0\x61");  // one whole character
}

// Nested repetition on a long run of "a" exceeds the engine's match limit at the first "a": the
// search ends there with what it found before, and the "x" after the run is never reached.
TEST(RegexGiveUp, EndsTheSearchWithTheMatchesFoundSoFar) {
    RegexPattern pattern;
    ASSERT_TRUE(pattern.Compile("x|(a+)+b"));
    const Text subject = "x x " + std::string(40, 'a') + "! b x";
    std::vector<Text> found;
    for (const RegexMatch& match : pattern.FindAll(subject)) {
        found.push_back(match.WholeText());
    }
    EXPECT_EQ(found, (std::vector<Text>{"x", "x"}));
}

TEST(RegexGroups, GroupTextsAndFirstMatch) {
    RegexPattern pattern;
    ASSERT_TRUE(pattern.Compile(Utf8ToGbk("(\\d+)-(中)?(x)?")));
    const RegexMatch first = pattern.FindFirst(Utf8ToGbk("a 12-中 34-"));
    EXPECT_EQ(first.WholeText(), Utf8ToGbk("12-中"));
    EXPECT_EQ(first.GroupText(1), "12");
    EXPECT_EQ(first.GroupText(2), "\xD6\xD0");
    EXPECT_EQ(first.GroupText(3), "");   // took no part
    EXPECT_EQ(first.GroupText(42), "");  // no such group

    const RegexMatch none = pattern.FindFirst("no digits");
    EXPECT_EQ(none.WholeText(), "");
    EXPECT_EQ(none.GroupText(1), "");
}

TEST(RegexGroups, UncompiledOrBrokenPatternMatchesNothing) {
    RegexPattern pattern;
    EXPECT_TRUE(pattern.FindAll("abc").empty());
    EXPECT_FALSE(pattern.Compile("(unclosed"));
    EXPECT_TRUE(pattern.FindAll("(unclosed").empty());
    EXPECT_EQ(pattern.FindFirst("(unclosed").WholeText(), "");
}

TEST(RegexGroups, ManifestPatternTakesTheFirstVersion) {
    RegexPattern pattern;
    ASSERT_TRUE(pattern.Compile(Utf8ToGbk(kManifestPatternUtf8)));
    const Text manifest =
        Utf8ToGbk("<更新>\n<版本号>1.0.0.9</版本号>\n<版本号>2.0</版本号>\n<版本号></版本号>");
    EXPECT_EQ(pattern.FindFirst(manifest).WholeText(), "1.0.0.9");
}

}  // namespace
}  // namespace vennadar

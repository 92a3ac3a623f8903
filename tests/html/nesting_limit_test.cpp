#include "html/nesting_limit.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "core/text/code_page.h"
#include "html/deep_pages.h"
#include "support/test_support.h"

namespace vennadar::html {
namespace {

using test::OnSmallStack;
using test::Repeat;

// End tags the parser ignores, elements it moves around and formatting elements it opens again
// must not let a page nest past the limit: each pattern, repeated, would otherwise nest without
// end. The parser opens a few elements that the limit does not follow (paragraphs, list items,
// cells), hence the margin.
struct Bypass {
    const char* name;
    std::string piece;
    std::string before = "";  // once, before the repeated piece
    std::string after = "";   // once, after it
};

class NestingLimit : public ::testing::TestWithParam<Bypass> {};

TEST_P(NestingLimit, HoldsAgainst) {
    std::string html = GetParam().before;
    for (int i = 0; i < 20000; ++i) {
        std::string piece = GetParam().piece;
        const std::size_t number = piece.find('#');
        if (number != std::string::npos) {
            piece.replace(number, 1, std::to_string(i));
        }
        html += piece;
    }
    html += GetParam().after;
    std::size_t depth = 0;
    OnSmallStack([&] { depth = ParsedNestingDepth(Utf8ToGbk(html)); });
    EXPECT_LE(depth, 3U * 512U);
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, NestingLimit,
    ::testing::Values(
        Bypass{"EndTagIgnoredPastABlock", "<x><div></x>"},
        Bypass{"EndTagOfAnotherUnknownElement", "<x></y>"},
        Bypass{"EndTagOutOfScopeInATable", "<div><table></div>"},
        Bypass{"EndTagPastAnObject", "<span><object></span>"},
        Bypass{"FormattingEndTagPastABlock", "<b><div></b>"},
        Bypass{"FormattingReopenedAfterABlockEnds", "<div><b id=#></div>x"},
        Bypass{"FormEndTagClosesOnlyTheForm", "<form><div></form>"},
        Bypass{"ListItemsPastSections", "<li><section>"},
        Bypass{"ParagraphsPastButtons", "<p><button><x>"},
        // Where the tokenizer reads a tag, a comment or raw text differently
        // from a naive scan.
        Bypass{"EndTagWithoutANameIsABogusComment", "<x><div></x>", "</<iframe>"},
        Bypass{"EqualsSignStartsAnAttributeName", "<x><div></x>", "<b =\">", "\">"},
        Bypass{"CommentEndsAtDashDashBang", "<x><div></x>", "<!-- --!>", "-->"},
        Bypass{"RawTextTagIgnoredInASelect", "<x><div></x>", "<select><xmp></select>"},
        Bypass{"PlaintextIgnoredInASelect", "<x><div></x>", "<select><plaintext></select>"},
        Bypass{"NoscriptIsMarkup", "<x><div></x>", "<noscript>"},
        Bypass{"ScriptEndHiddenInAnEscapedScript",
               "<script><!--<script></script></div></div></div>--></script><x><div>"}),
    test::CaseName());

TEST(NestingLimit, LeavesOrdinaryNestingAlone) {
    const std::string html = Repeat("<div><span>", 200) + "a" + Repeat("</span></div>", 200) +
                             Repeat("<x><div></div></x>", 3000);
    EXPECT_EQ(ParsedNestingDepth(Utf8ToGbk(html)), 400U);
}

}  // namespace
}  // namespace vennadar::html

#include "html/html_to_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "core/text/code_page.h"
#include "html/deep_pages.h"
#include "support/test_support.h"

namespace vennadar {
namespace {

using test::OnSmallStack;
using test::Repeat;

// The text of an HTML fragment written in UTF-8, through the GBK the reader works in.
std::string TextOf(const std::string& html_utf8) {
    return GbkToUtf8(HtmlToText(Utf8ToGbk(html_utf8)));
}

struct Case {
    const char* name;
    std::string html;
    std::string text;
};

// Every expected text below, up to kDifferences, is what headless Chromium's innerText gives for
// the fragment set as a <div>'s innerHTML, after the reader's mapping to GBK (no-break space as a
// space, invisible format characters left out, others outside GBK as "?").

// Block boxes end the line and ask for one line break before and after; p asks for two; a run
// of such requests gives the largest, and none at the start or end.
const Case kBlocks[] = {
    {"DivsEachOnALine", "<div>一</div><div>二</div>", "一\n二"},
    {"ParagraphsLeaveABlankLine", "<p>一</p><p>二</p>", "一\n\n二"},
    {"HeadingsBreakOnce", "<h1>标题</h1>正文<h2>小节</h2>", "标题\n正文\n小节"},
    {"BreakRunTakesTheLargest", "<div><div><p>a</p></div></div><div>b</div>", "a\n\nb"},
    {"NestedBlocks", "<div>a<div>b<blockquote>c</blockquote></div>d</div>", "a\nb\nc\nd"},
    {"BreaksAtTheEdgesGo", "<p></p><p>a</p><div></div><p></p>", "a"},
    {"WhiteSpaceOnlyBlockGivesNothing", "<div> </div>a", "a"},
    {"BlockInsideInline", "<span>a <div>b</div> c</span>", "a\nb\nc"},
    {"HrSeparatesLines", "a<hr>b", "a\nb"},
    {"SectioningAndOldBlocks",
     "<section>a</section><center>b</center><address>c</address><figure>d<figcaption>e</"
     "figcaption></figure>",
     "a\nb\nc\nd\ne"},
    {"InlineParagraphKeepsItsBreaks", "a <p style=\"display:inline\"> b </p> c", "a \n\nb \n\nc"},
    {"BlockStyleOnSpan", "a<span style=\"display:block\">x</span>b", "a\nx\nb"},
    {"InlineStyleOnDiv", "a<div style=\"display:inline\">x</div>b", "axb"},
    {"DisplayContentsParagraph", "<p style=\"display:contents\">x</p>y", "xy"},
    {"BrIsALineFeed", "一<br>二<br><br>三", "一\n二\n\n三"},
    {"BrAtTheEdgesStays", "<br>a<br>", "\na\n"},
    {"BrThenParagraph", "x<br><p>y</p>", "x\n\n\ny"},
};

// List items are blocks; innerText has no markers.
const Case kLists[] = {
    {"ItemsWithoutMarkers", "<ol><li>一</li><li>二</li></ol>后", "一\n二\n后"},
    {"NestedList", "<ul><li>a<ul><li>b</li></ul></li><li>c</li></ul>", "a\nb\nc"},
    {"ParagraphInItem", "<ul><li><p>a</p></li><li>b</li></ul>", "a\n\nb"},
    {"WhiteSpaceBetweenItems", "<ul>\n  <li> a </li>\n  <li> b </li>\n</ul>", "a\nb"},
    {"DefinitionList", "<dl><dt>词<dd>解释</dl>", "词\n解释"},
};

// A cell that is not the last rendered one of its row is followed by a tab, a row that is not the
// last of its table by a line feed.
const Case kTables[] = {
    {"CellsByTabsRowsByLineFeeds",
     "<table>\n<tr><td>a</td> <td>b</td></tr>\n<tr><td>c</td></tr></table>x", "a\tb\nc\nx"},
    {"EmptyCellsKeepTheirTabs", "<table><tr><td></td><td>a</td><td></td></tr></table>", "\ta\t"},
    {"HeadBodyAndHiddenParts",
     "<table><thead><tr><th>h</th></tr></thead><tbody><tr><td>a</td><td hidden>z</td></tr><tr "
     "hidden><td>q</td></tr></tbody></table>x",
     "h\na\nx"},
    {"InvisibleCellAndRow",
     "<table><tr><td>a</td><td style=\"visibility:hidden\">b</td></tr><tr "
     "style=\"visibility:hidden\"><td>c</td></tr><tr><td>d</td></tr></table>",
     "a\t\nd"},
    {"CaptionAndParagraphInCell",
     "<table><caption>cap</caption><tr><td><p>a</p></td><td>b</td></tr></table>",
     "cap\n\na\n\n\tb"},
    {"CaptionAfterRows",
     "<table><tr><td>a</td></tr><caption>c</caption><tr><td>b</td></tr></table>", "a\n\nc\nb"},
    {"NestedTable",
     "<table><tr><td>a<table><tr><td>i</td><td>j</td></tr><tr><td>k</td></tr></table></td><td>b</"
     "td></tr></table>",
     "a\ni\tj\nk\n\tb"},
    {"EmptyRowStillEndsALine", "x<table><tr></tr><tr><td>a</td></tr></table>y", "x\n\na\ny"},
    {"FormBetweenRows", "<table><tr><td>a</td></tr><form></form><tr><td>b</td></tr></table>",
     "a\nb"},
    {"CellTagsOutsideTable", "<tr><td>x</td><td>y</td></tr>", "xy"},
};

const Case kPreformatted[] = {
    {"PreKeepsWhiteSpace", "<pre>\n a  b\n\tc</pre>x", " a  b\n\tc\nx"},
    {"OnlyTheFirstNewlineGoes", "<pre>\n\nx\n</pre>y", "\nx\n\ny"},
    {"BlockInsidePre", "<pre>a  <div> b </div>  c</pre>", "a  \n b \n  c"},
    {"TableInsidePre", "<pre><table><tr><td> x </td></tr></table></pre>", " x "},
    {"ListingAndXmp", "<listing> a  b</listing><xmp> <b> x</xmp>", " a  b\n <b> x"},
    {"PlaintextTakesTheRest", "<plaintext> a  b</plaintext>", " a  b</plaintext>"},
    {"NobrCollapsesEvenInPre", "<pre>a<nobr>  b  </nobr></pre>", "a b"},
};

// Collapsing as the layout does it, across element boundaries.
const Case kWhiteSpace[] = {
    {"RunsCollapse", "a \t\n b", "a b"},
    {"AcrossInlineElements", "a <b> b</b> <i> c </i> d", "a b c d"},
    {"EmptyInlineBetweenSpaces", "a<span> </span> b", "a b"},
    {"EdgesOfABlock", "<p> \n 中文 \n </p><p>\n 第二段\n</p>", "中文\n\n第二段"},
    {"SpaceBeforeAndAfterBr", "a <br> b", "a\nb"},
    {"LineBreakBetweenChineseIsASpace", "中\n文", "中 文"},
    {"LineBreakBeforeATag", "中\n<b>文</b>", "中 文"},
    {"SpacesAroundAnImageStay", "x <img> <img> y", "x   y"},
    {"ImageStartsTheLine", "<img> b", " b"},
    {"SpaceAfterTheLastImageGoes", "a <img> </p>", "a "},
    {"QuotationMarksHoldSpaces", "a <q> </q> b", "a   b"},
    {"CarriageReturnReference", "a &#13; b", "a b"},
    {"FormFeedIsNotCollapsible", "a\fb", "a\fb"},
    {"ZeroWidthSpaceSwallowsLineBreak", "a&#8203;\nb", "ab"},
    {"WbrSwallowsLineBreak", "a<wbr>\nb", "ab"},
    {"SpaceBeforeWbrAtLineEnd", "a <wbr></p>", "a"},
};

// GBK has no no-break space: it comes out as an ordinary one, and is never collapsed.
const Case kSpaces[] = {
    {"NbspIndent", "<p>&nbsp;&nbsp;&nbsp;&nbsp;正文</p>", "    正文"},
    {"NbspNotCollapsed", "a&nbsp;&nbsp; b", "a   b"},
    {"NumericNbsp", "&#160;x&#xA0;", " x "},
    {"NbspIndentAfterBr", "一<br>\n&nbsp;&nbsp;二", "一\n  二"},
    {"IdeographicSpaceKept", "　　正文　", "　　正文　"},
};

const Case kReferences[] = {
    {"Named", "&lt;b&gt; &amp; &quot;x&quot;", "<b> & \"x\""},
    {"DecimalAndHex", "&#20013;&#x6587;", "中文"},
    {"LegacyWithoutSemicolon", "a &amp b &lt c", "a & b < c"},
    {"UnknownNameStays", "&nosuch; &", "&nosuch; &"},
    {"OutsideGbkIsAQuestionMark", "&#x1F600;&#x00E9;", "?é"},
    {"InvisibleFormatCharactersGo", "a&shy;b&#xFEFF;c&#8205;d&#8206;e", "abcde"},
};

// Not rendered: hidden by the browser's own styles, the hidden attribute or the style attribute.
const Case kHidden[] = {
    {"HeadElementsInBody",
     "a<script>x</script><style>p{}</style><title>t</title><meta charset=gbk><link rel=x>b", "ab"},
    {"TemplateNoscriptNoembed",
     "a<template>t</template><noscript>n</noscript><noembed>e</noembed>b", "ab"},
    {"HiddenAttribute", "a <span hidden>x</span> b", "a b"},
    {"HiddenUntilFound", "<div hidden=until-found>x</div>z", "z"},
    {"DisplayOverridesHidden", "a <div hidden style=\"display:block\">x</div> b", "a\nx\nb"},
    {"StyleDisplayNone", "a <span style=\"display:none\"><b>x</b></span> b", "a b"},
    {"StyleSpacesAndCase", "a<span style=\"DISPLAY : NONE ;\">x</span>b", "ab"},
    {"StyleAmongOthers", "a<span style=\"color:red;display:none\">x</span>b", "ab"},
    {"StyleCommentInValue", "a<span style=\"display:/* c */none\">x</span>b", "ab"},
    {"StyleLaterDeclarationWins", "a<span style=\"display:none;display:inline\">x</span>b", "axb"},
    {"StyleImportantWins", "a<span style=\"display:none !important;display:inline\">x</span>b",
     "ab"},
    {"StyleInvalidIgnored",
     "a<span style=\"display:nonex\">x</span><i style=\"xdisplay:none\">y</i>b", "axyb"},
    {"StyleSemicolonInString", "a<span style=\"font-family:'x;y'; display:none\">x</span>b", "ab"},
    {"HiddenInput", "a <input type=HIDDEN> b", "a b"},
    {"AudioWithoutControls", "a <audio src=a.mp3>x</audio> b", "a b"},
    {"ClosedDetailsShowsSummary",
     "<details><p>b</p><summary>s</summary><summary>t</summary></details>z", "s\nz"},
    {"OpenDetails", "<details open><summary>s</summary>body</details>z", "s\nbody\nz"},
    {"Dialog", "<dialog>d</dialog><dialog open>e</dialog>z", "e\nz"},
    {"RubyParentheses", "<ruby>漢<rp>(</rp><rt>kan</rt><rp>)</rp></ruby>", "漢kan"},
    {"Comment", "a <!-- c --> b", "a b"},
    {"VisibilityHiddenKeepsItsPlace", "a <span style=\"visibility:hidden\">x</span> b", "a  b"},
    {"VisibleInsideHidden",
     "<div style=\"visibility:hidden\">a<span style=\"visibility:visible\">b</span></div>c", "bc"},
    {"InvisibleParagraphAndBr",
     "<p style=\"visibility:hidden\">x</p>y<br style=\"visibility:hidden\">z", "yz"},
};

// Replaced elements and controls stand in the line without text; floats and absolutely positioned
// boxes are block-level but the line flows past them.
const Case kReplaced[] = {
    {"ImageAltIsNotText", "<img src=\"a.jpg\" alt=\"图片\">文", "文"},
    {"FallbackContentNotShown",
     "a <video>v</video> <iframe>i</iframe> <canvas>c</canvas> <object>o</object> b", "a     b"},
    {"ControlsWithoutText", "a <input value=v> <textarea>t</textarea> <meter>m</meter> b",
     "a    b"},
    {"AudioWithControls", "a <audio controls>x</audio> b", "a  b"},
    {"EmbedOnlyWithSource", "a <embed> b <embed src=x.swf> c", "a b  c"},
    {"ButtonShowsItsText", "a <button> x  y </button> b", "a x y b"},
    {"SelectShowsOptionsOnLines",
     "a<select>t<option> x  y </option><optgroup label=g><option>z</optgroup></select>b",
     "a\nx y\nz\nb"},
    {"FloatedImage", "a <img align=RIGHT> b", "a \nb"},
    {"FloatedSpan", "a <span style=\"float:left\">x</span> b", "a \nx\nb"},
    {"FloatAtLineEnd", "<p>a <img style=\"float:right\"></p><p>b</p>", "a\n\nb"},
    {"AbsolutelyPositioned", "a <span style=\"position:absolute\">x</span> b", "a \nx\nb"},
    {"InlineBlock", "a <span style=\"display:inline-block\"> x </span> b", "a x b"},
};

const Case kMarkup[] = {
    {"BoldSpanFontLink",
     "<font color=red>红</font><b>粗</b><span class=\"x\">体</span><a href=\"/a.html\">链接</a>",
     "红粗体链接"},
    {"MisnestedFormatting", "<b>a<i>b</b>c</i>d", "abcd"},
    {"UnclosedElements", "<p>a<div>b<span>c", "a\n\nbc"},
    {"StrayEndTags", "</div>a</span></p>b", "a\n\nb"},
    {"BrokenTags", "<<p>>a< b <", "<\n\n>a< b <"},
    {"WholeDocument", "<html><head><title>t</title></head><body><p>a</p></body></html>", "a"},
    {"Empty", "", ""},
    {"OnlyWhiteSpace", " \n\t ", ""},
};

// Deliberate differences from the browser. gumbo 0.10 crashes on some mixes of SVG or MathML with
// tables and selects, so their tags are read as unknown HTML elements: their text shows inline,
// where the browser makes blocks of SVG text elements and of MathML elements (and sets <mi> in
// mathematical italics, outside GBK).
const Case kDifferences[] = {
    {"SvgTextInline", "a <svg><title>t</title><text>x</text><text>y</text></svg> b", "a xy b"},
    {"MathInline", "a <math><mi>x</mi><mo>+</mo><mn>1</mn></math> b", "a x+1 b"},
    {"MathSelectInTable", "<table><math><select><mi><select><td>x", "x"},
    {"SvgTemplateAndBody", "<svg><html><title><template></template></body>y", ""},
};

class Rendering : public ::testing::TestWithParam<Case> {};

TEST_P(Rendering, GivesTheBrowsersText) {
    EXPECT_EQ(TextOf(GetParam().html), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Blocks, Rendering, ::testing::ValuesIn(kBlocks), test::CaseName());
INSTANTIATE_TEST_SUITE_P(Lists, Rendering, ::testing::ValuesIn(kLists), test::CaseName());
INSTANTIATE_TEST_SUITE_P(Tables, Rendering, ::testing::ValuesIn(kTables), test::CaseName());
INSTANTIATE_TEST_SUITE_P(Preformatted, Rendering, ::testing::ValuesIn(kPreformatted),
                         test::CaseName());
INSTANTIATE_TEST_SUITE_P(WhiteSpace, Rendering, ::testing::ValuesIn(kWhiteSpace), test::CaseName());
INSTANTIATE_TEST_SUITE_P(Spaces, Rendering, ::testing::ValuesIn(kSpaces), test::CaseName());
INSTANTIATE_TEST_SUITE_P(References, Rendering, ::testing::ValuesIn(kReferences), test::CaseName());
INSTANTIATE_TEST_SUITE_P(Hidden, Rendering, ::testing::ValuesIn(kHidden), test::CaseName());
INSTANTIATE_TEST_SUITE_P(Replaced, Rendering, ::testing::ValuesIn(kReplaced), test::CaseName());
INSTANTIATE_TEST_SUITE_P(Markup, Rendering, ::testing::ValuesIn(kMarkup), test::CaseName());
INSTANTIATE_TEST_SUITE_P(Differences, Rendering, ::testing::ValuesIn(kDifferences),
                         test::CaseName());

TEST(ArticleBody, GivesTheBrowsersText) {
    const std::string html = test::ReadFixture("html/article_body.html");
    ASSERT_FALSE(html.empty());
    EXPECT_EQ(TextOf(html), test::ReadFixture("html/article_body.txt"));
}

// The input is a Text: it ends at its first NUL byte.
TEST(Input, EndsAtTheFirstNul) {
    EXPECT_EQ(HtmlToText(Text("<b>\xD6\xD0</b>\0<p>x</p>", 18)), "\xD6\xD0");
}

struct Nesting {
    const char* name;
    std::string html;
    std::string text;
};

class DeepNesting : public ::testing::TestWithParam<Nesting> {};

TEST_P(DeepNesting, GivesTheTextQuickly) {
    std::string text;
    const auto start = std::chrono::steady_clock::now();
    OnSmallStack([&] { text = TextOf(GetParam().html); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(text, GetParam().text);
    // About half a second in a release build; quadratic behaviour would take minutes. The bound
    // leaves room for sanitizer builds on a busy machine.
    EXPECT_LT(elapsed, std::chrono::seconds(10));
}

std::string Numbered(const std::string& before, const std::string& after, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += before + std::to_string(i) + after;
    }
    return out;
}

// gumbo sets no depth limit and is quadratic in the depth of nested blocks and formatting
// elements; beyond 512 levels elements become siblings, as in browsers, and text is kept.
INSTANTIATE_TEST_SUITE_P(
    Hostile, DeepNesting,
    ::testing::Values(
        Nesting{"Spans", Repeat("<span>", 200000) + "文" + Repeat("</span>", 200000) + "b", "文b"},
        Nesting{"UnclosedSpans", Repeat("<span>", 200000) + "文", "文"},
        Nesting{"Divs", Repeat("<div>", 200000) + "a" + Repeat("</div>", 200000) + "b", "a\nb"},
        Nesting{"FormattingElements", Repeat("<b><font color=red><em>", 66667) + "x", "x"},
        Nesting{"NestedTables", Repeat("<table><tr><td>", 50000) + "x", "x"},
        Nesting{"EveryLevelHasText", Numbered("<div>", "", 200000),
                Numbered("", "\n", 199999) + "199999"}),
    test::CaseName());

// Tag soup never crashes and never leaves the NUL marks of taken-back spaces in the text.
TEST(TagSoup, NeverBreaks) {
    const char* const pieces[] = {"<p>",
                                  "</p>",
                                  "<div>",
                                  "</div>",
                                  "<table>",
                                  "<tr>",
                                  "<td>",
                                  "</td>",
                                  "<pre>",
                                  "<br>",
                                  "<b>",
                                  "</b>",
                                  "<i>",
                                  "<li>",
                                  "<ul>",
                                  "</ul>",
                                  "<span style=\"display:inline\">",
                                  "<p style=\"display:inline\">",
                                  "<q>",
                                  "</q>",
                                  "<img align=left>",
                                  "<span style=\"float:left\">",
                                  "<select>",
                                  "<option>",
                                  "<wbr>",
                                  "<svg>",
                                  "<text>",
                                  "<math>",
                                  "<mi>",
                                  "<ruby>",
                                  "<rt>",
                                  "<form>",
                                  "</form>",
                                  "<details>",
                                  "<summary>",
                                  "<!--",
                                  "-->",
                                  "<![CDATA[",
                                  "]]>",
                                  "<",
                                  ">",
                                  "&nbsp;",
                                  "&#8203;",
                                  "&amp",
                                  "&#0;",
                                  " ",
                                  "\n",
                                  "\t",
                                  "中",
                                  "文",
                                  "a",
                                  "\xEF\xBC\x8C"};
    std::mt19937 random(20230905);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 200);
    for (int round = 0; round < 400; ++round) {
        std::string html;
        for (int n = length(random); n > 0; --n) {
            html += pieces[pick(random)];
        }
        const Text text = HtmlToText(Utf8ToGbk(html));
        EXPECT_EQ(text.find('\0'), Text::npos) << html;
    }
}

}  // namespace
}  // namespace vennadar

// The article body and the manifest version are found without the regex engine, in linear time.
// They must give exactly what the first match of their stored patterns gives: checked on the
// shapes that matter and on many random pages assembled from the patterns' own pieces.

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/reader/article_body.h"
#include "core/reader/reader_patterns.h"
#include "core/text/code_page.h"
#include "core/text/regex.h"
#include "core/update/manifest_pattern.h"
#include "core/update/manifest_version.h"

namespace vennadar {
namespace {

std::optional<Text> BodyByPattern(const Text& page) {
    RegexPattern pattern;
    EXPECT_TRUE(pattern.Compile(Utf8ToGbk(kBodyPatternUtf8)));
    const std::vector<RegexMatch> matches = pattern.FindAll(page);
    if (matches.empty()) {
        return std::nullopt;
    }
    return matches.front().WholeText();
}

Text VersionByPattern(const Text& manifest) {
    RegexPattern pattern;
    EXPECT_TRUE(pattern.Compile(Utf8ToGbk(kManifestPatternUtf8)));
    return pattern.FindFirst(manifest).WholeText();
}

// A page assembled from `count` pieces drawn at random.
std::string RandomPage(std::mt19937& random, const std::vector<std::string>& pieces, int count) {
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::string page;
    for (int i = 0; i < count; ++i) {
        page += pieces[pick(random)];
    }
    return page;
}

const std::string kLeadIn = "<div>正文：</div></center>\n   <article id=\"post_content\">\n    ";
const std::string kOpening = "<article id=\"post_content\">\n";

struct BodyCase {
    const char* name;
    std::string page;
    std::optional<std::string> body;
};

class ArticleBody : public ::testing::TestWithParam<BodyCase> {};

TEST_P(ArticleBody, GivesWhatThePatternGives) {
    const BodyCase& c = GetParam();
    const Text page = Utf8ToGbk(c.page);
    const std::optional<Text> found = FindArticleBody(page);
    EXPECT_EQ(found, BodyByPattern(page));
    ASSERT_EQ(found.has_value(), c.body.has_value());
    if (c.body) {
        EXPECT_EQ(GbkToUtf8(*found), *c.body);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ArticleBody,
    ::testing::Values(
        BodyCase{"FirstForm", "<p>x</p>\n" + kLeadIn + "<p>一</p>\n<p>二</p>\n       </article>\n",
                 "<p>一</p>\n<p>二</p>\n"},
        BodyCase{"FirstFormRunsToTheLastClosing",
                 kLeadIn + "a\n       </article>\nb\n       </article>\nc\n",
                 "a\n       </article>\nb\n"},
        BodyCase{"FirstFormClosedAtOnceIsEmpty", kLeadIn + "       </article>\n", ""},
        BodyCase{"FirstFormClosingMustStartALine", kLeadIn + "a       </article>\n", std::nullopt},
        BodyCase{"SecondForm", "x" + kOpening + "a\nb\n {5</article>}\n",
                 kOpening + "a\nb\n {5</article>}"},
        BodyCase{"SecondFormStopsAtAnEmptyLine", kOpening + "a\n\nb\n {5</article>}", std::nullopt},
        BodyCase{"SecondFormMayEndOnTheEmptyLine", kOpening + "a\n\n{5</article>}",
                 kOpening + "a\n\n{5</article>}"},
        BodyCase{"SecondFormRunsToItsLastClosing",
                 kOpening + "a\n {5</article>}\nb\n\t{5</article>}\n\nc\n {5</article>}",
                 kOpening + "a\n {5</article>}\nb\n\t{5</article>}"},
        BodyCase{"SecondFormBeforeTheFirst",
                 kOpening + " {5</article>}\n" + kLeadIn + "a\n       </article>",
                 kOpening + " {5</article>}"},
        BodyCase{"CrLfLinesStillMatch", kLeadIn + "a\r\n       </article>", "a\r\n"},
        BodyCase{"NoOpeningTag", "<p>正文</p>\n       </article>\n", std::nullopt},
        BodyCase{"OpeningWithoutItsLineFeed", "<article id=\"post_content\">a\n {5</article>}",
                 std::nullopt}),
    [](const ::testing::TestParamInfo<BodyCase>& param) { return std::string(param.param.name); });

TEST(ArticleBodyRandom, SameAsThePatternOnRandomPages) {
    const std::vector<std::string> pieces = {kLeadIn,
                                             kOpening,
                                             "<div>正文：</div></center>\n",
                                             "   ",
                                             "    ",
                                             "       </article>",
                                             "</article>",
                                             "{5</article>}",
                                             " ",
                                             "\t",
                                             "\n",
                                             "\n\n",
                                             "\r\n",
                                             "\v",
                                             "a",
                                             "正文",
                                             "<p>",
                                             "<article id=\"post_content\">"};
    std::mt19937 random(20261208);
    int matched = 0;
    for (int i = 0; i < 4000; ++i) {
        const Text page = Utf8ToGbk(RandomPage(random, pieces, 1 + i % 24));
        const std::optional<Text> expected = BodyByPattern(page);
        ASSERT_EQ(FindArticleBody(page), expected) << GbkToUtf8(page);
        matched += expected ? 1 : 0;
    }
    // The draw must reach both outcomes often, or the comparison proves little.
    EXPECT_GT(matched, 400);
    EXPECT_LT(matched, 3600);
}

TEST(ManifestVersion, SameAsThePatternOnShapesAndRandomManifests) {
    const std::vector<std::pair<std::string, std::string>> shapes = {
        {"<更新><版本号>1.0.0.9</版本号></更新>", "1.0.0.9"},
        {"<版本号></版本号><版本号>2</版本号>", "</版本号><版本号>2"},
        {"<版本号>1\n</版本号><版本号>3</版本号>", "3"},
        {"<版本号>", ""},
        {"<版本号> 1.0.0.10 </版本号>", " 1.0.0.10 "},
        {"<版本号>1.0</版本号", ""},
    };
    for (const auto& [manifest, version] : shapes) {
        const Text text = Utf8ToGbk(manifest);
        EXPECT_EQ(GbkToUtf8(FindManifestVersion(text)), version) << manifest;
        EXPECT_EQ(FindManifestVersion(text), VersionByPattern(text)) << manifest;
    }
    const std::vector<std::string> pieces = {"<版本号>", "</版本号>", "1", ".", "\n",
                                             " ",        "版",        "<", ">", "/"};
    std::mt19937 random(8);
    int found = 0;
    for (int i = 0; i < 4000; ++i) {
        const Text manifest = Utf8ToGbk(RandomPage(random, pieces, 1 + i % 20));
        const Text expected = VersionByPattern(manifest);
        ASSERT_EQ(FindManifestVersion(manifest), expected) << GbkToUtf8(manifest);
        found += expected.empty() ? 0 : 1;
    }
    EXPECT_GT(found, 400);
}

}  // namespace
}  // namespace vennadar

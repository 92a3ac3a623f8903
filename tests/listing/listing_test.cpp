#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/listing/listing_address.h"
#include "core/listing/listing_loader.h"
#include "core/listing/listing_parser.h"
#include "core/state/listing_row.h"
#include "core/text/code_page.h"
#include "support/fakes.h"
#include "support/test_support.h"

namespace vennadar {
namespace {

class ListingParse : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pattern_.Compile(ListingPattern())); }

    ListingRows Parse(const std::string& utf8_page) const {
        return ParseListing(Utf8ToGbk(utf8_page), pattern_);
    }

    // What a plain left-to-right search of the whole page gives.
    ListingRows PlainSearch(const Text& page) const {
        ListingRows rows;
        for (const RegexMatch& m : pattern_.FindAll(page)) {
            rows.push_back({m.GroupText(1), m.GroupText(2), m.GroupText(3), m.GroupText(4)});
        }
        return rows;
    }

    RegexPattern pattern_;
};

std::string Block(const std::string& heading, const std::string& date_line,
                  const std::string& count_line) {
    return heading + "\n" + date_line + "\n" + count_line + "\n";
}

const std::string kHeading = R"(<h2><a target="_blank" href="/archives/1.html">T</a></h2>)";
const std::string kDateLine = R"(<span>发表日期：2019-05-01</span>)";
const std::string kCountLine = R"(<span>点击：37</span>)";

TEST_F(ListingParse, TwelveBlocksGiveTwelveRowsInPageOrder) {
    const ListingRows rows = Parse(test::ReadFixture("listing_twelve_blocks.html"));
    ASSERT_EQ(rows.size(), 12U);
    EXPECT_EQ(rows[0].link, "http://127.0.0.1:8780/archives/100.html");
    EXPECT_EQ(GbkToUtf8(rows[0].title), "分数的加减法");
    EXPECT_EQ(rows[5].link, "http://127.0.0.1:8780/archives/105.html");
    EXPECT_EQ(GbkToUtf8(rows[5].title), "英语时态小结");
    EXPECT_EQ(rows[5].date, "2019-05-06");
    EXPECT_EQ(rows[5].clicks, "92");
    EXPECT_EQ(GbkToUtf8(rows[9].title), R"(<span class="hl">细胞</span>的结构)");
}

TEST_F(ListingParse, CrLfPageGivesNoRows) {
    std::string page = test::ReadFixture("listing_twelve_blocks.html");
    std::string crlf;
    for (char c : page) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    // Through the loader: a line-end conversion there would bring the rows back.
    test::FakeHttp http;
    http.pages["http://site/page/1"] = crlf;
    const Text fetched = FetchPageText(http, "http://site/page/1");
    EXPECT_EQ(fetched, Utf8ToGbk(crlf));
    EXPECT_TRUE(ParseListing(fetched, pattern_).empty());
}

struct BlockCase {
    const char* name;
    std::string page;
    std::vector<ListingRow> expected;  // UTF-8 here; compared after conversion
};

class ListingBlocks : public ListingParse, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(ListingBlocks, ParseAsThePatternReadsThem) {
    const ListingRows rows = Parse(GetParam().page);
    ListingRows expected;
    for (const ListingRow& row : GetParam().expected) {
        expected.push_back({Utf8ToGbk(row.link), Utf8ToGbk(row.title), row.date, row.clicks});
    }
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(rows, PlainSearch(Utf8ToGbk(GetParam().page)));
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ListingBlocks,
    ::testing::Values(
        BlockCase{"OrdinaryBlock",
                  Block(kHeading, kDateLine, kCountLine),
                  {{"/archives/1.html", "T", "2019-05-01", "37"}}},
        BlockCase{"UnpaddedDateGivesNoRow", Block(kHeading, "<i>2019-5-1</i>", kCountLine), {}},
        BlockCase{"DateAloneOnItsLineGivesNoRow", Block(kHeading, "2019-05-01", kCountLine), {}},
        BlockCase{"CountLineOfDigitsLosesFirstDigit",
                  Block(kHeading, kDateLine, "123"),
                  {{"/archives/1.html", "T", "2019-05-01", "23"}}},
        BlockCase{"HeadingWithClassGivesNoRow",
                  Block(R"(<h2 class="t"><a href="/a">T</a></h2>)", kDateLine, kCountLine),
                  {}},
        BlockCase{"AttributeAfterHrefRunsIntoLink",
                  Block(R"(<h2><a href="/a" title="x">T</a></h2>)", kDateLine, kCountLine),
                  {{R"(/a" title="x)", "T", "2019-05-01", "37"}}},
        BlockCase{"TitleKeepsMarkupAndReferences",
                  Block(R"(<h2><a href="/a"><b>勾股</b>&amp;定理</a></h2>)", kDateLine, kCountLine),
                  {{"/a", "<b>勾股</b>&amp;定理", "2019-05-01", "37"}}},
        BlockCase{"BrokenBlockBetweenGoodOnes",
                  Block(kHeading, kDateLine, kCountLine) + Block(kHeading, "no date", "x") +
                      Block(R"(<h2><a href="/b">U</a></h2>)", kDateLine, "<i>点击：9</i>"),
                  {{"/archives/1.html", "T", "2019-05-01", "37"}, {"/b", "U", "2019-05-01", "9"}}},
        BlockCase{"BlockAtEndWithoutFinalLineFeed",
                  kHeading + "\n" + kDateLine + "\n" + kCountLine,
                  {{"/archives/1.html", "T", "2019-05-01", "37"}}},
        BlockCase{"EmptyPageGivesNoRows", "", {}}),
    test::CaseName());

// The line-wise search must give exactly what a plain search of the whole page gives, also on
// pages where blocks share lines, overlap or are cut short.
TEST_F(ListingParse, SameRowsAsPlainSearchOnShuffledFragments) {
    const std::vector<std::string> pieces = {
        kHeading,        kDateLine,    kCountLine, "<h2><a href=\"/x\">A</a></h2>",
        "</a></h2>",     "2019-05-01", "7",        "<h2><a ",
        "href=\"/y\">B", "\r",         "中文",     "",
        "<p>1</p>"};
    std::mt19937 random(12345);
    for (int round = 0; round < 400; ++round) {
        std::string page;
        const int lines = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < lines; ++i) {
            page += pieces[random() % pieces.size()];
            if (random() % 4 != 0) {
                page += pieces[random() % pieces.size()];
            }
            if (random() % 6 != 0) {
                page += '\n';
            }
        }
        const Text gbk = Utf8ToGbk(page);
        ASSERT_EQ(ParseListing(gbk, pattern_), PlainSearch(gbk)) << page;
    }
}

// Peak resident size of this process in KiB since the last ResetPeak; -1 when unreadable.
long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return !clear.fail();
}

// A page of nothing but line feeds has no block, and searching it must cost about what the
// page costs (its UTF-8 copy), not a record per line.
TEST_F(ListingParse, PageOfLineFeedsKeepsMemoryNearThePageSize) {
    constexpr long kPageBytes = 16L * 1024 * 1024;
    const Text page(static_cast<std::size_t>(kPageBytes), '\n');
    ASSERT_TRUE(ResetPeak());
    const long before = PeakKiB();
    EXPECT_TRUE(ParseListing(page, pattern_).empty());
    const long growth = PeakKiB() - before;
    EXPECT_LT(growth, 2 * kPageBytes / 1024) << growth << " KiB more at the peak";
    RecordProperty("peak_growth_kib", std::to_string(growth));
}

TEST(ListingRowLine, JoinsTitleDateAndClicks) {
    const ListingRow row{"/a", Utf8ToGbk("分数"), "2019-05-01", "37"};
    EXPECT_EQ(GbkToUtf8(RowLine(row)), "分数:发表日期：2019-05-01:点击：37");
}

struct AddressCase {
    const char* name;
    ListingQuery query;
    std::string keyword_utf8;
    std::string expected;
};

class ListingAddresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ListingAddresses, BuiltFromTheQuery) {
    const AddressCase& c = GetParam();
    EXPECT_EQ(ListingAddress(c.query, "http://site", Utf8ToGbk(c.keyword_utf8)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, ListingAddresses,
    ::testing::Values(
        AddressCase{"HomePageThree", {3, false, false, "jdxt"}, "kw", "http://site/page/3"},
        AddressCase{
            "CategoryPageOne", {1, false, true, "jdxt"}, "", "http://site/category/jdxt/page/1"},
        AddressCase{"SearchWinsOverCategory",
                    {2, true, true, "jdxt"},
                    "中 a",
                    "http://site/page/2?s=%E4%B8%AD%20%61"},
        AddressCase{
            "EmptyKeywordEndsInQueryKey", {1, true, false, ""}, "", "http://site/page/1?s="}),
    test::CaseName());

}  // namespace
}  // namespace vennadar

// Sample site -> address -> download -> convert -> parse, through the real services.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapters/curl/curl_http.h"
#include "core/listing/listing_address.h"
#include "core/listing/listing_loader.h"
#include "core/listing/listing_parser.h"
#include "core/text/code_page.h"
#include "sample-site/sample_site.h"

namespace vennadar {
namespace {

namespace site = sample_site;

class ListingEndToEnd : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new site::SampleSite();
        ASSERT_TRUE(site_->Start());
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }

    ListingRows Load(const ListingQuery& query, const std::string& keyword_utf8 = "") {
        const std::string address =
            ListingAddress(query, site_->BaseUrl(), Utf8ToGbk(keyword_utf8));
        RegexPattern pattern;
        pattern.Compile(ListingPattern());
        return ParseListing(FetchPageText(http_, address), pattern);
    }

    // The rows the site should list for these articles.
    std::vector<std::string> Expected(const std::vector<const site::Article*>& articles,
                                      std::size_t first) const {
        std::vector<std::string> lines;
        for (std::size_t i = first; i < articles.size() && i < first + site::kPageSize; ++i) {
            const site::Article& a = *articles[i];
            lines.push_back(site_->BaseUrl() + "/archives/" + std::to_string(a.id) + ".html " +
                            a.title + ":发表日期：" + a.date + ":点击：" +
                            std::to_string(a.clicks));
        }
        return lines;
    }

    static std::vector<std::string> Lines(const ListingRows& rows) {
        std::vector<std::string> lines;
        for (const ListingRow& row : rows) {
            lines.push_back(GbkToUtf8(row.link) + " " + GbkToUtf8(RowLine(row)));
        }
        return lines;
    }

    static site::SampleSite* site_;
    CurlHttp http_;
};

site::SampleSite* ListingEndToEnd::site_ = nullptr;

TEST_F(ListingEndToEnd, HomeListingFirstPage) {
    std::vector<const site::Article*> all;
    for (const site::Article& a : site::Articles()) {
        all.push_back(&a);
    }
    EXPECT_EQ(Lines(Load({1, false, false, ""})), Expected(all, 0));
}

TEST_F(ListingEndToEnd, CategoryThirdPage) {
    const auto articles = site::ArticlesInCategory("jdxt");
    ASSERT_GT(articles.size(), 20U);
    const ListingRows rows = Load({3, false, true, "jdxt"});
    EXPECT_FALSE(rows.empty());
    EXPECT_EQ(Lines(rows), Expected(articles, 20));
}

TEST_F(ListingEndToEnd, SearchForAChineseKeyword) {
    const std::string keyword = "定理";
    const auto hits = site::SearchArticles(keyword);
    ASSERT_FALSE(hits.empty());
    const ListingRows rows = Load({1, true, false, ""}, keyword);
    ASSERT_EQ(rows.size(), std::min<std::size_t>(hits.size(), site::kPageSize));
    EXPECT_EQ(GbkToUtf8(rows[0].link),
              site_->BaseUrl() + "/archives/" + std::to_string(hits[0]->id) + ".html");
}

TEST_F(ListingEndToEnd, PagePastTheLastGivesNoRows) {
    EXPECT_TRUE(Load({999, false, false, ""}).empty());
    EXPECT_TRUE(Load({1, false, true, "nosuchslug"}).empty());
}

}  // namespace
}  // namespace vennadar

// Sample site -> address -> download -> convert -> parse, through the real services.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "adapters/curl/curl_http.h"
#include "core/listing/listing_address.h"
#include "core/listing/listing_loader.h"
#include "core/listing/listing_parser.h"
#include "core/listing/navigation.h"
#include "core/reader/article_reader.h"
#include "core/text/code_page.h"
#include "sample-site/sample_site.h"
#include "support/fakes.h"

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

// The site's listings written with relative links: each row opens, through the real download,
// the article it names, and the article's own relative audio address resolves against it.
TEST_F(ListingEndToEnd, RelativeRowLinkOpensTheArticleAndItsRelativeAudio) {
    // The site's listing pages with the site's address taken out of their article links.
    class RelativeListings final : public Http {
      public:
        RelativeListings(Http& inner, std::string base) : inner_(inner), base_(std::move(base)) {}
        HttpResponse Fetch(const HttpRequest& request) override {
            const std::string& address = request.address;
            requests.push_back(address);
            HttpResponse response = inner_.Fetch(request);
            std::string& body = response.body;
            const std::string absolute = "href=\"" + base_ + "/archives/";
            for (std::size_t at = 0; address.find("/archives/") == std::string::npos &&
                                     (at = body.find(absolute, at)) != std::string::npos;) {
                body.replace(at, absolute.size(), "href=\"/archives/");
            }
            return response;
        }
        std::vector<std::string> requests;

      private:
        Http& inner_;
        std::string base_;
    };
    const site::Article* article = nullptr;
    for (const site::Article& a : site::Articles()) {
        if (a.body_html.find("src=\"/audio/") != std::string::npos) {
            article = &a;
            break;
        }
    }
    ASSERT_NE(article, nullptr);
    const auto in_category = site::ArticlesInCategory(article->slug);
    const auto position = static_cast<int>(
        std::find(in_category.begin(), in_category.end(), article) - in_category.begin());

    RelativeListings http(http_, site_->BaseUrl());
    test::FakeSounds sounds;
    test::FakeDialogs dialogs;
    dialogs.answer = kAnswerYes;
    test::FakeDesktop desktop;
    Services services{http, sounds, dialogs, desktop, BuildSettings()};
    services.settings.site_base = site_->BaseUrl();
    const std::unique_ptr<AppState> state = InitializeGlobals();
    state->listing_query = {position / site::kPageSize + 1, false, true, article->slug};
    test::FakeMainView view;
    LoadListing(*state, view, services);
    view.selected = position % site::kPageSize;
    const ListingRow& row = state->current_rows.at(static_cast<std::size_t>(view.selected));
    const std::string article_address =
        site_->BaseUrl() + "/archives/" + std::to_string(article->id) + ".html";
    ASSERT_EQ(GbkToUtf8(row.link), "/archives/" + std::to_string(article->id) + ".html");

    ActivateListItem(*state, view, services);
    EXPECT_EQ(http.requests.back(), article_address);
    EXPECT_EQ(GbkToUtf8(state->article_handoff.link), article_address);
    test::FakeArticleView article_view;
    ShowArticle(*state, article_view, services);
    EXPECT_EQ(GbkToUtf8(article_view.title), article->title);
    ASSERT_FALSE(article_view.player.calls.empty());  // the body was found and offers its audio
    EXPECT_EQ(article_view.player.calls.front(),
              "open " + site_->BaseUrl() + "/audio/" + article->audio_names.front() + ".mp3");
}

}  // namespace
}  // namespace vennadar

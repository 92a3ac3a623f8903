// The sample site as the reader sees it: content, page shapes, manifest and audio ranges.
#include "sample-site/sample_site.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/text/code_page.h"

namespace vennadar::sample_site {
namespace {

// The reader's listing pattern, as it cuts pages.
const std::regex kBlock(
    R"re(<h2><a.+?href="(.+?)">(.+?)<\/a><\/h2>\n.+?(\d{4}-\d{2}-\d{2}).+?\n.+?(\d{1,}))re");

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', at)) {
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    lines.push_back(text.substr(at));
    return lines;
}

int PageCount(std::size_t articles) {
    return static_cast<int>((articles + kPageSize - 1) / kPageSize);
}

class SampleSiteTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        site_ = new SampleSite();
        ASSERT_TRUE(site_->Start());
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }

    static httplib::Result Get(const std::string& path, const httplib::Headers& headers = {}) {
        httplib::Client client("127.0.0.1", site_->Port());
        return client.Get(path.c_str(), headers);
    }

    static std::string Host() { return "127.0.0.1:" + std::to_string(site_->Port()); }

    // Checks every block of a listing page: the reader's pattern finds exactly the expected
    // articles, each block is the three-line shape, and no other line could start a block.
    static void ExpectListing(const std::string& page, const std::vector<const Article*>& expected,
                              const std::string& host) {
        std::vector<std::string> links;
        for (auto it = std::sregex_iterator(page.begin(), page.end(), kBlock);
             it != std::sregex_iterator(); ++it) {
            links.push_back((*it)[1].str());
            const Article* article = FindArticle(
                std::stoi((*it)[1].str().substr(("http://" + host + "/archives/").size())));
            ASSERT_NE(article, nullptr) << (*it)[1].str();
            EXPECT_EQ((*it)[3].str(), article->date);
            EXPECT_EQ((*it)[4].str(), std::to_string(article->clicks));
        }
        std::vector<std::string> expected_links;
        for (const Article* article : expected) {
            expected_links.push_back("http://" + host + "/archives/" + std::to_string(article->id) +
                                     ".html");
        }
        EXPECT_EQ(links, expected_links);

        const std::vector<std::string> lines = SplitLines(page);
        const std::regex heading(R"re(<h2><a target="_blank" href="[^"]+">.+</a></h2>)re");
        const std::regex date(
            R"re(<div class="meta"><span class="date">发表日期：\d{4}-\d{2}-\d{2}</span>)re");
        const std::regex count(R"re(<span class="views">点击：\d+</span></div>)re");
        std::size_t headings = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!lines[i].ends_with("</a></h2>")) {
                EXPECT_FALSE(lines[i].starts_with("<h2")) << lines[i];
                continue;
            }
            ++headings;
            ASSERT_LT(i + 2, lines.size());
            EXPECT_TRUE(std::regex_match(lines[i], heading)) << lines[i];
            EXPECT_TRUE(std::regex_match(lines[i + 1], date)) << lines[i + 1];
            EXPECT_TRUE(std::regex_match(lines[i + 2], count)) << lines[i + 2];
        }
        EXPECT_EQ(headings, expected.size());
    }

    static SampleSite* site_;
};

SampleSite* SampleSiteTest::site_ = nullptr;

TEST(SampleSiteContent, ArticlesAreManyUniqueAndNewestFirst) {
    const std::vector<Article>& articles = Articles();
    ASSERT_GE(articles.size(), 120U);
    std::set<int> ids;
    const std::regex date(R"(20(1[89]|2[0-4])-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]))");
    for (std::size_t i = 0; i < articles.size(); ++i) {
        const Article& a = articles[i];
        EXPECT_TRUE(ids.insert(a.id).second) << a.id;
        EXPECT_TRUE(std::regex_match(a.date, date)) << a.date;
        EXPECT_TRUE(a.clicks >= 1 && a.clicks <= 9999) << a.clicks;
        EXPECT_FALSE(CategoryName(a.slug).empty()) << a.slug;
        EXPECT_EQ(a.title.find_first_of("<>&\"\n"), std::string::npos) << a.title;
        if (i > 0) {
            EXPECT_LT(a.id, articles[i - 1].id);
            EXPECT_LE(a.date, articles[i - 1].date);
        }
    }
    EXPECT_EQ(articles.front().date.substr(0, 4), "2024");
    EXPECT_EQ(articles.back().date.substr(0, 4), "2018");
}

TEST(SampleSiteContent, CategoriesAreUnevenAndSeveralSpanThreePages) {
    ASSERT_EQ(Categories().size(), 8U);
    int deep = 0;
    std::set<std::size_t> sizes;
    for (const Category& category : Categories()) {
        const std::size_t size = ArticlesInCategory(category.slug).size();
        EXPECT_GT(size, 0U) << category.slug;
        deep += size >= 21 ? 1 : 0;
        sizes.insert(size);
    }
    EXPECT_GE(deep, 3);
    EXPECT_GE(sizes.size(), 5U);
    EXPECT_GE(PageCount(Articles().size()), 12);
}

TEST(SampleSiteContent, BodiesCarryTheMarkupRealPostsHave) {
    std::string all;
    for (const Article& a : Articles()) {
        all += a.body_html + "\n";
    }
    for (const char* fragment : {"<p>",
                                 "&nbsp;&nbsp;&nbsp;&nbsp;",
                                 "<br>",
                                 "<br />",
                                 "<strong>",
                                 "<b>",
                                 "<span style=\"color:#c00\">",
                                 "<ul>",
                                 "<ol>",
                                 "<table",
                                 "<img src=\"/images/",
                                 ">相关文章：",
                                 "href=\"https://example.org/",
                                 "&amp;",
                                 "&lt;",
                                 "&gt;",
                                 "&quot;",
                                 "&middot;",
                                 "&hellip;",
                                 "&#8220;",
                                 "&#x4E2D;"}) {
        EXPECT_NE(all.find(fragment), std::string::npos) << fragment;
    }
    // Every internal link leads to an article that exists.
    const std::regex internal(R"(/archives/(\d+)\.html)");
    for (auto it = std::sregex_iterator(all.begin(), all.end(), internal);
         it != std::sregex_iterator(); ++it) {
        EXPECT_NE(FindArticle(std::stoi((*it)[1].str())), nullptr) << (*it)[0].str();
    }
}

TEST(SampleSiteContent, AudioElementsVaryAsTheReaderMustHandle) {
    const std::regex one_line(R"(<audio [^\n]*src="[^"]+\.mp3"[^\n]*></audio>)");
    int with_audio = 0;
    int with_two = 0;
    int split = 0;
    int relative = 0;
    for (const Article& a : Articles()) {
        const auto found =
            std::distance(std::sregex_iterator(a.body_html.begin(), a.body_html.end(), one_line),
                          std::sregex_iterator());
        EXPECT_EQ(a.has_audio, !a.audio_names.empty());
        with_audio += a.has_audio ? 1 : 0;
        with_two += a.audio_names.size() == 2 ? 1 : 0;
        split += found < static_cast<long>(a.audio_names.size()) ? 1 : 0;
        relative += a.body_html.find("src=\"/audio/") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(with_audio, 8);
    EXPECT_LE(with_audio, 12);
    EXPECT_TRUE(with_two == 1 || with_two == 2) << with_two;
    EXPECT_EQ(split, 1);
    EXPECT_GE(relative, 1);
}

TEST(SampleSiteContent, VisibleTextDropsTagsAndDecodesReferences) {
    const std::pair<const char*, const char*> cases[] = {
        {"<p><b>甲</b>乙</p>", "甲乙"},
        {"Q&amp;A &lt;x&gt; &quot;y&quot;", "Q&A <x> \"y\""},
        {"&#x4E2D;&#8220;文&#8221;", "中“文”"},
        {"一<br />二<br>三", "一\n二\n三"},
        {"&middot;&hellip;", "·…"},
        {"&bogus; & &#xZZ;", "&bogus; & &#xZZ;"},
    };
    for (const auto& [html, text] : cases) {
        EXPECT_EQ(VisibleText(html), text) << html;
    }
}

TEST_F(SampleSiteTest, ListingPagesHaveExactlyTheirArticlesInTheReaderShape) {
    std::vector<const Article*> all;
    for (const Article& a : Articles()) {
        all.push_back(&a);
    }
    const auto slice = [](const std::vector<const Article*>& from, int page) {
        const std::size_t begin = static_cast<std::size_t>(page - 1) * kPageSize;
        return std::vector<const Article*>(
            from.begin() + static_cast<long>(begin),
            from.begin() + static_cast<long>(std::min(from.size(), begin + kPageSize)));
    };
    struct Case {
        std::string path;
        std::vector<const Article*> expected;
    };
    std::vector<Case> cases = {
        {"/", slice(all, 1)},
        {"/page/2", slice(all, 2)},
        {"/page/" + std::to_string(PageCount(all.size())), slice(all, PageCount(all.size()))},
    };
    for (const Category& category : Categories()) {
        const auto in_category = ArticlesInCategory(category.slug);
        const int last = PageCount(in_category.size());
        cases.push_back({"/category/" + category.slug, slice(in_category, 1)});
        cases.push_back({"/category/" + category.slug + "/page/" + std::to_string(last),
                         slice(in_category, last)});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto result = Get(c.path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->body.find('\r'), std::string::npos);
        ExpectListing(result->body, c.expected, Host());
    }
}

TEST_F(SampleSiteTest, PagesPastTheEndAndUnknownAddressesAreNotFound) {
    const std::string past_home = "/page/" + std::to_string(PageCount(Articles().size()) + 1);
    const std::string past_jdxt =
        "/category/jdxt/page/" + std::to_string(PageCount(ArticlesInCategory("jdxt").size()) + 1);
    for (const std::string& path :
         {past_home, past_jdxt, std::string("/page/0"), std::string("/page/-1"),
          std::string("/page/abc"), std::string("/page/99999999999"), std::string("/category/xx"),
          std::string("/category/xx/page/1"), std::string("/page/2?s=%E5%8B%BE%E8%82%A1"),
          std::string("/archives/999999.html"), std::string("/archives/x.html"),
          std::string("/audio/nosuch.mp3"), std::string("/nowhere")}) {
        const auto result = Get(path);
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 404) << path;
        EXPECT_NE(result->body.find("<html"), std::string::npos) << path;
        EXPECT_FALSE(std::regex_search(result->body, kBlock)) << path;
    }
}

TEST_F(SampleSiteTest, SearchMatchesTitlesAndVisibleBodyTextOnly) {
    struct Case {
        const char* encoded;
        const char* keyword;
        bool expect_hits;
    };
    const Case cases[] = {
        {"%E5%8B%BE%E8%82%A1", "勾股", true},             // one title, more bodies
        {"%E5%8F%B6%E7%BB%BF%E4%BD%93", "叶绿体", true},  // bodies only
        {"Q%26A", "Q&A", true},                           // written as &amp; in bodies
        {"c00", "c00", false},                            // only inside a style attribute
        {"post_content", "post_content", false},          // page frame, not body
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        const auto hits = SearchArticles(c.keyword);
        EXPECT_EQ(!hits.empty(), c.expect_hits);
        const auto result = Get(std::string("/page/1?s=") + c.encoded);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        if (!c.expect_hits) {
            EXPECT_NE(result->body.find("没有找到"), std::string::npos);
        }
        const std::vector<const Article*> first(
            hits.begin(),
            hits.begin() + static_cast<long>(std::min<std::size_t>(hits.size(), kPageSize)));
        ExpectListing(result->body, first, Host());
    }
    // The title hit is marked in its listing title; a body-only hit is listed unmarked.
    const auto title_hit = Get("/page/1?s=%E5%8B%BE%E8%82%A1");
    EXPECT_NE(title_hit->body.find("\"><span class=\"hl\">勾股</span>定理的几种证明思路</a></h2>"),
              std::string::npos);
    for (const Article* a : SearchArticles("叶绿体")) {
        EXPECT_EQ(a->title.find("叶绿体"), std::string::npos);
    }
}

TEST_F(SampleSiteTest, ArticlePagesHaveTheExactFrameAndIndents) {
    const std::string prefix = "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n";
    for (const Article& a : Articles()) {
        SCOPED_TRACE(a.id);
        const auto result = Get("/archives/" + std::to_string(a.id) + ".html");
        ASSERT_TRUE(result);
        ASSERT_EQ(result->status, 200);
        const std::string& page = result->body;
        const std::string head = prefix + "<head><meta charset=\"UTF-8\"><title>" + a.title +
                                 "</title></head>\n<body>\n<center><h1>" + a.title +
                                 "</h1>\n<div>正文：</div></center>\n"
                                 "   <article id=\"post_content\">\n";
        ASSERT_TRUE(page.starts_with(head));
        const std::size_t close = page.find("\n       </article>\n");
        ASSERT_NE(close, std::string::npos);
        std::string body;
        for (const std::string& line : SplitLines(page.substr(head.size(), close - head.size()))) {
            ASSERT_TRUE(line.starts_with("    ") && line[4] != ' ') << line;
            body += (body.empty() ? "" : "\n") + line.substr(4);
        }
        EXPECT_EQ(body, BodyForHost(a, Host()));
        EXPECT_EQ(body.find("{host}"), std::string::npos);
    }
}

TEST_F(SampleSiteTest, LinksFollowTheHostTheRequestNamed) {
    const auto named = Get("/page/1", {{"Host", "reader.test:8080"}});
    ASSERT_TRUE(named);
    EXPECT_NE(named->body.find("href=\"http://reader.test:8080/archives/"), std::string::npos);
    const auto hostile = Get("/page/1", {{"Host", "x\"><script>"}});
    ASSERT_TRUE(hostile);
    EXPECT_EQ(hostile->body.find("<script>"), std::string::npos);
    EXPECT_NE(hostile->body.find("href=\"http://" + Host() + "/archives/"), std::string::npos);
}

TEST_F(SampleSiteTest, ManifestIsGbkAndAnnouncesTheCurrentVersion) {
    for (const std::string version : {"1.0.0.8", "2.3.4.5"}) {
        site_->SetUpdateVersion(version);
        const auto result = Get("/qmzt/update.xml");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Content-Type"), "text/xml; charset=gbk");
        EXPECT_EQ(result->body.find("更新"), std::string::npos) << "sent as UTF-8";
        EXPECT_NE(result->body.find(Utf8ToGbk("<版本号>" + version + "</版本号>")),
                  std::string::npos);
        EXPECT_TRUE(GbkToUtf8(result->body)
                        .starts_with("<?xml version=\"1.0\" encoding=\"gbk\"?>\n<更新>\n"));
    }
    site_->SetUpdateVersion("1.0.0.8");
}

TEST_F(SampleSiteTest, AudioAnswersRangeRequestsWithTheRightBytes) {
    const std::string mp3(AudioBytes());
    ASSERT_GT(mp3.size(), 1000U);
    EXPECT_LT(mp3.size(), 60U * 1024U);
    const std::string size = std::to_string(mp3.size());
    struct Case {
        std::string range;  // empty: whole file
        int status;
        std::string content_range;
        std::string body;
    };
    const Case cases[] = {
        {"", 200, "", mp3},
        {"bytes=100-199", 206, "bytes 100-199/" + size, mp3.substr(100, 100)},
        {"bytes=1000-", 206, "bytes 1000-" + std::to_string(mp3.size() - 1) + "/" + size,
         mp3.substr(1000)},
        {"bytes=-16", 206,
         "bytes " + std::to_string(mp3.size() - 16) + "-" + std::to_string(mp3.size() - 1) + "/" +
             size,
         mp3.substr(mp3.size() - 16)},
    };
    for (const std::string& name : AudioNames()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(name + " " + c.range);
            httplib::Headers headers;
            if (!c.range.empty()) {
                headers.emplace("Range", c.range);
            }
            const auto result = Get("/audio/" + name + ".mp3", headers);
            ASSERT_TRUE(result);
            EXPECT_EQ(result->status, c.status);
            EXPECT_EQ(result->get_header_value("Content-Type"), "audio/mpeg");
            EXPECT_EQ(result->get_header_value("Accept-Ranges"), "bytes");
            EXPECT_EQ(result->get_header_value("Content-Range"), c.content_range);
            EXPECT_TRUE(result->body == c.body);
        }
    }
}

TEST_F(SampleSiteTest, SitePagesAndImagesAreServed) {
    for (const char* path : {"/gywm-html", "/jzbz-html", "/qun-html"}) {
        const auto result = Get(path);
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 200) << path;
        for (const char* name : {"最新文章", "最新动态", "学习工具"}) {
            EXPECT_NE(result->body.find(name), std::string::npos) << path << " " << name;
        }
    }
    const auto image = Get("/images/figure.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->status, 200);
    EXPECT_TRUE(image->body.starts_with("\x89PNG"));
}

// Pages carry validators; naming them gets 304 until the content changes. The switches publish
// new articles at the top of the home listing and make the site answer 503.
TEST(SampleSiteSwitches, ConditionalAnswersFollowPublishingAndUnavailability) {
    SampleSite site;
    ASSERT_TRUE(site.Start());
    httplib::Client client("127.0.0.1", site.Port());
    const auto first = client.Get("/page/1");
    ASSERT_TRUE(first);
    const std::string etag = first->get_header_value("ETag");
    const std::string modified = first->get_header_value("Last-Modified");
    EXPECT_FALSE(etag.empty());
    EXPECT_TRUE(modified.ends_with(" GMT")) << modified;

    struct Case {
        const char* name;
        httplib::Headers headers;
        int status;
    };
    const Case before[] = {
        {"SameTag", {{"If-None-Match", etag}}, 304},
        {"SameDate", {{"If-Modified-Since", modified}}, 304},
        {"OtherTagWinsOverTheDate",
         {{"If-None-Match", "\"x\""}, {"If-Modified-Since", modified}},
         200},
        {"Plain", {}, 200},
    };
    for (const Case& c : before) {
        const auto result = client.Get("/page/1", c.headers);
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(result->status, c.status) << c.name;
        EXPECT_EQ(result->body.empty(), c.status == 304) << c.name;
    }

    site.SetPublished(2);
    const auto changed = client.Get("/page/1", {{"If-None-Match", etag}});
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->status, 200);
    EXPECT_NE(changed->get_header_value("Last-Modified"), modified);
    const std::size_t newest = changed->body.find("新文章 2");
    EXPECT_NE(newest, std::string::npos);
    EXPECT_LT(newest, changed->body.find("新文章 1"));
    EXPECT_LT(changed->body.find("新文章 1"), changed->body.find(Articles().front().title));
    const auto added =
        client.Get(("/archives/" + std::to_string(kFirstPublishedId + 1) + ".html").c_str());
    ASSERT_TRUE(added);
    EXPECT_EQ(added->status, 200);
    EXPECT_NE(added->body.find("新文章 2"), std::string::npos);

    site.SetUnavailable(true);
    for (const char* path : {"/page/1", "/archives/1.html", "/category/zxdt"}) {
        const auto result = client.Get(path);
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 503) << path;
    }
    site.SetUnavailable(false);
    const auto back = client.Get("/page/1");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->status, 200);
}

TEST(SampleSiteServer, BindsLoopbackAndRefusesATakenPort) {
    SampleSite first;
    ASSERT_TRUE(first.Start());
    EXPECT_GT(first.Port(), 0);
    EXPECT_EQ(first.BaseUrl(), "http://127.0.0.1:" + std::to_string(first.Port()));
    SiteOptions same_port;
    same_port.port = first.Port();
    SampleSite second(same_port);
    EXPECT_FALSE(second.Start());
    first.Stop();
    first.Stop();  // a second stop is harmless
    httplib::Client client("127.0.0.1", first.Port());
    EXPECT_FALSE(client.Get("/"));
}

}  // namespace
}  // namespace vennadar::sample_site

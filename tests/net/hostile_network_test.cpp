// Servers that misbehave on purpose, on loopback, against the real download service and the
// listing, article and update paths that consume its downloads. Every case is bounded in time.
#include <gtest/gtest.h>
#include <malloc.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <unistd.h>
#include <zlib.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "adapters/curl/curl_http.h"
#include "core/listing/navigation.h"
#include "core/reader/article_reader.h"
#include "core/text/code_page.h"
#include "core/update/update_check.h"
#include "core/update/version_record.h"
#include "core/wait/wait.h"
#include "net/hostile_server.h"
#include "support/fakes.h"
#include "support/local_server.h"
#include "support/test_support.h"

namespace vennadar {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ShownMessage;

constexpr std::size_t kMiB = 1024 * 1024;

using test::Answer;
using test::Chunk;
using test::LengthHead;
using test::RawServer;
using test::Redirect;
using test::Respond;
using test::SendPadded;
using Peer = RawServer::Peer;

// Byte sequences that are neither UTF-8 nor GBK: stray continuation bytes, an overlong slash, a
// UTF-16 surrogate, a five-byte form, GBK lead bytes before ASCII, 0x80 and 0xFF, and a lead byte
// cut off right before what follows.
const std::string kJunk =
    "\x80\xbf \xc0\xaf \xed\xa0\x80 \xf8\x88\x80\x80\x80 \x81\x30 \x81<\xff\xfe\x80 \xe4\xb8"
    "\x81";

// What a hostile case has to work with: the page the path expects, already transformed by the
// case, and places to send the client that it must not go.
struct Served {
    std::string body;
    std::string file_url;  // a local file holding the untransformed page
    std::string ftp_url;   // a listener that counts whoever connects
};

enum class Result {
    Fails,         // no download: the program shows its failed page
    GivesGarbage,  // the bytes arrive but hold nothing the program can show
    GivesThePage,  // the program shows the page as if it had come clean
};

struct HostileCase {
    const char* name;
    Result result;
    std::function<void(Peer&, const Served&)> serve = [](Peer& peer, const Served& served) {
        Respond(peer, served.body);
    };
    std::function<std::string(const std::string&)> body = [](const std::string& page) {
        return page;
    };
    bool ends_at_time_limit = false;
};

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// `page` and then spaces up to `total` bytes, gzip-compressed a block at a time: a small download
// that decodes to far more than the program keeps.
std::string GzipPadded(const std::string& page, std::size_t total) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::string out;
    char buffer[65536];
    const auto feed = [&](std::string_view in, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        stream.avail_in = static_cast<uInt>(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            out.append(buffer, sizeof buffer - stream.avail_out);
        } while (stream.avail_out == 0);
    };
    feed(page, Z_NO_FLUSH);
    const std::string spaces(65536, ' ');
    for (std::size_t left = total - page.size(); left > 0;) {
        const std::size_t n = std::min(left, spaces.size());
        left -= n;
        feed(std::string_view(spaces).substr(0, n), left == 0 ? Z_FINISH : Z_NO_FLUSH);
    }
    deflateEnd(&stream);
    return out;
}

const std::string kHttp10Head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

const HostileCase kCases[] = {
    {.name = "OneByteASecondIsCutOffAtTheTimeLimit",
     .result = Result::Fails,
     .serve =
         [](Peer& peer, const Served& served) {
             if (Answer(peer, LengthHead(served.body.size()))) {
                 for (std::size_t i = 0; i < served.body.size() &&
                                         peer.Send(served.body.substr(i, 1)) && peer.Pause(1s);
                      ++i) {
                 }
             }
         },
     .ends_at_time_limit = true},
    {.name = "ChunkedBodyThatNeverEndsIsCutOffAtTheTimeLimit",
     .result = Result::Fails,
     .serve =
         [](Peer& peer, const Served& served) {
             if (Answer(peer, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n") &&
                 peer.Send(Chunk(served.body))) {
                 while (peer.Send(Chunk("\n")) && peer.Pause(100ms)) {
                 }
             }
         },
     .ends_at_time_limit = true},
    {.name = "TwentyMiBBodyIsRefused",
     .result = Result::Fails,
     .serve =
         [](Peer& peer, const Served& served) {
             Answer(peer, LengthHead(20 * kMiB)) && SendPadded(peer, served.body, 20 * kMiB);
         }},
    {.name = "TwentyMiBBodyEndedByCloseIsRefused",
     .result = Result::Fails,
     .serve =
         [](Peer& peer, const Served& served) {
             Answer(peer, kHttp10Head) && SendPadded(peer, served.body, 20 * kMiB);
         }},
    {.name = "GzipBodyDecodingToTwentyMiBIsRefused",
     .result = Result::Fails,
     .serve =
         [](Peer& peer, const Served& served) {
             Answer(peer, "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                              std::to_string(served.body.size()) + "\r\n\r\n") &&
                 peer.Send(served.body);
         },
     .body = [](const std::string& page) { return GzipPadded(page, 20 * kMiB); }},
    {.name = "BodyOfExactlySixteenMiBIsKept",
     .result = Result::GivesThePage,
     .body =
         [](const std::string& page) { return page + std::string(16 * kMiB - page.size(), ' '); }},
    {.name = "RedirectLoopFails",
     .result = Result::Fails,
     .serve =
         [](Peer& peer, const Served&) {
             while (Answer(peer,
                           "HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n\r\n")) {
             }
         }},
    {.name = "RedirectToEtcPasswdIsRefused",
     .result = Result::Fails,
     .serve = [](Peer& peer, const Served&) { Redirect(peer, "file:///etc/passwd"); }},
    {.name = "RedirectToALocalFileHoldingThePageIsRefused",
     .result = Result::Fails,
     .serve = [](Peer& peer, const Served& served) { Redirect(peer, served.file_url); }},
    {.name = "RedirectToFtpIsRefused",
     .result = Result::Fails,
     .serve = [](Peer& peer, const Served& served) { Redirect(peer, served.ftp_url); }},
    {.name = "ResetInTheMiddleOfTheBodyFails",
     .result = Result::Fails,
     .serve =
         [](Peer& peer, const Served& served) {
             if (Answer(peer, LengthHead(served.body.size() + 100000)) && peer.Send(served.body)) {
                 peer.Reset();
             }
         }},
    {.name = "CloseShortOfTheLengthFails",
     .result = Result::Fails,
     .serve =
         [](Peer& peer, const Served& served) {
             Answer(peer, LengthHead(served.body.size() + 100000)) && peer.Send(served.body);
         }},
    {.name = "RandomBinaryShowsNothing",
     .result = Result::GivesGarbage,
     .body =
         [](const std::string&) {
             std::mt19937 random(20240501);
             std::string bytes(256 * 1024, '\0');
             for (char& c : bytes) {
                 c = static_cast<char>(random() & 0xff);
             }
             return bytes;
         }},
    {.name = "NulBytesShowNothing",
     .result = Result::GivesGarbage,
     .body = [](const std::string&) { return std::string(kMiB, '\0'); }},
    {.name = "NulBeforeThePageHidesIt",
     .result = Result::GivesGarbage,
     .body = [](const std::string& page) { return std::string(1, '\0') + page; }},
    {.name = "NulsAfterThePageAreDropped",
     .result = Result::GivesThePage,
     .body = [](const std::string& page) { return page + std::string(65536, '\0'); }},
    {.name = "InvalidUtf8AndGbkAroundThePageAreIgnored",
     .result = Result::GivesThePage,
     .serve =
         [](Peer& peer, const Served& served) {
             Answer(peer,
                    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=\xff\xfe\r\nX-Junk: " +
                        kJunk + "\r\nContent-Length: " + std::to_string(served.body.size()) +
                        "\r\n\r\n") &&
                 peer.Send(served.body);
         },
     .body = [](const std::string& page) { return kJunk + page + kJunk; }},
    {.name = "HundredThousandLinesAroundThePage",
     .result = Result::GivesThePage,
     .body =
         [](const std::string& page) {
             const std::string half = Repeat("<p>filler line</p>\n", 50000);
             return half + page + half;
         }},
    {.name = "NestingTwoHundredThousandDeepAroundThePage",
     .result = Result::GivesThePage,
     .body =
         [](const std::string& page) {
             return Repeat("<div>", 200000) + "\n" + page + Repeat("</div>", 200000) + "\n";
         }},
    {.name = "Http10BodyEndedByCloseIsShown",
     .result = Result::GivesThePage,
     .serve = [](Peer& peer,
                 const Served& served) { Answer(peer, kHttp10Head) && peer.Send(served.body); }},
};

enum class Path { Download, Listing, Article, Update };
constexpr const char* kPathNames[] = {"Download", "Listing", "Article", "Update"};

const char* PathName(Path path) {
    return kPathNames[static_cast<int>(path)];
}

// Failure messages name the case and the path rather than dump their bytes.
void PrintTo(const HostileCase& hostile, std::ostream* out) {
    *out << hostile.name;
}
void PrintTo(Path path, std::ostream* out) {
    *out << PathName(path);
}

// The pages each path expects, and what the program shows for them.
const std::string kListingPage =
    "<html><body>\n"
    "<h2><a target=\"_blank\" href=\"http://127.0.0.1:9/archives/1.html\">勾股定理</a></h2>\n"
    "<span>发表日期：2024-05-01</span>\n<span>点击：42</span>\n"
    "<h2><a target=\"_blank\" href=\"http://127.0.0.1:9/archives/2.html\">圆周率</a></h2>\n"
    "<span>发表日期：2024-05-02</span>\n<span>点击：7</span>\n"
    "</body></html>\n";
const std::vector<std::string> kListingRows = {"勾股定理:发表日期：2024-05-01:点击：42",
                                               "圆周率:发表日期：2024-05-02:点击：7"};

std::string ArticlePage(const std::string& body_lines) {
    return "<html><body>\n<center><h1>T</h1>\n<div>正文：</div></center>\n"
           "   <article id=\"post_content\">\n" +
           body_lines + "       </article>\n</body></html>\n";
}
const std::string kArticlePage = ArticlePage(
    "    <p>勾股定理</p>\n    <p>见<a href=\"http://127.0.0.1:9/ref\">参考</a>。</p>\n");
constexpr char kArticleText[] = "勾股定理\n\n见参考。";

const std::string kManifest = Utf8ToGbk(
    "<?xml version=\"1.0\" encoding=\"gbk\"?>\n<更新>\n<版本号>1.0.0.9</版本号>\n</更新>\n");

const std::string& GoodPage(Path path) {
    static const std::string download = "<p>你好</p>\n";
    switch (path) {
        case Path::Listing:
            return kListingPage;
        case Path::Article:
            return kArticlePage;
        case Path::Update:
            return kManifest;
        case Path::Download:
            break;
    }
    return download;
}

// What the heap holds right now, in all arenas and mapped blocks.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The fakes and the real download service, and each path that downloads, taken from the start.
class HostilePaths : public ::testing::Test {
  protected:
    static constexpr long kTimeLimitMs = 3000;

    static HttpLimits ShortLimits() {
        HttpLimits limits;  // the size and redirect limits stay as the program has them
        limits.connect_timeout_ms = 2000;
        limits.total_timeout_ms = kTimeLimitMs;
        return limits;
    }

    HostilePaths() {
        view_.title_of_handoff = [this] { return GbkToUtf8(state_->article_handoff.title); };
        state_->version_record[kFileVersion] = "1.0.0.8";
        dialogs_.answer = kAnswerNo;
    }

    // Takes whatever the server at `base` gives down the path; times only the path's own work.
    void Take(Path path, const std::string& base) {
        Clock::time_point start;
        switch (path) {
            case Path::Download:
                http_.Download("");  // sets up the library before the heap is measured
                heap_before_ = HeapInUse();
                start = Clock::now();
                downloaded_ = http_.Download(base + "/page.html");
                break;
            case Path::Listing:
                services_.settings.site_base = base;
                state_->listing_query = {1, false, false, {}};
                view_.ClearList();
                start = Clock::now();
                LoadListing(*state_, view_, services_);
                Settle();
                break;
            case Path::Article: {
                // A well-behaved site lists the article; its page is on the hostile server.
                test::LocalServer site;
                const std::string listing =
                    "<h2><a href=\"" + base +
                    "/archives/1.html\">标题</a></h2>\n"
                    "<span>发表日期：2024-05-01</span>\n<span>点击：1</span>\n";
                site.server().Get("/page/1", [&](const httplib::Request&, httplib::Response& res) {
                    res.set_content(listing, "text/html");
                    // The kept-alive connection would hold the server's stop for its timeout.
                    res.set_header("Connection", "close");
                });
                ASSERT_TRUE(site.Start());
                services_.settings.site_base = site.Url("");
                state_->listing_query = {1, false, false, {}};
                view_.ClearList();
                LoadListing(*state_, view_, services_);
                Settle();
                ASSERT_EQ(view_.rows.size(), 1U);
                start = Clock::now();
                ActivateListItem(*state_, view_, services_);
                Settle();
                ShowArticle(*state_, article_, services_);
                break;
            }
            case Path::Update:
                services_.settings.update_manifest_url = base + "/qmzt/update.xml";
                start = Clock::now();
                UpdateCheck(*state_, view_, services_);
                Settle();
                break;
        }
        elapsed_ = Clock::now() - start;
    }

    // What the program shows when the download fails or holds nothing it can use.
    void ExpectFailedPage(Path path) {
        switch (path) {
            case Path::Download:
                EXPECT_FALSE(downloaded_.has_value()) << downloaded_->size() << " bytes came";
                break;
            case Path::Listing:
                EXPECT_TRUE(view_.rows.empty());
                EXPECT_EQ(view_.selected, -1);
                EXPECT_EQ(view_.focus, "list");
                break;
            case Path::Article:
                EXPECT_EQ(view_.article_titles, std::vector<std::string>{"标题"});
                EXPECT_EQ(dialogs_.shown,
                          (std::vector<ShownMessage>{{"获取正文失败", "提示", 0x40}}));
                EXPECT_TRUE(article_.body.empty());
                EXPECT_TRUE(article_.rows.empty());
                break;
            case Path::Update:
                EXPECT_FALSE(view_.closed);
                EXPECT_TRUE(dialogs_.shown.empty());
                EXPECT_TRUE(view_.shown);
                EXPECT_EQ(state_->remote_version, "");
                break;
        }
    }

    // What the program shows for the path's good page.
    void ExpectPageShown(Path path) {
        switch (path) {
            case Path::Download:
                EXPECT_TRUE(downloaded_.has_value());
                break;
            case Path::Listing:
                EXPECT_EQ(view_.rows, kListingRows);
                EXPECT_EQ(view_.selected, 0);
                break;
            case Path::Article:
                EXPECT_TRUE(dialogs_.shown.empty());
                EXPECT_EQ(GbkToUtf8(article_.body), kArticleText);
                EXPECT_EQ(article_.rows, std::vector<std::string>{"参考"});
                break;
            case Path::Update:
                EXPECT_FALSE(view_.closed);
                EXPECT_EQ(
                    dialogs_.shown,
                    (std::vector<ShownMessage>{{"发现新版本1.0.0.9，是否立即更新", "更新", 0x24}}));
                break;
        }
    }

    double Seconds() const { return std::chrono::duration<double>(elapsed_).count(); }

    std::unique_ptr<AppState> state_ = InitializeGlobals();
    test::FakeMainView view_;
    test::FakeArticleView article_;
    test::FakeSounds sounds_;
    test::FakeDialogs dialogs_;
    test::FakeDesktop desktop_;
    CurlHttp http_{ShortLimits()};
    Services services_{http_, sounds_, dialogs_, desktop_, BuildSettings()};
    std::optional<std::string> downloaded_;
    std::size_t heap_before_ = 0;
    Clock::duration elapsed_{};

    // Turns the event loop until the awaited download has arrived (its limits end every wait).
    void Settle() {
        const auto give_up = Clock::now() + 60s;
        while (IsWaiting(*state_) && Clock::now() < give_up) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        ASSERT_FALSE(IsWaiting(*state_)) << "the download never arrived";
    }
};

class HostileServer : public HostilePaths,
                      public ::testing::WithParamInterface<std::tuple<HostileCase, Path>> {
  protected:
    void TearDown() override {
        if (!file_.empty()) {
            std::remove(file_.c_str());
        }
    }
    std::string file_;
};

TEST_P(HostileServer, EndsInBoundedTimeShowingWhatTheDownloadAllows) {
    const auto& [hostile, path] = GetParam();
    RawServer ftp_trap([](Peer& peer) { peer.Send("220 ready\r\n"); });
    ASSERT_TRUE(ftp_trap.Start());

    char file[] = "/tmp/vennadar-hostile-XXXXXX";
    const int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    file_ = file;
    std::ofstream(file_, std::ios::binary) << GoodPage(path);

    const Served served{hostile.body(GoodPage(path)), "file://" + file_,
                        ftp_trap.Base("ftp") + "/page.html"};
    RawServer server([&](Peer& peer) { hostile.serve(peer, served); });
    ASSERT_TRUE(server.Start());

    Take(path, server.Base());

    switch (hostile.result) {
        case Result::Fails:
            ExpectFailedPage(path);
            break;
        case Result::GivesGarbage:
            if (path != Path::Download) {
                ExpectFailedPage(path);
            }
            break;
        case Result::GivesThePage:
            ExpectPageShown(path);
            break;
    }
    if (path == Path::Download && hostile.result != Result::Fails) {
        ASSERT_TRUE(downloaded_.has_value());
        EXPECT_TRUE(*downloaded_ == served.body)  // bytes through unchanged; no 16 MiB diff
            << downloaded_->size() << " bytes instead of " << served.body.size();
    }
    if (path == Path::Download) {
        downloaded_.reset();
        EXPECT_LT(HeapInUse(), heap_before_ + kMiB) << "the download left its bytes behind";
    }

    const double limit = kTimeLimitMs / 1000.0;
    EXPECT_LT(Seconds(), limit + 5);
    if (hostile.ends_at_time_limit) {
        EXPECT_GE(Seconds(), limit - 0.1) << "ended before the time limit: by something else?";
    } else if (hostile.result == Result::Fails) {
        EXPECT_LT(Seconds(), limit) << "waited for the time limit instead of failing at once";
    }
    EXPECT_LE(server.requests(), ShortLimits().max_redirects + 1);
    EXPECT_EQ(ftp_trap.connections(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileServer,
                         ::testing::Combine(::testing::ValuesIn(kCases),
                                            ::testing::Values(Path::Download, Path::Listing,
                                                              Path::Article, Path::Update)),
                         [](const ::testing::TestParamInfo<std::tuple<HostileCase, Path>>& param) {
                             return std::string(std::get<0>(param.param).name) + "_" +
                                    PathName(std::get<1>(param.param));
                         });

// A well-formed response whose page is hostile in itself.
class HostilePage : public HostilePaths {
  protected:
    void TakePage(Path path, std::string body) {
        body_ = std::move(body);
        RawServer server([this](Peer& peer) { Respond(peer, body_); });
        ASSERT_TRUE(server.Start());
        Take(path, server.Base());
        EXPECT_LT(Seconds(), kTimeLimitMs / 1000.0 + 5);
    }
    std::string body_;
};

struct Nesting {
    const char* name;
    const char* open;
    const char* close;  // empty: left open
};

class DeepArticle : public HostilePage, public ::testing::WithParamInterface<Nesting> {};

TEST_P(DeepArticle, TwoHundredThousandLevelsShowTheTextInsideAndAfter) {
    const Nesting& nesting = GetParam();
    TakePage(Path::Article, ArticlePage("    " + Repeat(nesting.open, 200000) + "深处的文字" +
                                        Repeat(nesting.close, 200000) + "\n    <p>之后</p>\n"));
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(GbkToUtf8(article_.body), "深处的文字\n\n之后");
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeepArticle,
                         ::testing::Values(Nesting{"ClosedDivs", "<div>", "</div>"},
                                           Nesting{"UnclosedSpans", "<span>", ""},
                                           Nesting{"FormattingElements", "<b>", "</b>"},
                                           Nesting{"UnclosedLinks", "<a href=\"/n\">", ""}),
                         test::CaseName());

TEST_F(HostilePage, ArticleOfAHundredThousandLinesShowsEveryLine) {
    std::string lines;
    for (int i = 1; i <= 100000; ++i) {
        lines += "    <p>第" + std::to_string(i) + "行</p>\n";
    }
    TakePage(Path::Article, ArticlePage(lines));
    EXPECT_TRUE(dialogs_.shown.empty());
    const std::string text = GbkToUtf8(article_.body);
    EXPECT_TRUE(text.starts_with("第1行\n\n第2行\n\n")) << text.substr(0, 100);
    EXPECT_TRUE(text.ends_with("\n\n第99999行\n\n第100000行"))
        << text.substr(text.size() - std::min<std::size_t>(100, text.size()));
    std::size_t paragraphs = 0;
    for (std::size_t at = text.find("行"); at != std::string::npos; at = text.find("行", at + 1)) {
        ++paragraphs;
    }
    EXPECT_EQ(paragraphs, 100000U);
}

TEST_F(HostilePage, ListingOfAHundredThousandLinesListsEveryBlock) {
    std::string page;
    for (int i = 1; i <= 33333; ++i) {
        page += "<h2><a href=\"http://127.0.0.1:9/archives/" + std::to_string(i) + ".html\">第" +
                std::to_string(i) + "篇</a></h2>\n<span>发表日期：2024-05-01</span>\n<span>点击：" +
                std::to_string(i) + "</span>\n";
    }
    TakePage(Path::Listing, page + "<p>end</p>\n");
    ASSERT_EQ(view_.rows.size(), 33333U);
    EXPECT_EQ(view_.rows.front(), "第1篇:发表日期：2024-05-01:点击：1");
    EXPECT_EQ(view_.rows.back(), "第33333篇:发表日期：2024-05-01:点击：33333");
}

// Bytes that are not text where the program takes text: what a browser would do, give or take
// the replacement character, which GBK cannot write and so becomes "?".
TEST_F(HostilePage, InvalidBytesInsideTheTextAreReplacedAndTheRestShown) {
    TakePage(Path::Listing,
             "<h2><a href=\"http://127.0.0.1:9/1.html\">勾股\xff定理\xc0\xaf</a></h2>\n"
             "<span>发表日期：2024-05-01</span>\n<span>点击：1</span>\n");
    EXPECT_EQ(view_.rows, std::vector<std::string>{"勾股?定理??:发表日期：2024-05-01:点击：1"});

    TakePage(Path::Article, ArticlePage("    <p>勾股\xed\xa0\x80定理\xe4\xb8</p>\n"));
    EXPECT_EQ(GbkToUtf8(article_.body), "勾股???定理?");
}

TEST_F(HostilePage, ManifestVersionIsFoundBetweenInvalidGbk) {
    // Lead bytes right before the tags must not swallow their first byte.
    TakePage(Path::Update, "\x81" + Utf8ToGbk("<更新>\x81<版本号>1.0.0.9</版本号>") + "\xfe\x81");
    EXPECT_EQ(state_->remote_version, "1.0.0.9");
    EXPECT_EQ(dialogs_.shown.size(), 1U);
}

// The update manifest over TLS, with certificates the download must refuse, and one it trusts to
// show the refusals are the certificates' doing.
struct TlsCase {
    const char* name;
    const char* cert;
    const char* key;
    const char* trusted;  // the download's extra trust anchor; empty: the system's store
    bool accepted;
};

class HostileTls : public HostilePaths, public ::testing::WithParamInterface<TlsCase> {
  protected:
    void SetUp() override {
        const TlsCase& tls = GetParam();
        server_ = std::make_unique<httplib::SSLServer>(
            (std::string(VENNADAR_FIXTURE_DIR "/") + tls.cert).c_str(),
            (std::string(VENNADAR_FIXTURE_DIR "/") + tls.key).c_str());
        ASSERT_TRUE(server_->is_valid());
        server_->Get(".*", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kManifest, "text/xml");
        });
        port_ = server_->bind_to_any_port("127.0.0.1");
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        while (!server_->is_running()) {
            std::this_thread::yield();
        }
        if (*tls.trusted != '\0') {
            HttpLimits limits = ShortLimits();
            limits.ca_file = std::string(VENNADAR_FIXTURE_DIR "/") + tls.trusted;
            trusting_ = std::make_unique<CurlHttp>(limits);
        }
    }
    void TearDown() override {
        if (server_) {
            server_->stop();
        }
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    void Take(Path path) {
        Services services{trusting_ ? *trusting_ : http_, sounds_, dialogs_, desktop_,
                          BuildSettings()};
        const std::string base = "https://127.0.0.1:" + std::to_string(port_);
        const auto start = Clock::now();
        if (path == Path::Download) {
            downloaded_ = services.http.Download(base + "/qmzt/update.xml");
        } else {
            services.settings.update_manifest_url = base + "/qmzt/update.xml";
            UpdateCheck(*state_, view_, services);
            Settle();
        }
        elapsed_ = Clock::now() - start;
    }

    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;
    std::unique_ptr<CurlHttp> trusting_;
};

TEST_P(HostileTls, OnlyATrustedCertificateForThisHostGivesTheManifest) {
    for (const Path path : {Path::Download, Path::Update}) {
        SCOPED_TRACE(PathName(path));
        Take(path);
        if (GetParam().accepted) {
            EXPECT_EQ(downloaded_, kManifest);
            ExpectPageShown(path);
        } else {
            ExpectFailedPage(path);
        }
        EXPECT_LT(Seconds(), kTimeLimitMs / 1000.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Certificates, HostileTls,
                         ::testing::Values(TlsCase{"TrustedForThisHost", "tls_cert.pem",
                                                   "tls_key.pem", "tls_cert.pem", true},
                                           TlsCase{"TrustedButForAnotherHost", "other_cert.pem",
                                                   "other_key.pem", "other_cert.pem", false},
                                           TlsCase{"TrustedButExpired", "expired_cert.pem",
                                                   "expired_key.pem", "expired_cert.pem", false},
                                           TlsCase{"SelfSignedAndNotTrusted", "tls_cert.pem",
                                                   "tls_key.pem", "", false}),
                         test::CaseName());

// The verdict on a fixture certificate for `host` at a given time, trusting the certificate
// itself: an X509_V_ERR_* code, X509_V_OK when it would be accepted.
int VerifyFixture(const char* name, const char* host, std::time_t at) {
    const std::string path = std::string(VENNADAR_FIXTURE_DIR "/") + name;
    const std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(path.c_str(), "r"), BIO_free);
    const std::unique_ptr<X509, decltype(&X509_free)> cert(
        file ? PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr) : nullptr, X509_free);
    const std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(),
                                                                        X509_STORE_free);
    const std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> context(
        X509_STORE_CTX_new(), X509_STORE_CTX_free);
    if (!cert || X509_STORE_add_cert(store.get(), cert.get()) != 1 ||
        X509_STORE_CTX_init(context.get(), store.get(), cert.get(), nullptr) != 1) {
        return -1;
    }
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_time(param, at);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host) != 1) {
        X509_VERIFY_PARAM_set1_host(param, host, 0);
    }
    X509_verify_cert(context.get());
    return X509_STORE_CTX_get_error(context.get());
}

// expired_cert.pem and expired_key.pem were made once with python3's `cryptography`: an RSA 2048
// key and a self-signed CA certificate for CN 127.0.0.1 (subjectAltName IP 127.0.0.1 and DNS
// localhost), SHA-256, valid from 2020-01-01 to 2021-01-01 UTC. The refusals above count only if
// each certificate is wrong in the one way its case names.
// Downloads on the event loop share one kept-alive connection, and a transfer given up halfway
// (its server never answers) leaves nothing behind that the next one trips over.
TEST(NonBlockingDownloads, ReuseOneConnectionAndSurviveACancelledTransfer) {
    std::atomic<bool> released{false};
    test::LocalServer server;
    server.server().Get("/page", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("page", "text/plain");
    });
    server.server().Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 500 && !released; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        res.set_content("late", "text/plain");
    });
    ASSERT_TRUE(server.Start());
    CurlHttp http;
    std::vector<std::string> arrived;
    auto fetch = [&](const std::string& path) {
        return http.StartDownload(server.Url(path), [&](std::optional<std::string> body) {
            arrived.push_back(body.value_or("(failed)"));
        });
    };
    auto settle = [&](std::size_t count) {
        const auto give_up = Clock::now() + 20s;
        while (arrived.size() < count && Clock::now() < give_up) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    };
    for (int i = 0; i < 3; ++i) {
        fetch("/page");
        settle(arrived.size() + 1);
    }
    EXPECT_EQ(http.ConnectionsOpened(), 1);

    const DownloadId stalled = fetch("/stall");
    QCoreApplication::processEvents();  // the request is on its way
    http.CancelDownload(stalled);
    released = true;
    fetch("/page");
    settle(4);
    QCoreApplication::processEvents();
    EXPECT_EQ(arrived, (std::vector<std::string>{"page", "page", "page", "page"}));
}

TEST(CertificateFixtures, EachIsWrongInOneWayOnly) {
    const std::time_t now = std::time(nullptr);
    constexpr std::time_t kMid2020 = 1593561600;  // 2020-07-01
    EXPECT_EQ(VerifyFixture("tls_cert.pem", "127.0.0.1", now), X509_V_OK);
    EXPECT_EQ(VerifyFixture("expired_cert.pem", "127.0.0.1", kMid2020), X509_V_OK);
    EXPECT_EQ(VerifyFixture("expired_cert.pem", "127.0.0.1", now), X509_V_ERR_CERT_HAS_EXPIRED);
    EXPECT_EQ(VerifyFixture("other_cert.pem", "other.invalid", now), X509_V_OK);
    EXPECT_EQ(VerifyFixture("other_cert.pem", "127.0.0.1", now), X509_V_ERR_IP_ADDRESS_MISMATCH);
}

}  // namespace
}  // namespace vennadar

// Downloads arrive through the event loop.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

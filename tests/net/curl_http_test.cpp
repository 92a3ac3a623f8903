#include "adapters/curl/curl_http.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/local_server.h"

namespace vennadar {
namespace {

using Clock = std::chrono::steady_clock;

class Download : public ::testing::Test {
  protected:
    void SetUp() override {
        auto& s = server_.server();
        s.Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<p>hello</p>", "text/html");
        });
        s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/html");
        });
        s.Get("/nul", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string("ab\0cd", 5), "text/html");
        });
        s.Get("/large", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(4096, 'x'), "text/html");
        });
        s.Get("/stall", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
                sink.write("a", 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                return true;  // never ends by itself
            });
        });
        // Answers 304 to a request that names its validators, else the page with them.
        s.Get("/kept", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("If-None-Match") == "\"v1\"" &&
                req.get_header_value("If-Modified-Since") == "Tue, 09 Dec 2025 15:00:00 GMT") {
                res.status = 304;
                return;
            }
            res.set_header("ETag", "\"v1\"");
            res.set_header("Last-Modified", "Tue, 09 Dec 2025 15:00:00 GMT");
            res.set_content("<p>kept</p>", "text/html");
        });
        s.Get("/unavailable",
              [](const httplib::Request&, httplib::Response& res) { res.status = 503; });
        s.Get("/redirect", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(server_.Url("/page"));
        });
        s.Get("/loop",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
        s.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("file:///etc/passwd");
        });
        ASSERT_TRUE(server_.Start());
    }

    HttpLimits ShortLimits() const {
        HttpLimits limits;
        limits.connect_timeout_ms = 2000;
        limits.total_timeout_ms = 1000;
        limits.max_body_bytes = 1024;
        return limits;
    }

    test::LocalServer server_;
};

TEST_F(Download, ReturnsBodiesWhateverTheStatus) {
    CurlHttp http(ShortLimits());
    EXPECT_EQ(http.Download(server_.Url("/page")), "<p>hello</p>");
    EXPECT_EQ(http.Download(server_.Url("/missing")), "not here");
    EXPECT_EQ(http.Download(server_.Url("/nul")), std::string("ab\0cd", 5));
    EXPECT_EQ(http.Download(server_.Url("/redirect")), "<p>hello</p>");
}

TEST_F(Download, FailuresGiveNoBytes) {
    CurlHttp http(ShortLimits());
    EXPECT_EQ(http.Download(server_.Url("/large")), std::nullopt);  // over the size limit
    EXPECT_FALSE(http.Fetch({server_.Url("/large"), {}, {}}).unreachable);
    EXPECT_EQ(http.Download(server_.Url("/loop")), std::nullopt);     // too many redirects
    EXPECT_EQ(http.Download(server_.Url("/to-file")), std::nullopt);  // not http(s)
    EXPECT_EQ(http.Download("file:///etc/passwd"), std::nullopt);
    EXPECT_EQ(http.Download("ftp://127.0.0.1/"), std::nullopt);
    EXPECT_EQ(http.Download("not an address"), std::nullopt);
    EXPECT_EQ(http.Download(""), std::nullopt);
}

TEST_F(Download, ValidatorsComeBackAndAreSentToRevalidate) {
    CurlHttp http;
    const HttpResponse fresh = http.Fetch({server_.Url("/kept"), {}, {}});
    EXPECT_EQ(fresh.status, 200);
    EXPECT_EQ(fresh.etag, "\"v1\"");
    EXPECT_EQ(fresh.last_modified, "Tue, 09 Dec 2025 15:00:00 GMT");
    EXPECT_EQ(fresh.body, "<p>kept</p>");
    const HttpResponse unchanged =
        http.Fetch({server_.Url("/kept"), fresh.etag, fresh.last_modified});
    EXPECT_TRUE(unchanged.answered);
    EXPECT_EQ(unchanged.status, 304);
    EXPECT_EQ(unchanged.body, "");
    const HttpResponse busy = http.Fetch({server_.Url("/unavailable"), {}, {}});
    EXPECT_TRUE(busy.answered);
    EXPECT_EQ(busy.status, 503);
    EXPECT_TRUE(busy.etag.empty());
}

TEST_F(Download, StallingServerIsCutOffByTheTimeLimit) {
    CurlHttp http(ShortLimits());
    const auto start = Clock::now();
    EXPECT_EQ(http.Download(server_.Url("/stall")), std::nullopt);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST_F(Download, RefusedProtocolRestrictionDownloadsNothing) {
    for (const int refused :
         {static_cast<int>(CURLOPT_PROTOCOLS_STR), static_cast<int>(CURLOPT_REDIR_PROTOCOLS_STR)}) {
        SCOPED_TRACE(refused);
        int requests = 0;
        server_.server().set_logger(
            [&requests](const httplib::Request&, const httplib::Response&) { ++requests; });
        CurlHttp http(ShortLimits(), [refused](void* handle, int option, const char* protocols) {
            if (option == refused) {
                return static_cast<int>(CURLE_UNKNOWN_OPTION);
            }
            return static_cast<int>(curl_easy_setopt(static_cast<CURL*>(handle),
                                                     static_cast<CURLoption>(option), protocols));
        });
        EXPECT_EQ(http.Download(server_.Url("/page")), std::nullopt);
        EXPECT_EQ(requests, 0);
    }
}

TEST(DownloadRefused, RefusedConnectionFailsQuickly) {
    // A port that was free a moment ago and has no listener now.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);
    const int port = ntohs(address.sin_port);
    CurlHttp http;
    const auto start = Clock::now();
    const HttpResponse refused =
        http.Fetch({"http://127.0.0.1:" + std::to_string(port) + "/", {}, {}});
    EXPECT_FALSE(refused.answered);
    EXPECT_TRUE(refused.unreachable);  // a kept copy may stand in
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace vennadar

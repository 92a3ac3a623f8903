#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include "core/text/code_page.h"
#include "sample-site/html.h"
#include "sample-site/pages.h"
#include "sample-site/sample_site.h"

namespace vennadar::sample_site {
namespace {

constexpr char kHtmlType[] = "text/html; charset=utf-8";
constexpr char kLoopback[] = "127.0.0.1";

// Page number from the path; 0 when it is not a plain positive number.
int ParsePageNumber(std::string_view text) {
    int page = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), page);
    if (error != std::errc() || end != text.data() + text.size() || page < 1) {
        return 0;
    }
    return page;
}

// The Host header if it looks like a host name or address with an optional port; it goes into
// links verbatim, so anything else falls back to the bound address.
std::string RequestHost(const httplib::Request& request, int port) {
    const std::string host = request.get_header_value("Host");
    const bool plausible =
        !host.empty() && host.size() <= 255 && std::all_of(host.begin(), host.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
        });
    return plausible ? host : std::string(kLoopback) + ":" + std::to_string(port);
}

void SendNotFound(httplib::Response& response, const std::string& host) {
    response.status = 404;
    response.set_content(RenderNotFound(host), kHtmlType);
}

// An article put at the top of the home listing on command.
Article PublishedArticle(int number) {
    Article article;
    article.id = kFirstPublishedId + number - 1;
    article.slug = Categories().front().slug;
    article.title = "新文章 " + std::to_string(number);
    article.date = "2026-01-01";
    article.clicks = number;
    article.body_html = "<p>这是新发布的第" + std::to_string(number) + "篇文章。</p>";
    article.has_audio = false;
    return article;
}

// A strong validator from the bytes: FNV-1a, enough to tell one page's versions apart.
std::string EntityTag(const std::string& body) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : body) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    char text[24];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(hash));
    return text;
}

std::string HttpDate(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return text;
}

}  // namespace

struct SampleSite::Impl {
    explicit Impl(SiteOptions site_options)
        : options(std::move(site_options)), update_version(options.update_version) {}

    void AddRoutes();
    void ServeListing(const httplib::Request& request, httplib::Response& response,
                      std::string_view slug, std::string_view page_text);

    // Validators on every page; 304 when the request names the current ones.
    void AnswerConditionally(const httplib::Request& request, httplib::Response& response);
    // Shared, so a request keeps what it shows while the switch changes it.
    std::vector<std::shared_ptr<const Article>> PublishedArticles();

    SiteOptions options;
    httplib::Server server;
    std::thread thread;
    int port = 0;
    bool started = false;
    std::atomic<bool> loop_ended{false};
    std::mutex version_mutex;
    std::string update_version;
    std::mutex stall_mutex;
    std::condition_variable stall_changed;
    bool stalled = false;
    std::mutex content_mutex;
    std::vector<std::shared_ptr<const Article>> published;  // newest first
    std::time_t changed = std::time(nullptr);               // when the content last changed
    std::atomic<bool> unavailable{false};
};

std::vector<std::shared_ptr<const Article>> SampleSite::Impl::PublishedArticles() {
    const std::lock_guard lock(content_mutex);
    return published;
}

void SampleSite::Impl::AnswerConditionally(const httplib::Request& request,
                                           httplib::Response& response) {
    if (response.status != 200 || (request.method != "GET" && request.method != "HEAD") ||
        response.get_header_value("Content-Type").rfind("text/", 0) != 0) {
        return;  // audio and images answer ranges and stay as they are
    }
    std::time_t changed_at = 0;
    {
        const std::lock_guard lock(content_mutex);
        changed_at = changed;
    }
    const std::string etag = EntityTag(response.body);
    const std::string modified = HttpDate(changed_at);
    response.set_header("ETag", etag);
    response.set_header("Last-Modified", modified);
    const bool unchanged = request.has_header("If-None-Match")
                               ? request.get_header_value("If-None-Match") == etag
                               : request.get_header_value("If-Modified-Since") == modified;
    if (unchanged) {
        response.status = 304;
        response.body.clear();
        response.headers.erase("Content-Length");  // a 304 has no body to measure
        response.headers.erase("Content-Type");
    }
}

void SampleSite::Impl::ServeListing(const httplib::Request& request, httplib::Response& response,
                                    std::string_view slug, std::string_view page_text) {
    const std::string host = RequestHost(request, port);
    const int page = ParsePageNumber(page_text);
    const std::string keyword = slug.empty() ? request.get_param_value("s") : std::string();

    ListingPage listing;
    std::vector<const Article*> all;
    const std::vector<std::shared_ptr<const Article>> added = PublishedArticles();
    if (!keyword.empty()) {
        all = SearchArticles(keyword);
        if (all.empty() && page == 1) {
            response.set_content(RenderNoResults(keyword, host), kHtmlType);
            return;
        }
        listing.heading = "搜索“" + keyword + "”的结果，共 " + std::to_string(all.size()) + " 篇";
        listing.title = "搜索：" + keyword;
        listing.page_path = "/page/";
        listing.query = "?s=" + PercentEncode(keyword);
        listing.keyword = keyword;
    } else if (!slug.empty()) {
        all = ArticlesInCategory(slug);
        listing.heading = CategoryName(slug);
        listing.title = listing.heading;
        listing.page_path = "/category/" + std::string(slug) + "/page/";
    } else {
        for (const auto& article : added) {
            all.push_back(article.get());
        }
        for (const Article& article : Articles()) {
            all.push_back(&article);
        }
        listing.heading = "最新文章";
        listing.title = listing.heading;
        listing.page_path = "/page/";
    }

    const int page_count = static_cast<int>((all.size() + kPageSize - 1) / kPageSize);
    if (page < 1 || page > page_count) {
        SendNotFound(response, host);
        return;
    }
    const auto begin = all.begin() + static_cast<std::ptrdiff_t>(page - 1) * kPageSize;
    const auto end = begin + std::min<std::ptrdiff_t>(kPageSize, all.end() - begin);
    listing.articles.assign(begin, end);
    listing.page = page;
    listing.page_count = page_count;
    if (page > 1) {
        listing.title += " - 第" + std::to_string(page) + "页";
    }
    response.set_content(RenderListing(listing, host), kHtmlType);
}

void SampleSite::Impl::AddRoutes() {
    using httplib::Request;
    using httplib::Response;

    server.Get("/", [this](const Request& request, Response& response) {
        ServeListing(request, response, "", "1");
    });
    server.Get(R"(/page/([^/]+)/?)", [this](const Request& request, Response& response) {
        ServeListing(request, response, "", request.matches[1].str());
    });
    server.Get(R"(/category/([^/]+)(?:/page/([^/]+))?/?)",
               [this](const Request& request, Response& response) {
                   const std::string slug = request.matches[1].str();
                   if (CategoryName(slug).empty()) {
                       SendNotFound(response, RequestHost(request, port));
                       return;
                   }
                   const bool paged = request.matches[2].matched;
                   ServeListing(request, response, slug, paged ? request.matches[2].str() : "1");
               });
    server.Get(R"(/archives/(\d{1,9})\.html)", [this](const Request& request, Response& response) {
        const std::string host = RequestHost(request, port);
        const int id = std::stoi(request.matches[1].str());
        const Article* article = FindArticle(id);
        const std::vector<std::shared_ptr<const Article>> added = PublishedArticles();
        for (const auto& one : added) {
            article = one->id == id ? one.get() : article;
        }
        if (article == nullptr) {
            SendNotFound(response, host);
            return;
        }
        response.set_content(RenderArticle(*article, host), kHtmlType);
    });
    server.Get("/gywm-html", [this](const Request& request, Response& response) {
        response.set_content(RenderAbout(RequestHost(request, port)), kHtmlType);
    });
    server.Get("/jzbz-html", [this](const Request& request, Response& response) {
        response.set_content(RenderDonate(RequestHost(request, port)), kHtmlType);
    });
    server.Get("/qun-html", [this](const Request& request, Response& response) {
        response.set_content(RenderChatGroup(RequestHost(request, port)), kHtmlType);
    });
    server.Get("/qmzt/update.xml", [this](const Request&, Response& response) {
        std::string version;
        {
            const std::lock_guard<std::mutex> lock(version_mutex);
            version = update_version;
        }
        response.set_content(Utf8ToGbk(ManifestUtf8(version)), "text/xml; charset=gbk");
    });
    // httplib cuts the body to the requested range and answers 206 itself; a player needs that
    // to seek, and the header tells it that it may ask.
    server.Get(R"(/audio/([A-Za-z0-9_-]+)\.mp3)",
               [this](const Request& request, Response& response) {
                   const std::vector<std::string>& names = AudioNames();
                   if (!std::binary_search(names.begin(), names.end(), request.matches[1].str())) {
                       SendNotFound(response, RequestHost(request, port));
                       return;
                   }
                   response.set_header("Accept-Ranges", "bytes");
                   response.set_content(std::string(AudioBytes()), "audio/mpeg");
               });
    server.Get(R"(/images/([A-Za-z0-9_-]+)\.png)", [](const Request&, Response& response) {
        response.set_content(std::string(ImageBytes()), "image/png");
    });
    // Unrouted paths get the site's own 404 page rather than an empty body.
    server.set_error_handler([this](const Request& request, Response& response) {
        if (response.status == 404 && response.body.empty()) {
            response.set_content(RenderNotFound(RequestHost(request, port)), kHtmlType);
        }
    });
}

SampleSite::SampleSite(SiteOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SampleSite::~SampleSite() {
    Stop();
}

bool SampleSite::Start() {
    if (impl_->started) {
        return impl_->server.is_running();
    }
    impl_->AddRoutes();
    impl_->server.set_pre_routing_handler(
        [this](const httplib::Request&, httplib::Response& response) {
            if (impl_->options.delay_ms > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(impl_->options.delay_ms));
            }
            std::unique_lock lock(impl_->stall_mutex);
            impl_->stall_changed.wait_for(lock, std::chrono::seconds(30),
                                          [this] { return !impl_->stalled; });
            if (impl_->unavailable) {
                response.status = 503;
                response.set_content("<p>Service Unavailable</p>", kHtmlType);
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    impl_->server.set_post_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            impl_->AnswerConditionally(request, response);
        });
    SetPublished(impl_->options.published);
    SetUnavailable(impl_->options.unavailable);
    // httplib's default also sets SO_REUSEPORT, which would let a second site share a busy port
    // and split the requests; keep only SO_REUSEADDR, so a restart is not held up by TIME_WAIT.
    impl_->server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Short keep-alive, so Stop does not wait long on a client that keeps its connection open.
    impl_->server.set_keep_alive_timeout(1);
    if (impl_->options.port == 0) {
        impl_->port = impl_->server.bind_to_any_port(kLoopback);
    } else if (impl_->server.bind_to_port(kLoopback, impl_->options.port)) {
        impl_->port = impl_->options.port;
    } else {
        impl_->port = -1;
    }
    if (impl_->port <= 0) {
        impl_->port = 0;
        return false;
    }
    impl_->started = true;
    impl_->thread = std::thread([this] {
        impl_->server.listen_after_bind();
        impl_->loop_ended = true;
    });
    // The socket already listens, but Stop only reaches a server whose loop has begun.
    while (!impl_->server.is_running() && !impl_->loop_ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void SampleSite::SetStalled(bool stalled) {
    {
        const std::lock_guard lock(impl_->stall_mutex);
        impl_->stalled = stalled;
    }
    impl_->stall_changed.notify_all();
}

void SampleSite::Stop() {
    SetStalled(false);
    if (impl_->thread.joinable()) {
        impl_->server.stop();
        impl_->thread.join();
    }
}

void SampleSite::SetPublished(int count) {
    const std::lock_guard lock(impl_->content_mutex);
    if (static_cast<std::size_t>(std::max(count, 0)) == impl_->published.size()) {
        return;
    }
    impl_->published.clear();
    for (int number = count; number >= 1; --number) {
        impl_->published.push_back(std::make_shared<const Article>(PublishedArticle(number)));
    }
    // Last-Modified has whole seconds: a change within the same second must still show.
    impl_->changed = std::max(std::time(nullptr), impl_->changed + 1);
}

void SampleSite::SetUnavailable(bool unavailable) {
    impl_->unavailable = unavailable;
}

int SampleSite::Port() const {
    return impl_->port;
}

std::string SampleSite::BaseUrl() const {
    return "http://" + std::string(kLoopback) + ":" + std::to_string(impl_->port);
}

void SampleSite::SetUpdateVersion(std::string version) {
    const std::lock_guard<std::mutex> lock(impl_->version_mutex);
    impl_->update_version = std::move(version);
}

}  // namespace vennadar::sample_site

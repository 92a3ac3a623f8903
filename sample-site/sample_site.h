#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vennadar::sample_site {

// Articles per listing page: home, category and search listings alike.
inline constexpr int kPageSize = 10;

// Stands in article bodies wherever the server writes the host the request came to, so links
// and players point back at whatever address the reader used.
inline constexpr std::string_view kHostPlaceholder = "{host}";

struct Category {
    std::string slug;  // as in /category/<slug>
    std::string name;  // as in the site's navigation
};

// The eight categories, in navigation order.
const std::vector<Category>& Categories();

// Name of a category slug; empty for an unknown one.
std::string CategoryName(std::string_view slug);

struct Article {
    int id;                 // as in /archives/<id>.html
    std::string slug;       // the category's slug
    std::string title;      // plain text
    std::string date;       // yyyy-mm-dd
    int clicks;             // 1..9999
    std::string body_html;  // UTF-8 inner HTML, lines joined by '\n', hosts as kHostPlaceholder
    bool has_audio;         // carries at least one <audio> element
    std::vector<std::string> audio_names;  // each player's file name without ".mp3", in order
};

// All articles, newest first (the home listing's order). Built once from the bundled source.
const std::vector<Article>& Articles();

// The article with this id, or nullptr.
const Article* FindArticle(int id);

// The first id of the articles SetPublished adds (the newest has the highest id).
inline constexpr int kFirstPublishedId = 900001;

// Articles of one category, newest first; empty for an unknown slug.
std::vector<const Article*> ArticlesInCategory(std::string_view slug);

// Articles whose title or visible body text holds `keyword` (UTF-8, case-sensitive), newest
// first. An empty keyword matches nothing.
std::vector<const Article*> SearchArticles(std::string_view keyword);

// The body with kHostPlaceholder replaced by `host` (e.g. "127.0.0.1:8780").
std::string BodyForHost(const Article& article, std::string_view host);

// Text a browser would show for an HTML fragment: tags dropped (<br> becomes a line feed),
// character references decoded.
std::string VisibleText(std::string_view html);

// Audio file names any article refers to (sorted, unique); /audio/<name>.mp3 serves these.
const std::vector<std::string>& AudioNames();

// The bundled MP3 and PNG.
std::string_view AudioBytes();
std::string_view ImageBytes();

struct SiteOptions {
    int port = 0;  // 0: an ephemeral port
    std::string update_version = "1.0.0.8";
    int delay_ms = 0;          // every answer held this long: a slow network, for trying the reader
    int published = 0;         // as SetPublished
    bool unavailable = false;  // as SetUnavailable
};

// Every page is served with an ETag and a Last-Modified that change with its content; a request
// that names them (If-None-Match, else If-Modified-Since) is answered 304 without a body.

// The site on its own thread, bound to 127.0.0.1. Tests run it in-process; the
// vennadar-sample-site program wraps it.
class SampleSite {
  public:
    explicit SampleSite(SiteOptions options = {});
    ~SampleSite();  // stops and joins
    SampleSite(const SampleSite&) = delete;
    SampleSite& operator=(const SampleSite&) = delete;

    // Binds and starts serving; returns once connections are accepted. False if the port cannot
    // be bound. A site starts at most once; calling again while it runs returns true.
    bool Start();
    void Stop();

    int Port() const;                            // the bound port; 0 before Start
    std::string BaseUrl() const;                 // "http://127.0.0.1:<port>", no trailing slash
    void SetUpdateVersion(std::string version);  // what /qmzt/update.xml announces
    // While stalled, every request waits (at most 30 s) before it is answered: a network that
    // has stopped, on command.
    void SetStalled(bool stalled);
    // Puts `count` new articles at the top of the home listing ("新文章 1" the newest), each
    // served at /archives/<id>.html; 0 takes them away. Pages change their validators with it.
    void SetPublished(int count);
    // While unavailable, every request is answered 503 with a short body.
    void SetUnavailable(bool unavailable);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vennadar::sample_site

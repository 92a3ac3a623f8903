#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sample-site/sample_site.h"

// HTML of every page the site serves, as pure functions of the content and the request's host.
namespace vennadar::sample_site {

inline constexpr std::string_view kSiteName = "青苗学习园地";

struct ListingPage {
    std::string heading;  // the crumb's last part: category, "最新文章", search
    std::string title;    // for <title>
    std::vector<const Article*> articles;  // this page's share, at most kPageSize
    int page = 1;
    int page_count = 1;
    std::string page_path;  // host-relative path that a page number completes: "/page/"
    std::string query;      // appended to page links ("?s=..."), or empty
    std::string keyword;    // highlighted in titles, or empty
};

std::string RenderListing(const ListingPage& listing, std::string_view host);
std::string RenderNoResults(std::string_view keyword, std::string_view host);
std::string RenderNotFound(std::string_view host);
std::string RenderArticle(const Article& article, std::string_view host);
std::string RenderAbout(std::string_view host);
std::string RenderDonate(std::string_view host);
std::string RenderChatGroup(std::string_view host);

// The update manifest in UTF-8; the server sends it in GBK.
std::string ManifestUtf8(std::string_view version);

}  // namespace vennadar::sample_site

#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "listing/listing_query.h"
#include "listing/listing_row.h"
#include "platform/regex.h"
#include "text/text.h"

namespace vennadar {

// What the main window hands to the article window: title, page text (GBK) and link.
struct ArticleHandoff {
    Text title;
    Text page_text;
    Text link;
};

// The eleven fields of the executable's version record; the first is the running version.
using VersionRecord = std::array<Text, 11>;

// The program-wide state, one instance for the whole run.
struct AppState {
    VersionRecord version_record;
    ListingQuery listing_query{0, false, false, {}};
    bool showing_categories = false;
    ListingRows current_rows;
    std::string listing_address;  // where current_rows came from: the base of their links
    RegexPattern listing_regex;
    std::int32_t last_category_index = 0;
    ArticleHandoff article_handoff;
    Text remote_version;

    // The article window's state: one window at a time.
    Text article_body_html;
    std::vector<Text> article_links;
    RegexPattern reader_regex;
    int playing_flag = 0;
    int left_volume = 0;
    int right_volume = 0;
    std::array<int, 6> playback_hot_keys{};
};

// Creates the program-wide state at start; ReleaseGlobals frees it at the end.
std::unique_ptr<AppState> InitializeGlobals();
void ReleaseGlobals(std::unique_ptr<AppState>& state);

}  // namespace vennadar

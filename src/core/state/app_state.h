#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/state/listing_query.h"
#include "core/state/listing_row.h"
#include "core/text/regex.h"
#include "core/text/text.h"

namespace vennadar {

// What the main window hands to the article window: title, page text (GBK) and link.
struct ArticleHandoff {
    Text title;
    Text page_text;
    Text link;
};

// The eleven fields of the executable's version record; the first is the running version.
using VersionRecord = std::array<Text, 11>;

// What the list showed before an action that waits for a download, so that giving the wait up
// puts everything back as it was.
struct ListingSnapshot {
    ListingQuery listing_query{0, false, false, {}};
    bool showing_categories = false;
    ListingRows current_rows;
    std::vector<RowMark> row_marks;
    std::string listing_address;
    std::int32_t last_category_index = 0;
    std::vector<Text> row_texts;
    int selected_index = -1;
    bool previous_page_enabled = false;
    bool next_page_enabled = false;
    bool first_page_enabled = false;
};

// The download the user is waiting for, at most one. While it runs, the actions that would
// change the list or download again are ignored; Escape gives it up.
struct PendingWait {
    bool active = false;
    std::uint64_t generation = 0;  // tells a stale arrival from the awaited one
    std::uint64_t download = 0;    // the download service's id of it
    bool list_changed = false;     // a first page already arrived within the same action
    ListingSnapshot before;
};

// The program-wide state, one instance for the whole run.
struct AppState {
    VersionRecord version_record;
    ListingQuery listing_query{0, false, false, {}};
    bool showing_categories = false;
    ListingRows current_rows;
    std::vector<RowMark> row_marks;  // one per current row
    std::string listing_address;     // where current_rows came from: the base of their links
    RegexPattern listing_regex;
    std::int32_t last_category_index = 0;
    ArticleHandoff article_handoff;
    Text article_offline_notice;  // empty unless the article is a kept copy shown offline
    bool article_read = false;    // the article window opened with a body
    Text remote_version;
    PendingWait wait;
    // The reader's memory during this run. Articles are new from the listing that first showed
    // them until they are opened; read ones are known here too, since the store writes in the
    // background and a list shown again at once must not miss them.
    std::set<std::string> new_articles;
    std::set<std::string> read_articles;
    Text main_title;  // the window's title without an offline notice; empty until first needed
    // The start-up update check runs in the background: nobody waits for it.
    bool update_check_running = false;
    std::uint64_t update_download = 0;

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

#include "core/listing/navigation.h"

#include "core/listing/category_table.h"
#include "core/listing/listing_address.h"
#include "core/listing/listing_loader.h"
#include "core/listing/listing_parser.h"
#include "core/reader/link_address.h"
#include "core/text/code_page.h"
#include "core/wait/wait.h"

namespace vennadar {
namespace {

// The address an article row opens: its link resolved against the listing, as the row's key in
// the reader's memory.
std::string ArticleAddress(const ListingRow& row, const std::string& listing_address) {
    return ListingLinkAddress(row.link, listing_address).value_or(GbkToUtf8(row.link));
}

// Read and new marks of the current rows, known before the rows are shown. A first visit of a
// page marks nothing new, and a search marks nothing new nor counts as a visit: only the
// listings the reader browses say what appeared since.
void MarkRows(AppState& state, Services& services) {
    state.row_marks.assign(state.current_rows.size(), RowMark::kNone);
    if (services.store == nullptr) {
        return;
    }
    std::vector<std::string> addresses;
    for (const ListingRow& row : state.current_rows) {
        addresses.push_back(ArticleAddress(row, state.listing_address));
    }
    const bool search = state.listing_query.search_flag;
    const ListingMarks marks = services.store->MarksFor(state.listing_address, addresses);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const std::string& address = addresses[i];
        if ((i < marks.read.size() && marks.read[i]) || state.read_articles.count(address) != 0) {
            state.row_marks[i] = RowMark::kRead;
        } else if (state.new_articles.count(address) != 0) {
            state.row_marks[i] = RowMark::kNew;
        } else if (!search && marks.page_visited && i < marks.listed.size() && !marks.listed[i]) {
            state.new_articles.insert(address);
            state.row_marks[i] = RowMark::kNew;
        }
    }
    // A page that showed nothing (it failed) was not seen: its next showing is still a first.
    if (!search && !addresses.empty()) {
        services.store->NoteListed(state.listing_address, addresses);
    }
}

// The title carries the offline notice while a kept listing is shown.
void ShowOfflineState(AppState& state, MainView& view, std::optional<std::int64_t> kept_at) {
    if (state.main_title.empty()) {
        state.main_title = view.Title();
    }
    if (!kept_at) {
        if (view.Title() != state.main_title) {
            view.SetTitle(state.main_title);
        }
        return;
    }
    const Text notice = OfflineNotice(*kept_at);
    view.SetTitle(state.main_title + Utf8ToGbk("（") + notice + Utf8ToGbk("）"));
    view.Announce(notice);
}

// A listing page has arrived: its rows replace the list's.
void ShowListingPage(AppState& state, MainView& view, Services& services, const Text& page) {
    view.ClearList();
    state.showing_categories = false;
    const bool first_page = state.listing_query.page_number == 1;
    view.SetPreviousPageEnabled(!first_page);
    view.SetFirstPageEnabled(!first_page);
    state.current_rows.clear();
    state.listing_regex.Compile(ListingPattern());
    state.current_rows = ParseListing(page, state.listing_regex);
    MarkRows(state, services);
    for (std::size_t i = 0; i < state.current_rows.size(); ++i) {
        view.AppendRow(RowLine(state.current_rows[i]));
        if (state.row_marks[i] != RowMark::kNone) {
            view.SetRowMark(static_cast<int>(i), state.row_marks[i]);
        }
    }
    view.SetSelectedIndex(0);
    view.FocusList();
    services.sounds.Play(EmbeddedSound::Listing);
}

// The list's page with a changed query, the user waiting for it.
void ShowArticleListing(AppState& state, MainView& view, Services& services,
                        const ListingQuery& query, std::function<void()> then = {}) {
    RememberListing(state, view);
    LoadListing(state, view, services, query, std::move(then));
}

void OpenSelectedArticle(AppState& state, MainView& view, Services& services) {
    const int index = view.SelectedIndex();
    if (index < 0 || index >= static_cast<int>(state.current_rows.size())) {
        return;
    }
    const ListingRow row = state.current_rows[static_cast<std::size_t>(index)];
    // A relative link means an address on the listing's site; resolved, it is also the base
    // the article's own links and audio resolve against.
    const std::optional<std::string> address = ListingLinkAddress(row.link, state.listing_address);
    const Text link = address ? Utf8ToGbk(*address) : row.link;
    auto open = [&state, &view, row, link](ArrivedPage page) {
        state.article_handoff.title = row.title;
        state.article_handoff.page_text = PageText(page.body);
        state.article_handoff.link = link;
        state.article_offline_notice =
            page.offline_since ? OfflineNotice(*page.offline_since) : Text();
        state.article_read = false;
        view.OpenArticleWindow();
        ShowArticleRead(state, view);
    };
    if (!address) {
        open(ArrivedPage{});  // nothing to download: the failed page
        return;
    }
    RememberListing(state, view);
    WaitForPage(state, view, services, *address, true, std::move(open));
}

void ChooseCategory(AppState& state, MainView& view, Services& services) {
    const int index = view.SelectedIndex();
    if (index >= 0) {
        const Text name = view.RowText(index);
        for (const Category& category : kCategoryTable) {
            if (name != Utf8ToGbk(category.name_utf8)) {
                continue;
            }
            ListingQuery query = state.listing_query;
            if (!category.slug.empty()) {
                query.category_flag = true;
                query.category_slug = Text(category.slug);
            }
            query.page_number = 1;
            ShowArticleListing(state, view, services, query, [&state, &view, index] {
                state.last_category_index = index;
                view.SetNextPageEnabled(true);
            });
            return;
        }
    }
    state.last_category_index = index;
}

}  // namespace

void LoadListing(AppState& state, MainView& view, Services& services, const ListingQuery& query,
                 std::function<void()> then) {
    const std::string address =
        ListingAddress(query, services.settings.site_base, view.SearchText());
    // A user's keywords are never stored: search listings are neither kept nor shown offline.
    WaitForPage(
        state, view, services, address, !query.search_flag,
        [&state, &view, &services, query, address, then = std::move(then)](ArrivedPage page) {
            state.listing_query = query;
            state.listing_address = address;
            ShowListingPage(state, view, services, PageText(page.body));
            ShowOfflineState(state, view, page.offline_since);
            ListingChangedDuringAction(state);
            if (then) {
                then();
            }
        });
}

void LoadListing(AppState& state, MainView& view, Services& services) {
    LoadListing(state, view, services, state.listing_query);
}

void ShowCategoryList(AppState& state, MainView& view, Services& services) {
    view.ClearList();
    state.row_marks.clear();
    if (!state.main_title.empty() && view.Title() != state.main_title) {
        view.SetTitle(state.main_title);  // no kept listing is shown any more
    }
    view.SetPreviousPageEnabled(false);
    view.SetNextPageEnabled(false);
    state.showing_categories = true;
    state.listing_query.category_flag = false;
    state.listing_query.search_flag = false;
    services.sounds.Play(EmbeddedSound::Select);
    for (const Category& category : kCategoryTable) {
        view.AppendRow(Utf8ToGbk(category.name_utf8));
    }
    view.SetSelectedIndex(state.last_category_index);
}

void ActivateListItem(AppState& state, MainView& view, Services& services) {
    if (IsWaiting(state)) {
        return;
    }
    services.sounds.Play(EmbeddedSound::Select);
    if (state.showing_categories) {
        ChooseCategory(state, view, services);
    } else {
        OpenSelectedArticle(state, view, services);
    }
}

void NextPage(AppState& state, MainView& view, Services& services) {
    if (IsWaiting(state)) {
        return;
    }
    ListingQuery next = state.listing_query;
    ++next.page_number;
    ShowArticleListing(state, view, services, next, [&state, &view, &services] {
        if (!state.current_rows.empty()) {
            view.FocusList();
            return;
        }
        services.dialogs.ShowMessage(Utf8ToGbk("没有下一页了。"), Utf8ToGbk("提示"),
                                     kStyleWarningIcon | kStyleOk);
        ListingQuery back = state.listing_query;
        --back.page_number;
        LoadListing(state, view, services, back, [&view] { view.FocusList(); });
    });
}

void PreviousPage(AppState& state, MainView& view, Services& services) {
    if (IsWaiting(state)) {
        return;
    }
    ListingQuery previous = state.listing_query;
    --previous.page_number;
    ShowArticleListing(state, view, services, previous, [&view] { view.FocusList(); });
}

void BackToFirstPage(AppState& state, MainView& view, Services& services) {
    if (IsWaiting(state)) {
        return;
    }
    ListingQuery first = state.listing_query;
    first.search_flag = false;
    first.page_number = 1;
    ShowArticleListing(state, view, services, first);
}

void RefreshListing(AppState& state, MainView& view, Services& services) {
    if (IsWaiting(state)) {
        return;
    }
    ShowArticleListing(state, view, services, state.listing_query);
}

void ListKeyPressed(AppState& state, MainView& view, Services& services, KeyEvent key) {
    if (key.modifiers != 0 || state.showing_categories) {
        return;
    }
    switch (key.key) {
        case kKeyApplications:
            ListContextMenuRequested(state, view);
            break;
        case kKeyF5:
            RefreshListing(state, view, services);
            break;
        case kKeyBackspace:
            if (!IsWaiting(state)) {
                ShowCategoryList(state, view, services);
                state.showing_categories = true;
            }
            break;
        default:
            break;
    }
}

void ShowArticleRead(AppState& state, MainView& view) {
    if (!state.article_read || state.showing_categories) {
        return;
    }
    const std::string address = GbkToUtf8(state.article_handoff.link);
    for (std::size_t i = 0; i < state.current_rows.size() && i < state.row_marks.size(); ++i) {
        if (state.row_marks[i] != RowMark::kRead &&
            ArticleAddress(state.current_rows[i], state.listing_address) == address) {
            state.row_marks[i] = RowMark::kRead;
            view.SetRowMark(static_cast<int>(i), RowMark::kRead);
        }
    }
}

void ForgetMarks(AppState& state, MainView& view) {
    state.new_articles.clear();
    state.read_articles.clear();
    for (std::size_t i = 0; i < state.row_marks.size(); ++i) {
        if (state.row_marks[i] != RowMark::kNone) {
            state.row_marks[i] = RowMark::kNone;
            view.SetRowMark(static_cast<int>(i), RowMark::kNone);
        }
    }
}

void ListContextMenuRequested(const AppState& state, MainView& view) {
    if (!state.showing_categories && view.SelectedIndex() != -1) {
        view.PopUpListMenu();
    }
}

}  // namespace vennadar

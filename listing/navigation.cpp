#include "listing/navigation.h"

#include "listing/category_table.h"
#include "listing/listing_address.h"
#include "listing/listing_loader.h"
#include "listing/listing_parser.h"
#include "reader/link_address.h"
#include "text/code_page.h"

namespace vennadar {
namespace {

void ShowArticleListing(AppState& state, MainView& view, Services& services) {
    view.ClearList();
    LoadListing(state, view, services);
}

void OpenSelectedArticle(AppState& state, MainView& view, Services& services) {
    const int index = view.SelectedIndex();
    if (index < 0 || index >= static_cast<int>(state.current_rows.size())) {
        return;
    }
    const ListingRow& row = state.current_rows[static_cast<std::size_t>(index)];
    // A relative link means an address on the listing's site; resolved, it is also the base
    // the article's own links and audio resolve against.
    const std::optional<std::string> address = ListingLinkAddress(row.link, state.listing_address);
    state.article_handoff.title = row.title;
    state.article_handoff.page_text = address ? FetchPageText(services.http, *address) : Text();
    state.article_handoff.link = address ? Utf8ToGbk(*address) : row.link;
    view.OpenArticleWindow();
}

void ChooseCategory(AppState& state, MainView& view, Services& services) {
    const int index = view.SelectedIndex();
    state.last_category_index = index;
    if (index < 0) {
        return;
    }
    const Text name = view.RowText(index);
    for (const Category& category : kCategoryTable) {
        if (name != Utf8ToGbk(category.name_utf8)) {
            continue;
        }
        if (!category.slug.empty()) {
            state.listing_query.category_flag = true;
            state.listing_query.category_slug = Text(category.slug);
        }
        view.ClearList();
        state.listing_query.page_number = 1;
        LoadListing(state, view, services);
        view.SetNextPageEnabled(true);
        return;
    }
}

}  // namespace

void LoadListing(AppState& state, MainView& view, Services& services) {
    state.showing_categories = false;
    const std::string address =
        ListingAddress(state.listing_query, services.settings.site_base, view.SearchText());
    const Text page = FetchPageText(services.http, address);
    state.listing_address = address;
    const bool first_page = state.listing_query.page_number == 1;
    view.SetPreviousPageEnabled(!first_page);
    view.SetFirstPageEnabled(!first_page);
    state.current_rows.clear();
    state.listing_regex.Compile(ListingPattern());
    state.current_rows = ParseListing(page, state.listing_regex);
    for (const ListingRow& row : state.current_rows) {
        view.AppendRow(RowLine(row));
    }
    view.SetSelectedIndex(0);
    view.FocusList();
    services.sounds.Play(EmbeddedSound::Listing);
}

void ShowCategoryList(AppState& state, MainView& view, Services& services) {
    view.ClearList();
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
    services.sounds.Play(EmbeddedSound::Select);
    if (state.showing_categories) {
        ChooseCategory(state, view, services);
    } else {
        OpenSelectedArticle(state, view, services);
    }
}

void NextPage(AppState& state, MainView& view, Services& services) {
    ++state.listing_query.page_number;
    ShowArticleListing(state, view, services);
    if (state.current_rows.empty()) {
        services.dialogs.ShowMessage(Utf8ToGbk("没有下一页了。"), Utf8ToGbk("提示"),
                                     kStyleWarningIcon | kStyleOk);
        --state.listing_query.page_number;
        LoadListing(state, view, services);
    }
    view.FocusList();
}

void PreviousPage(AppState& state, MainView& view, Services& services) {
    --state.listing_query.page_number;
    ShowArticleListing(state, view, services);
    view.FocusList();
}

void BackToFirstPage(AppState& state, MainView& view, Services& services) {
    state.listing_query.search_flag = false;
    state.listing_query.page_number = 1;
    ShowArticleListing(state, view, services);
}

void RefreshListing(AppState& state, MainView& view, Services& services) {
    ShowArticleListing(state, view, services);
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
            ShowCategoryList(state, view, services);
            state.showing_categories = true;
            break;
        default:
            break;
    }
}

void ListContextMenuRequested(const AppState& state, MainView& view) {
    if (!state.showing_categories && view.SelectedIndex() != -1) {
        view.PopUpListMenu();
    }
}

}  // namespace vennadar

#pragma once

#include <functional>

#include "core/ports/key_event.h"
#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"

namespace vennadar {

// Loads the listing page that `query` names, the user waiting for it. When it arrives, `query`
// becomes ListingQuery, the list is emptied and filled from the page's rows (CurrentRows), and
// `then` runs. Until then nothing changes.
void LoadListing(AppState& state, MainView& view, Services& services, const ListingQuery& query,
                 std::function<void()> then = {});

// The page ListingQuery names, loaded again.
void LoadListing(AppState& state, MainView& view, Services& services);

// Shows the nine category names.
void ShowCategoryList(AppState& state, MainView& view, Services& services);

// Each action below that downloads is ignored while another download is awaited.

// Row activation: a category is listed, an article is downloaded and opened.
void ActivateListItem(AppState& state, MainView& view, Services& services);

void NextPage(AppState& state, MainView& view, Services& services);
void PreviousPage(AppState& state, MainView& view, Services& services);
void BackToFirstPage(AppState& state, MainView& view, Services& services);
void RefreshListing(AppState& state, MainView& view, Services& services);

// Keys of the article list: the context-menu key, F5 and Backspace, only while a listing is
// shown and no modifier is held.
void ListKeyPressed(AppState& state, MainView& view, Services& services, KeyEvent key);

// The article window has opened: when it showed a body, the rows of that article say read.
void ShowArticleRead(AppState& state, MainView& view);

// The reader's memory was cleared: no row says read or new any more.
void ForgetMarks(AppState& state, MainView& view);

// Right click on the article list.
void ListContextMenuRequested(const AppState& state, MainView& view);

}  // namespace vennadar

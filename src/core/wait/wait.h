#pragma once

#include <string>

#include "core/ports/http.h"
#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"
#include "core/wait/kept_pages.h"

namespace vennadar {

// Whether a download the user waits for is running. The actions that would change the list or
// start another download ignore themselves meanwhile; moving around the window still works.
bool IsWaiting(const AppState& state);

// Remembers what the list shows, at the start of an action that will wait for a download.
void RememberListing(AppState& state, const MainView& view);

// Starts a download the user waits for: the window is busy until it arrives, then `arrived`
// runs with what came. Nothing of the state or the list changes before that, so a wait given up
// leaves everything as it was. `arrived` may itself wait again within the same action.
void WaitForDownload(AppState& state, MainView& view, Services& services,
                     const std::string& address, DownloadDone arrived);

// The same for a listing or article page: a kept copy's validators go with the request, and
// `arrived` gets the kept copy when the server says it is unchanged, or offline when the server
// cannot be reached. `keepable` is false for search listings: they are never kept or shown offline.
void WaitForPage(AppState& state, MainView& view, Services& services, const std::string& address,
                 bool keepable, std::function<void(ArrivedPage)> arrived);

// Marks that the list already shows a page of the running action (a later wait in it, given up,
// puts the remembered list back).
void ListingChangedDuringAction(AppState& state);

// Escape: the running download is cancelled at once and everything is as it was before the
// action began. The list has the focus again. Nothing happens when nobody is waiting.
void GiveUpWait(AppState& state, MainView& view, Services& services);

// The main window is closing: every download, waited for or in the background, is cancelled.
void CancelAllDownloads(AppState& state, Services& services);

}  // namespace vennadar

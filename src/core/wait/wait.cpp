#include "core/wait/wait.h"

#include <utility>

namespace vennadar {

bool IsWaiting(const AppState& state) {
    return state.wait.active;
}

void RememberListing(AppState& state, const MainView& view) {
    ListingSnapshot& before = state.wait.before;
    before.listing_query = state.listing_query;
    before.showing_categories = state.showing_categories;
    before.current_rows = state.current_rows;
    before.row_marks = state.row_marks;
    before.listing_address = state.listing_address;
    before.last_category_index = state.last_category_index;
    before.row_texts.clear();
    for (int i = 0; i < view.RowCount(); ++i) {
        before.row_texts.push_back(view.RowText(i));
    }
    before.selected_index = view.SelectedIndex();
    before.previous_page_enabled = view.PreviousPageEnabled();
    before.next_page_enabled = view.NextPageEnabled();
    before.first_page_enabled = view.FirstPageEnabled();
    state.wait.list_changed = false;
}

namespace {

void WaitForFetch(AppState& state, MainView& view, Services& services, const HttpRequest& request,
                  FetchDone arrived) {
    PendingWait& wait = state.wait;
    wait.active = true;
    const std::uint64_t generation = ++wait.generation;
    view.SetBusy(true);
    const DownloadId id = services.http.StartFetch(
        request, [&state, &view, generation, arrived = std::move(arrived)](HttpResponse response) {
            if (!state.wait.active || state.wait.generation != generation) {
                return;  // given up meanwhile
            }
            state.wait.active = false;
            state.wait.download = 0;
            view.SetBusy(false);
            arrived(std::move(response));
        });
    // A download that finished before StartDownload returned has nothing left to cancel.
    if (wait.active && wait.generation == generation) {
        wait.download = id;
    }
}

}  // namespace

void WaitForDownload(AppState& state, MainView& view, Services& services,
                     const std::string& address, DownloadDone arrived) {
    WaitForFetch(state, view, services, HttpRequest{address, {}, {}},
                 [arrived = std::move(arrived)](HttpResponse response) {
                     arrived(Http::BodyOf(std::move(response)));
                 });
}

void WaitForPage(AppState& state, MainView& view, Services& services, const std::string& address,
                 bool keepable, std::function<void(ArrivedPage)> arrived) {
    PageFetch fetch = PreparePageFetch(services.store, address, keepable);
    const HttpRequest request = fetch.request;
    WaitForFetch(
        state, view, services, request,
        [&services, fetch = std::move(fetch), arrived = std::move(arrived)](HttpResponse response) {
            arrived(ResolvePage(services.store, fetch, std::move(response)));
        });
}

void ListingChangedDuringAction(AppState& state) {
    state.wait.list_changed = true;
}

void GiveUpWait(AppState& state, MainView& view, Services& services) {
    PendingWait& wait = state.wait;
    if (!wait.active) {
        return;
    }
    services.http.CancelDownload(wait.download);
    wait.active = false;
    wait.download = 0;
    view.SetBusy(false);
    if (wait.list_changed) {
        const ListingSnapshot& before = wait.before;
        state.listing_query = before.listing_query;
        state.showing_categories = before.showing_categories;
        state.current_rows = before.current_rows;
        state.row_marks = before.row_marks;
        state.listing_address = before.listing_address;
        state.last_category_index = before.last_category_index;
        view.ClearList();
        for (std::size_t i = 0; i < before.row_texts.size(); ++i) {
            view.AppendRow(before.row_texts[i]);
            if (i < before.row_marks.size() && before.row_marks[i] != RowMark::kNone) {
                view.SetRowMark(static_cast<int>(i), before.row_marks[i]);
            }
        }
        view.SetSelectedIndex(before.selected_index);
        view.SetPreviousPageEnabled(before.previous_page_enabled);
        view.SetNextPageEnabled(before.next_page_enabled);
        view.SetFirstPageEnabled(before.first_page_enabled);
        wait.list_changed = false;
    }
    view.FocusList();
}

void CancelAllDownloads(AppState& state, Services& services) {
    if (state.wait.active) {
        services.http.CancelDownload(state.wait.download);
        state.wait.active = false;
        state.wait.download = 0;
    }
    if (state.update_check_running) {
        services.http.CancelDownload(state.update_download);
        state.update_check_running = false;
        state.update_download = 0;
    }
}

}  // namespace vennadar

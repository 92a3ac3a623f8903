#include "core/commands/startup.h"

#include "core/listing/navigation.h"

namespace vennadar {

void MainWindowCreated(AppState& state, MainView& view, Services& services) {
    ReadOwnVersionRecord(state, services);
    view.ShowWindow();
    view.FocusList();
    view.SetTitle(view.Title() + " - " + state.version_record[0]);
    state.listing_query.page_number = 1;
    state.listing_query.search_flag = false;
    state.listing_query.category_flag = false;
    state.showing_categories = true;
    services.sounds.Play(EmbeddedSound::Startup);
    ShowCategoryList(state, view, services);
    view.SetSelectedIndex(0);
    StartBackgroundUpdateCheck(state, view, services);
}

}  // namespace vennadar

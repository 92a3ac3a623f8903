#pragma once

#include "app/app_state.h"
#include "app/main_view.h"
#include "app/services.h"

namespace vennadar {

// Lists the site's search results for the search box's text, page 1.
void SearchCommand(AppState& state, MainView& view, Services& services);

}  // namespace vennadar

#pragma once

#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"

namespace vennadar {

// Lists the site's search results for the search box's text, page 1.
void SearchCommand(AppState& state, MainView& view, Services& services);

}  // namespace vennadar

#pragma once

#include "app/app_state.h"
#include "app/main_view.h"
#include "app/services.h"

namespace vennadar {

// The main window's created event: title with the version, listing state reset, start-up sound,
// the category list with its first row current.
void MainWindowCreated(AppState& state, MainView& view, Services& services);

}  // namespace vennadar

#pragma once

#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"
#include "core/update/update_check.h"

namespace vennadar {

// The main window's created event: the version record read, the window shown with the version in
// its title, listing state reset, start-up sound, the category list with its first row current;
// then the update check starts in the background.
void MainWindowCreated(AppState& state, MainView& view, Services& services);

}  // namespace vennadar

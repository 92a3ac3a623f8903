#pragma once

#include "app/app_state.h"
#include "app/main_view.h"
#include "app/services.h"
#include "update/update_check.h"

namespace vennadar {

// The main window's created event: title with the version, listing state reset, start-up sound,
// the category list with its first row current.
// Reads the version record and runs the update check first; when the user has accepted an update
// the program ends and nothing else happens.
UpdateOutcome MainWindowCreated(AppState& state, MainView& view, Services& services);

}  // namespace vennadar

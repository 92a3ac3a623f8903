#pragma once

#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"
#include "core/update/update_check.h"

namespace vennadar {

// The main window's created event: title with the version, listing state reset, start-up sound,
// the category list with its first row current.
// Reads the version record and runs the update check first; when the user has accepted an update
// the program ends and nothing else happens.
UpdateOutcome MainWindowCreated(AppState& state, MainView& view, Services& services);

}  // namespace vennadar

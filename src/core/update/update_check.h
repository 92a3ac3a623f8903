#pragma once

#include "core/ports/main_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"

namespace vennadar {

// Whether the program goes on after a check, or ends because the updater has been started.
enum class UpdateOutcome { Continue, ProgramEnds };

// Reads the version record from the program's own executable file into the state.
void ReadOwnVersionRecord(AppState& state, Services& services);

// Downloads the manifest, the user waiting for it; keeps its version as RemoteVersion and offers
// the updater when it is newer than the running version. Nothing newer: the list has the focus.
// When the updater has started, the main window closes and the program ends.
void UpdateCheck(AppState& state, MainView& view, Services& services);

// The same check at start-up, in the background: nobody waits for it, and unless a newer version
// is announced nothing visible happens. The offer comes when the manifest arrives.
void StartBackgroundUpdateCheck(AppState& state, MainView& view, Services& services);

// The Help menu's check: says the running version is the latest unless the last check found a
// newer one, in which case the whole check runs again. Ignored while any download runs.
void CheckForUpdatesCommand(AppState& state, MainView& view, Services& services);

// The About box: version and credit.
void AboutCommand(AppState& state, Services& services);

}  // namespace vennadar

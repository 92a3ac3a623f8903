#pragma once

#include "core/ports/desktop.h"
#include "core/ports/dialogs.h"
#include "core/ports/hot_keys.h"
#include "core/ports/http.h"
#include "core/ports/sound_player.h"
#include "core/ports/store.h"
#include "core/ports/zoom.h"
#include "core/settings/build_settings.h"

namespace vennadar {

// The services every operation reaches the outside world through; built once by the
// application (real ones) or by a test (fakes, local servers).
struct Services {
    Http& http;
    SoundPlayer& sounds;
    Dialogs& dialogs;
    Desktop& desktop;
    BuildSettings settings;
    HotKeys* hot_keys = nullptr;  // none where the desktop offers no system-wide keys
    Store* store = nullptr;       // none: the reader remembers nothing between runs
    Zoom* zoom = nullptr;         // none: the text keeps the desktop's size
};

}  // namespace vennadar

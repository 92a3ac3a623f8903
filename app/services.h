#pragma once

#include "app/build_settings.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/hot_keys.h"
#include "platform/http.h"
#include "platform/sound_player.h"

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
};

}  // namespace vennadar

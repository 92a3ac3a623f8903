#pragma once

#include "core/ports/article_view.h"
#include "core/ports/key_event.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"

namespace vennadar {

// The six playback keys, in registration order: start/pause, stop, forward, back, louder,
// softer.
inline constexpr int kPlaybackKeys[6] = {kKeyHome, kKeyEnd, kKeyRight, kKeyLeft, kKeyUp, kKeyDown};
inline constexpr int kJumpMilliseconds = 5000;

// Asks whether to play the body's audio; on Yes plays the first source and registers the keys.
void OfferAudio(AppState& state, ArticleView& view, Services& services);

// A playback key was pressed: `id` is the identifier it was registered under.
void HotKeyPressed(AppState& state, ArticleView& view, int id);

// Unregisters the six keys; runs whenever the article window goes away.
void ReleaseHotKeys(AppState& state, Services& services);

}  // namespace vennadar

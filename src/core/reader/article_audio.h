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
// The playback key of a slot (an index into kPlaybackKeys) pressed in the window itself.
void PlaybackKeyPressed(AppState& state, ArticleView& view, int slot);

// The ways playback is steered. The hot keys and the desktop's media controls both come through
// these, so PlayingFlag, the levels and what the desktop shows always agree. Positions and
// offsets are milliseconds.
void PlayPauseAudio(AppState& state, ArticleView& view);  // pauses, resumes, or starts again
void PlayAudio(AppState& state, ArticleView& view);       // starts or resumes; playing, nothing
void PauseAudio(ArticleView& view);                       // only while playing; never resumes
void StopAudio(AppState& state, ArticleView& view);
void JumpAudio(ArticleView& view, int offset);           // plays from there, not before the start
void SeekAudio(ArticleView& view, int offset);           // keeps playing, paused or stopped
void SetAudioPosition(ArticleView& view, int position);  // outside the audio: nothing
void SetAudioVolume(AppState& state, ArticleView& view, int level);  // both levels, 0-100
int AudioVolume(const AppState& state);

// Unregisters the six keys; runs whenever the article window goes away.
void ReleaseHotKeys(AppState& state, Services& services);

}  // namespace vennadar

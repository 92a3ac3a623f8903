#include "core/reader/article_audio.h"

#include <algorithm>

#include "core/io/url.h"
#include "core/reader/link_address.h"
#include "core/reader/reader_patterns.h"
#include "core/text/code_page.h"

namespace vennadar {
namespace {

enum Slot { kHome, kEnd, kRight, kLeft, kUp, kDown };

// The address the player opens: references decoded, resolved against the article's address,
// and only over http or https.
std::optional<std::string> AudioSource(const Text& raw, const Text& article_address) {
    const std::string decoded = DecodeAttributeValue(GbkToUtf8(raw));
    const std::optional<std::string> resolved = ResolveUrl(GbkToUtf8(article_address), decoded);
    if (!resolved) {
        return std::nullopt;
    }
    const std::string scheme = UrlScheme(*resolved);
    if (scheme != "http" && scheme != "https") {
        return std::nullopt;
    }
    return resolved;
}

void SetLevels(AppState& state, ArticleView& view, int left, int right) {
    // Beyond the player's range further presses would do nothing audible.
    state.left_volume = std::clamp(left, 0, 100);
    state.right_volume = std::clamp(right, 0, 100);
    view.Player().SetVolume(state.left_volume, state.right_volume);
}

}  // namespace

void OfferAudio(AppState& state, ArticleView& view, Services& services) {
    state.reader_regex.Compile(Utf8ToGbk(kAudioPatternUtf8));
    const std::vector<RegexMatch> matches = state.reader_regex.FindAll(state.article_body_html);
    if (matches.empty()) {
        return;
    }
    const int answer = services.dialogs.ShowMessage(
        Utf8ToGbk("这篇文章含有音乐，是否播放，点是开始播放，点否不播放"), Utf8ToGbk("提示"),
        kStyleInformationIcon | kStyleYesNo);
    if (answer != kAnswerYes) {
        return;
    }
    MediaPlayer& player = view.Player();
    const std::optional<std::string> source =
        AudioSource(matches.front().GroupText(1), state.article_handoff.link);
    if (source) {
        player.Open(*source);
    }
    player.SetVolume(50, 50);
    player.Play(-1);
    state.playing_flag = 1;
    for (int slot = 0; slot < 6; ++slot) {
        state.playback_hot_keys[static_cast<std::size_t>(slot)] =
            services.hot_keys != nullptr
                ? services.hot_keys->Register(kHotKeyModifierAltShift, kPlaybackKeys[slot])
                : 0;
    }
    view.PlaybackKeysRegistered();
    if (source) {
        view.OfferMediaControls(*source);
    }
}

void HotKeyPressed(AppState& state, ArticleView& view, int id) {
    const auto& keys = state.playback_hot_keys;
    // Each slot is compared on its own, in this order.
    for (const Slot slot : {kHome, kEnd, kRight, kLeft, kDown, kUp}) {
        if (keys[slot] == id) {
            PlaybackKeyPressed(state, view, slot);
        }
    }
}

void PlaybackKeyPressed(AppState& state, ArticleView& view, int slot) {
    switch (slot) {
        case kHome:
            PlayPauseAudio(state, view);
            break;
        case kEnd:
            StopAudio(state, view);
            break;
        case kRight:
            JumpAudio(view, kJumpMilliseconds);
            break;
        case kLeft:
            JumpAudio(view, -kJumpMilliseconds);
            break;
        case kUp:
            SetLevels(state, view, state.left_volume + 1, state.right_volume + 1);
            break;
        case kDown:
            SetLevels(state, view, state.left_volume - 1, state.right_volume - 1);
            break;
        default:
            break;
    }
}

void PlayPauseAudio(AppState& state, ArticleView& view) {
    MediaPlayer& player = view.Player();
    if (state.playing_flag == 1) {
        // Pausing again resumes where it stands: the flag stays 1 while paused, and there is no
        // other key that resumes without moving.
        if (player.IsPaused()) {
            player.Play(-1);
        } else {
            player.Pause();
        }
    } else {
        player.Play(-1);
        state.playing_flag = 1;
    }
}

void PlayAudio(AppState& state, ArticleView& view) {
    MediaPlayer& player = view.Player();
    if (player.State() == PlaybackState::kPlaying) {
        return;
    }
    player.Play(-1);
    state.playing_flag = 1;
}

void PauseAudio(ArticleView& view) {
    MediaPlayer& player = view.Player();
    if (player.State() == PlaybackState::kPlaying) {
        player.Pause();
    }
}

void StopAudio(AppState& state, ArticleView& view) {
    view.Player().Stop();
    state.playing_flag = 0;
}

void JumpAudio(ArticleView& view, int offset) {
    MediaPlayer& player = view.Player();
    // Near the start a jump back goes to the start (-1 would mean "where it stands").
    player.Play(std::max(0, player.Position() + offset));
}

void SeekAudio(ArticleView& view, int offset) {
    MediaPlayer& player = view.Player();
    player.Seek(std::max(0, player.Position() + offset));
}

void SetAudioPosition(ArticleView& view, int position) {
    MediaPlayer& player = view.Player();
    const int length = player.Length();
    // An unknown length cannot rule a position out.
    if (position < 0 || (length > 0 && position > length)) {
        return;
    }
    player.Seek(position);
}

void SetAudioVolume(AppState& state, ArticleView& view, int level) {
    SetLevels(state, view, level, level);
}

int AudioVolume(const AppState& state) {
    return (state.left_volume + state.right_volume) / 2;
}

void ReleaseHotKeys(AppState& state, Services& services) {
    if (services.hot_keys == nullptr) {
        return;
    }
    for (const int id : state.playback_hot_keys) {
        services.hot_keys->Unregister(id);
    }
}

}  // namespace vennadar

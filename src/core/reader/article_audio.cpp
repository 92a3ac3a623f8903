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

void ChangeLevels(AppState& state, ArticleView& view, int step) {
    // Beyond the player's range further presses would do nothing audible.
    state.left_volume = std::clamp(state.left_volume + step, 0, 100);
    state.right_volume = std::clamp(state.right_volume + step, 0, 100);
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
    if (const std::optional<std::string> source =
            AudioSource(matches.front().GroupText(1), state.article_handoff.link)) {
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
}

void HotKeyPressed(AppState& state, ArticleView& view, int id) {
    const auto& keys = state.playback_hot_keys;
    MediaPlayer& player = view.Player();
    // Each slot is compared on its own, in this order.
    if (keys[kHome] == id) {
        if (state.playing_flag == 1) {
            // Pausing again resumes where it stands: the flag stays 1 while paused, and there is
            // no other key that resumes without moving.
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
    if (keys[kEnd] == id) {
        player.Stop();
        state.playing_flag = 0;
    }
    if (keys[kRight] == id) {
        player.Play(player.Position() + kJumpMilliseconds);
    }
    if (keys[kLeft] == id) {
        // Near the start the jump goes to the start (-1 would mean "where it stands").
        player.Play(std::max(0, player.Position() - kJumpMilliseconds));
    }
    if (keys[kDown] == id) {
        ChangeLevels(state, view, -1);
    }
    if (keys[kUp] == id) {
        ChangeLevels(state, view, +1);
    }
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

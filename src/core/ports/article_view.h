#pragma once

#include <string>

#include "core/ports/media_player.h"
#include "core/text/text.h"

namespace vennadar {

// What the reader's operations need of the article window. Row indexes count from 0; -1 means
// no row.
class ArticleView {
  public:
    virtual ~ArticleView() = default;

    virtual Text Title() const = 0;
    virtual void SetTitle(const Text& title) = 0;
    virtual Text BodyText() const = 0;
    virtual void SetBodyText(const Text& text) = 0;

    virtual void ShowLinkList() = 0;  // the list and its label
    virtual void AppendLinkRow(const Text& caption) = 0;
    virtual int SelectedLink() const = 0;
    virtual void SetSelectedLink(int index) = 0;  // out of range: nothing selected
    virtual void PopUpLinkMenu() = 0;

    virtual void CopyToClipboard(const Text& text) = 0;
    // The window's own audio player, made on first use.
    virtual MediaPlayer& Player() = 0;
    // The player plays this address: the window may let the desktop's media controls steer it
    // for as long as the window lives.
    virtual void OfferMediaControls(const std::string& source) = 0;
    // The playback keys were registered (AppState::playback_hot_keys, 0 where no system-wide
    // way took one): the window takes the rest as its own keys until it closes.
    virtual void PlaybackKeysRegistered() = 0;
    virtual void CloseWindow() = 0;
    // Says a short notice once; it never becomes part of the title.
    virtual void Announce(const Text& notice) { static_cast<void>(notice); }
};

}  // namespace vennadar

#pragma once

#include <QMainWindow>
#include <array>
#include <memory>

#include "core/ports/article_view.h"
#include "core/ports/services.h"
#include "core/state/app_state.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QShortcut;
class QTreeWidget;

namespace vennadar {

class MprisService;
class Notice;
class ScaledClient;

// The article window: the body as plain text, the article's links beside it, a menu that saves
// the text. Built afresh for every article; modal over the main window.
class ArticleWindow final : public QMainWindow, public ArticleView {
    Q_OBJECT

  public:
    ArticleWindow(AppState& state, Services& services, QWidget* parent = nullptr);
    ~ArticleWindow() override;

    // ArticleView
    Text Title() const override;
    void SetTitle(const Text& title) override;
    Text BodyText() const override;
    void SetBodyText(const Text& text) override;
    void ShowLinkList() override;
    void AppendLinkRow(const Text& caption) override;
    int SelectedLink() const override;
    void SetSelectedLink(int index) override;
    void PopUpLinkMenu() override;
    void CopyToClipboard(const Text& text) override;
    void CloseWindow() override;
    MediaPlayer& Player() override;
    void OfferMediaControls(const std::string& source) override;
    void PlaybackKeysRegistered() override;
    void Announce(const Text& notice) override;

    QMenu* LinkMenu() const { return link_menu_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // After a playback key: the desktop's media controls learn what it changed.
    void MediaControlsChanged(bool jumped);
    // The playback keys no system-wide way holds become the window's own (all of them once the
    // system-wide way has failed), so that each key still acts, and acts once.
    void TakeOwnKeys();

    AppState& state_;
    Services& services_;
    QPlainTextEdit* body_ = nullptr;
    QTreeWidget* links_ = nullptr;
    QLabel* links_label_ = nullptr;
    QMenu* link_menu_ = nullptr;
    std::unique_ptr<MediaPlayer> player_;   // made when an article has audio to play
    std::unique_ptr<MprisService> mpris_;   // while the audio is open and a session bus is there
    bool playback_keys_ = false;            // the audio was accepted and its keys registered
    bool system_keys_failed_ = false;       // the system-wide way gave up after registering
    std::array<QShortcut*, 6> own_keys_{};  // the window's own playback keys, once taken
    std::unique_ptr<Notice> notice_;        // the text size, said once
    ScaledClient* client_area_ = nullptr;
};

}  // namespace vennadar

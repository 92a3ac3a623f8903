#include "gui/article_window.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTreeWidget>

#include "adapters/audio/qt_media_player.h"
#include "adapters/mpris/mpris_service.h"
#include "adapters/qt/qt_text.h"
#include "core/ports/key_event.h"
#include "core/reader/article_audio.h"
#include "core/reader/article_reader.h"
#include "gui/controls.h"
#include "gui/screen_reader.h"
#include "gui/zoom.h"

namespace vennadar {

ArticleWindow::ArticleWindow(AppState& state, Services& services, QWidget* parent)
    : QMainWindow(parent), state_(state), services_(services) {
    setObjectName(QStringLiteral("ArticleWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    InstallScreenReaderSupport();
    client_area_ = new ScaledClient(this, QSize(800, 600), QSize(800, 510));
    QWidget* client = client_area_->Client();

    body_ = new QPlainTextEdit(client);
    body_->setObjectName(QStringLiteral("超级编辑框1"));
    PlaceControl(body_, QRect(32, 32, 560, 400));
    body_->setReadOnly(true);
    // Read-only, yet with a caret: a screen reader follows it line by line.
    body_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    body_->setAccessibleName(QStringLiteral("正文"));
    body_->installEventFilter(this);

    links_ = new QTreeWidget(client);
    links_->setObjectName(QStringLiteral("超级列表框1"));
    PlaceControl(links_, QRect(620, 32, 120, 400));
    links_->setColumnCount(1);
    links_->setHeaderLabels({QStringLiteral("链接")});
    links_->setColumnWidth(0, 50);
    links_->setRootIsDecorated(false);
    links_->setSelectionMode(QAbstractItemView::SingleSelection);
    links_->setAccessibleName(QStringLiteral("链接"));
    links_->hide();
    links_->installEventFilter(this);
    SpeakCurrentItemOnFocus(links_);
    connect(links_, &QTreeWidget::itemActivated, this,
            [this] { OpenLink(state_, *this, services_); });

    MakeLabel(client, "标签2", QStringLiteral("正文(&x)"), QRect(32, 462, 80, 24), body_);
    MakeHiddenGroupBox(client, "分组框2", QStringLiteral("正文(&x)"), QRect(32, 32, 560, 400));
    MakeHiddenGroupBox(client, "分组框1", QStringLiteral("链接(&l)"), QRect(620, 32, 120, 400));
    links_label_ =
        MakeLabel(client, "标签1", QStringLiteral("链接(&l)"), QRect(620, 462, 120, 24), links_);
    links_label_->hide();
    body_->raise();
    links_->raise();
    setTabOrder(body_, links_);

    QMenu* actions = menuBar()->addMenu(QStringLiteral("操作&c"));
    actions->setObjectName(QStringLiteral("OperationMenu"));
    QAction* save = actions->addAction(QStringLiteral("另存为"), this,
                                       [this] { SaveArticleAsText(*this, services_); });
    save->setObjectName(QStringLiteral("SaveAsAction"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    GuardAltNavigation(menuBar());

    // The pop-up menu.
    link_menu_ = new QMenu(QStringLiteral("链接操作"), this);
    link_menu_->setObjectName(QStringLiteral("LinkMenu"));
    QAction* copy = link_menu_->addAction(QStringLiteral("复制链接"), this,
                                          [this] { CopyLink(state_, *this); });
    copy->setObjectName(QStringLiteral("CopyLinkAction"));
    // Shown in the menu; the list's key handler below does the work, so the body box keeps its
    // own Ctrl+C for selected text.
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    NameMenus(this);
    FitMenuItems(this);

    // Playback keys arrive wherever the focus is.
    if (services_.hot_keys != nullptr) {
        services_.hot_keys->SetHandler([this](int id) {
            HotKeyPressed(state_, *this, id);
            bool jumped = false;
            for (std::size_t slot = 0; slot < std::size(kPlaybackKeys); ++slot) {
                jumped |= (kPlaybackKeys[slot] == kKeyRight || kPlaybackKeys[slot] == kKeyLeft) &&
                          state_.playback_hot_keys[slot] == id;
            }
            MediaControlsChanged(jumped);
        });
        // The desktop refused or dropped the keys after they were handed out. No message: the
        // keys go on working, in this window, and the usage help says when that happens.
        services_.hot_keys->SetFailureHandler([this] {
            system_keys_failed_ = true;
            TakeOwnKeys();
        });
    }

    move(50, 50);
    client_area_->Relayout();
    notice_ = std::make_unique<Notice>(this, body_);
    InstallZoomInput(this,
                     [this](int direction) { StepZoom(services_.zoom, direction, *notice_); });
}

ArticleWindow::~ArticleWindow() {
    // Off the bus before the player it reads goes.
    if (player_) {
        player_->SetChangeHandler(nullptr);
    }
    mpris_.reset();
    ReleaseHotKeys(state_, services_);
    if (services_.hot_keys != nullptr) {
        services_.hot_keys->SetHandler(nullptr);
        services_.hot_keys->SetFailureHandler(nullptr);
    }
}

bool ArticleWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == links_ && event->type() == QEvent::ContextMenu) {
        if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse) {
            ShowLinkMenu(*this);
        }
        return true;  // the key arrives as a key press below
    }
    if (watched == links_ &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        // Ctrl+C in the link list copies the link's address, not the row's caption.
        auto* key_event = static_cast<QKeyEvent*>(event);
        if (key_event->key() == Qt::Key_C && key_event->modifiers() == Qt::ControlModifier) {
            key_event->accept();
            if (event->type() == QEvent::KeyPress) {
                CopyLink(state_, *this);
            }
            return true;
        }
    }
    if (event->type() != QEvent::KeyPress) {
        return QMainWindow::eventFilter(watched, event);
    }
    const auto* key_event = static_cast<QKeyEvent*>(event);
    const KeyEvent key{VirtualKey(key_event, KeyHandler::kArticleWindow), ModifierState(key_event)};
    if (watched == body_ && BodyKeyPressed(*this, key)) {
        return true;
    }
    if (watched == links_ && key.key == kKeyApplications) {
        if (key.modifiers == 0) {
            ShowLinkMenu(*this);
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

Text ArticleWindow::Title() const {
    return QStringToGbk(windowTitle());
}

void ArticleWindow::SetTitle(const Text& title) {
    setWindowTitle(GbkToQString(title));
}

Text ArticleWindow::BodyText() const {
    return QStringToGbk(body_->toPlainText());
}

void ArticleWindow::SetBodyText(const Text& text) {
    body_->setPlainText(GbkToQString(text));
}

void ArticleWindow::ShowLinkList() {
    links_->show();
    links_label_->show();
}

void ArticleWindow::AppendLinkRow(const Text& caption) {
    auto* item = new QTreeWidgetItem(links_, {GbkToQString(caption)});
    item->setData(0, Qt::AccessibleTextRole, item->text(0));
}

int ArticleWindow::SelectedLink() const {
    QTreeWidgetItem* item = links_->currentItem();
    return item != nullptr && item->isSelected() ? links_->indexOfTopLevelItem(item) : -1;
}

void ArticleWindow::SetSelectedLink(int index) {
    QTreeWidgetItem* item = links_->topLevelItem(index);
    if (item == nullptr) {
        return;
    }
    links_->setCurrentItem(item);
    item->setSelected(true);
}

void ArticleWindow::PopUpLinkMenu() {
    QPoint at = QCursor::pos();
    if (QTreeWidgetItem* item = links_->currentItem()) {
        at = links_->viewport()->mapToGlobal(links_->visualItemRect(item).bottomLeft());
    }
    link_menu_->popup(at);
    // Opened from the keyboard, a menu starts on its first item, so that item is spoken.
    link_menu_->setActiveAction(link_menu_->actions().value(0));
}

void ArticleWindow::CopyToClipboard(const Text& text) {
    QGuiApplication::clipboard()->setText(GbkToQString(text));
}

void ArticleWindow::CloseWindow() {
    close();
}

void ArticleWindow::OfferMediaControls(const std::string& source) {
    MprisControls controls{
        .raise =
            [this] {
                raise();
                activateWindow();
            },
        .play_pause = [this] { PlayPauseAudio(state_, *this); },
        .play = [this] { PlayAudio(state_, *this); },
        .pause = [this] { PauseAudio(*this); },
        .stop = [this] { StopAudio(state_, *this); },
        .seek = [this](int offset) { SeekAudio(*this, offset); },
        .set_position = [this](int position) { SetAudioPosition(*this, position); },
        .set_volume = [this](int level) { SetAudioVolume(state_, *this, level); },
        .volume = [this] { return AudioVolume(state_); },
    };
    mpris_ = MprisService::Publish(Player(), {windowTitle(), QString::fromStdString(source)},
                                   std::move(controls));
    if (mpris_) {
        Player().SetChangeHandler([this] { mpris_->Changed(); });
    }
}

void ArticleWindow::MediaControlsChanged(bool jumped) {
    if (!mpris_) {
        return;
    }
    mpris_->Changed();
    if (jumped) {
        mpris_->Seeked();
    }
}

void ArticleWindow::PlaybackKeysRegistered() {
    playback_keys_ = true;
    TakeOwnKeys();
}

void ArticleWindow::TakeOwnKeys() {
    if (!playback_keys_) {
        return;
    }
    static constexpr Qt::Key kQtKeys[] = {Qt::Key_Home, Qt::Key_End, Qt::Key_Right,
                                          Qt::Key_Left, Qt::Key_Up,  Qt::Key_Down};
    static_assert(std::size(kQtKeys) == std::size(kPlaybackKeys));
    const bool all = services_.hot_keys == nullptr || system_keys_failed_;
    for (std::size_t slot = 0; slot < own_keys_.size(); ++slot) {
        if (own_keys_[slot] != nullptr || (!all && state_.playback_hot_keys[slot] != 0)) {
            continue;
        }
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::SHIFT | kQtKeys[slot]), this);
        shortcut->setObjectName(QStringLiteral("PlaybackKey%1").arg(slot));
        const bool jump = kPlaybackKeys[slot] == kKeyRight || kPlaybackKeys[slot] == kKeyLeft;
        connect(shortcut, &QShortcut::activated, this, [this, slot, jump] {
            PlaybackKeyPressed(state_, *this, static_cast<int>(slot));
            MediaControlsChanged(jump);
        });
        own_keys_[slot] = shortcut;
    }
}

MediaPlayer& ArticleWindow::Player() {
    if (!player_) {
        player_ = std::make_unique<QtMediaPlayer>();
    }
    return *player_;
}

void ArticleWindow::Announce(const Text& notice) {
    // Said and shown as a notice; the title stays the article's own (it names the saved file and
    // the desktop's media controls).
    constexpr int kShownMs = 5000;
    notice_->Show(GbkToQString(notice), kShownMs);
}

}  // namespace vennadar

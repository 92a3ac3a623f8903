#include "gui/main_window.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>

#include "adapters/qt/qt_text.h"
#include "core/commands/main_commands.h"
#include "core/listing/navigation.h"
#include "core/ports/key_event.h"
#include "core/reader/article_reader.h"
#include "core/search/search_command.h"
#include "core/update/update_check.h"
#include "core/wait/wait.h"
#include "gui/article_window.h"
#include "gui/controls.h"
#include "gui/screen_reader.h"
#include "gui/zoom.h"

namespace vennadar {

MainWindow::MainWindow(AppState& state, Services& services, QWidget* parent)
    : QMainWindow(parent), state_(state), services_(services) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Vennadar"));
    InstallScreenReaderSupport();
    BuildControls();
    BuildMenus();
    move(50, 50);
    client_area_->Relayout();
    InstallZoomInput(this,
                     [this](int direction) { StepZoom(services_.zoom, direction, *notice_); });

    // Escape gives up a download being waited for, from anywhere in this window.
    give_up_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    give_up_->setContext(Qt::WindowShortcut);
    give_up_->setEnabled(false);
    connect(give_up_, &QShortcut::activated, this,
            [this] { GiveUpWait(state_, *this, services_); });
    // A short wait passes unnoticed; a longer one is said, so nobody takes silence for a hang.
    loading_notice_ = new QTimer(this);
    loading_notice_->setSingleShot(true);
    loading_notice_->setInterval(500);
    connect(loading_notice_, &QTimer::timeout, this, &MainWindow::ShowLoadingNotice);
}

MainWindow::~MainWindow() {
    CancelAllDownloads(state_, services_);
    SetBusy(false);
}

void MainWindow::BuildControls() {
    client_area_ = new ScaledClient(this, QSize(640, 600), QSize(640, 540));
    QWidget* client = client_area_->Client();

    // Created in the order the window has always had; the labels sit below their controls.
    const QString list_caption = QStringLiteral("项目(&x)");
    const QString search_caption = QStringLiteral("关键字(&s)");

    list_ = new QTreeWidget(client);
    list_->setObjectName(QStringLiteral("超级列表框1"));
    PlaceControl(list_, QRect(32, 32, 600, 200));
    list_->setColumnCount(1);
    list_->setHeaderLabels({QStringLiteral("项目")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAllColumnsShowFocus(true);
    list_->setAccessibleName(AccessibleCaption(list_caption));
    notice_ = std::make_unique<Notice>(this, list_);
    list_->installEventFilter(this);
    SpeakCurrentItemOnFocus(list_);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this] { ActivateListItem(state_, *this, services_); });

    MakeLabel(client, "标签2", list_caption, QRect(32, 260, 80, 24), list_);
    MakeHiddenGroupBox(client, "分组框2", list_caption, QRect(32, 32, 600, 200));

    search_box_ = new QLineEdit(client);
    search_box_->setObjectName(QStringLiteral("超级编辑框1"));
    PlaceControl(search_box_, QRect(32, 370, 400, 30));
    search_box_->setAccessibleName(AccessibleCaption(search_caption));
    search_box_->installEventFilter(this);
    SpeakFocusBeforeCaret(search_box_);
    MakeLabel(client, "标签1", search_caption, QRect(32, 492, 80, 24), search_box_);

    first_page_button_ =
        MakeButton(client, "按钮4", QStringLiteral("回到首页(&h)"), QRect(142, 314, 80, 32));
    first_page_button_->setEnabled(false);
    search_button_ =
        MakeButton(client, "按钮3", QStringLiteral("搜索(&q)"), QRect(502, 370, 80, 32));
    MakeHiddenGroupBox(client, "分组框1", search_caption, QRect(32, 370, 400, 30));
    next_button_ =
        MakeButton(client, "按钮2", QStringLiteral("下一页(&n)"), QRect(360, 314, 80, 32));
    previous_button_ =
        MakeButton(client, "按钮1", QStringLiteral("上一页(&u)"), QRect(32, 314, 80, 32));

    // The search box sits above the labels in the creation order, so raise it over its hidden
    // group box.
    search_box_->raise();
    list_->raise();

    for (QPushButton* button :
         {first_page_button_, search_button_, next_button_, previous_button_}) {
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this, [this, button] { RunButton(button); });
    }

    setTabOrder(list_, search_box_);
    setTabOrder(search_box_, search_button_);
    setTabOrder(search_button_, previous_button_);
    setTabOrder(previous_button_, first_page_button_);
    setTabOrder(first_page_button_, next_button_);
}

void MainWindow::BuildMenus() {
    // The list's pop-up menu; never part of the menu bar.
    list_menu_ = new QMenu(QStringLiteral("菜单"), this);
    list_menu_->setObjectName(QStringLiteral("ListMenu"));
    list_menu_->addAction(QStringLiteral("返回分类列表(&退格键)"), this,
                          [this] { BackToCategoryList(state_, *this, services_); });
    list_menu_->addAction(QStringLiteral("用网页打开(&w)"), this,
                          [this] { OpenSelectedArticleInBrowser(state_, *this, services_); });
    list_menu_->addAction(QStringLiteral("刷新(&f5)"), this,
                          [this] { RefreshListing(state_, *this, services_); });

    QMenu* actions = menuBar()->addMenu(QStringLiteral("操作(&c)"));
    actions->setObjectName(QStringLiteral("OperationMenu"));
    actions->addAction(QStringLiteral("打开网站首页&h"), this, [this] { OpenSiteHome(services_); });
    QAction* forget = actions->addAction(QStringLiteral("清除阅读记录(&r)"), this, [this] {
        ClearReadingHistoryCommand(state_, *this, services_);
    });
    forget->setObjectName(QStringLiteral("ClearReadingHistoryAction"));
    actions->addAction(QStringLiteral("退出&x"), this, [this] { ExitCommand(*this); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&b)"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    help->addAction(QStringLiteral("使用说明"), this, [this] { OpenUsageHelp(services_); });
    help->addAction(QStringLiteral("升级日志"), this, [this] { OpenUpgradeLog(services_); });
    QAction* check = help->addAction(QStringLiteral("检查更新"), this,
                                     [this] { CheckForUpdatesCommand(state_, *this, services_); });
    check->setObjectName(QStringLiteral("CheckForUpdatesAction"));
    help->addAction(QStringLiteral("加入官方群"), this, [this] { OpenChatGroup(services_); });
    help->addAction(QStringLiteral("关于网站"), this, [this] { OpenAboutSite(services_); });
    QAction* about = help->addAction(QStringLiteral("关于程序"), this,
                                     [this] { AboutCommand(state_, services_); });
    about->setObjectName(QStringLiteral("AboutAction"));
    help->addAction(QStringLiteral("捐助我们"), this, [this] { OpenDonationPage(services_); });
    GuardAltNavigation(menuBar());
    NameMenus(this);
    FitMenuItems(this);
}

void MainWindow::RunButton(QPushButton* button) {
    if (button == previous_button_) {
        PreviousPage(state_, *this, services_);
    } else if (button == next_button_) {
        NextPage(state_, *this, services_);
    } else if (button == first_page_button_) {
        BackToFirstPage(state_, *this, services_);
    } else if (button == search_button_) {
        SearchCommand(state_, *this, services_);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::ContextMenu) {
        // The context-menu key arrives as a key press below; only the mouse acts here, and its
        // menu opens at the pointer.
        const auto* menu_event = static_cast<QContextMenuEvent*>(event);
        if (menu_event->reason() == QContextMenuEvent::Mouse) {
            list_menu_at_ = menu_event->globalPos();
            ListContextMenuRequested(state_, *this);
            list_menu_at_.reset();
        }
        return true;
    }
    if (event->type() != QEvent::KeyPress) {
        return QMainWindow::eventFilter(watched, event);
    }
    const auto* key_event = static_cast<QKeyEvent*>(event);
    const KeyEvent key{VirtualKey(key_event, KeyHandler::kMainWindow), ModifierState(key_event)};
    if (watched == list_) {
        if (key.key == kKeyEnter) {
            if (key.modifiers == 0) {
                ActivateListItem(state_, *this, services_);
            }
            return true;
        }
        if (key.key != 0) {
            ListKeyPressed(state_, *this, services_, key);
            return true;
        }
    } else if (watched == search_box_ || qobject_cast<QPushButton*>(watched) != nullptr) {
        if (key.key == kKeyEnter) {
            if (key.modifiers == 0) {
                if (watched == search_box_) {
                    SearchCommand(state_, *this, services_);
                } else {
                    RunButton(static_cast<QPushButton*>(watched));
                }
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

Text MainWindow::Title() const {
    return QStringToGbk(windowTitle());
}

void MainWindow::SetTitle(const Text& title) {
    setWindowTitle(GbkToQString(title));
}

void MainWindow::ClearList() {
    list_->clear();
}

void MainWindow::AppendRow(const Text& text) {
    auto* item = new QTreeWidgetItem(list_, {GbkToQString(text)});
    item->setData(0, Qt::AccessibleTextRole, item->text(0));
}

void MainWindow::SetRowMark(int index, RowMark mark) {
    QTreeWidgetItem* item = list_->topLevelItem(index);
    if (item == nullptr) {
        return;
    }
    const QString word = mark == RowMark::kRead  ? QStringLiteral("已读")
                         : mark == RowMark::kNew ? QStringLiteral("新")
                                                 : QString();
    // Orca says a table cell's description after its name, so the mark follows the row's text,
    // which stays the accessible name. Beside the text the mark is an icon, not a colour, with
    // the same word as its tooltip.
    item->setData(0, Qt::AccessibleDescriptionRole, word);
    item->setToolTip(0, word);
    QIcon icon;
    if (mark != RowMark::kNone) {
        icon = style()->standardIcon(mark == RowMark::kRead ? QStyle::SP_DialogApplyButton
                                                            : QStyle::SP_FileDialogNewFolder);
    }
    item->setIcon(0, icon);
}

// The offline notice shares the loading notice's channel, so they come in the order of events:
// "正在加载…" while a wait lasts, then, once the page is there, this notice with the row the list
// lands on.
void MainWindow::Announce(const Text& notice) {
    notice_->Show(GbkToQString(notice));
}

int MainWindow::RowCount() const {
    return list_->topLevelItemCount();
}

Text MainWindow::RowText(int index) const {
    const QTreeWidgetItem* item = list_->topLevelItem(index);
    return item != nullptr ? QStringToGbk(item->text(0)) : Text();
}

int MainWindow::SelectedIndex() const {
    QTreeWidgetItem* item = list_->currentItem();
    return item != nullptr && item->isSelected() ? list_->indexOfTopLevelItem(item) : -1;
}

void MainWindow::SetSelectedIndex(int index) {
    QTreeWidgetItem* item = list_->topLevelItem(index);
    if (item == nullptr) {
        list_->clearSelection();
        list_->setCurrentItem(nullptr);
        return;
    }
    list_->setCurrentItem(item);
    item->setSelected(true);
    list_->scrollToItem(item);
}

void MainWindow::FocusList() {
    // Already there (a wait given up, a list refilled under the focus): the row is said anew,
    // even when it is the row the screen reader announced last.
    if (list_->hasFocus()) {
        AnnounceViewAndCurrentItem(list_);
        return;
    }
    list_->setFocus(Qt::OtherFocusReason);
}

Text MainWindow::SearchText() const {
    return QStringToGbk(search_box_->text());
}

void MainWindow::FocusSearchBox() {
    search_box_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::SetPreviousPageEnabled(bool enabled) {
    previous_button_->setEnabled(enabled);
}

void MainWindow::SetNextPageEnabled(bool enabled) {
    next_button_->setEnabled(enabled);
}

void MainWindow::SetFirstPageEnabled(bool enabled) {
    first_page_button_->setEnabled(enabled);
}

bool MainWindow::PreviousPageEnabled() const {
    return previous_button_->isEnabled();
}

bool MainWindow::NextPageEnabled() const {
    return next_button_->isEnabled();
}

bool MainWindow::FirstPageEnabled() const {
    return first_page_button_->isEnabled();
}

void MainWindow::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    give_up_->setEnabled(busy);
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        loading_notice_->start();
        return;
    }
    QGuiApplication::restoreOverrideCursor();
    loading_notice_->stop();
    notice_->Clear();
}

void MainWindow::ShowLoadingNotice() {
    notice_->Show(QStringLiteral("正在加载…"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    CancelAllDownloads(state_, services_);
    SetBusy(false);
    QMainWindow::closeEvent(event);
}

void MainWindow::PopUpListMenu() {
    if (list_menu_at_) {
        list_menu_->popup(*list_menu_at_);
        return;
    }
    QPoint at = QCursor::pos();
    if (QTreeWidgetItem* item = list_->currentItem()) {
        at = list_->viewport()->mapToGlobal(list_->visualItemRect(item).bottomLeft());
    }
    list_menu_->popup(at);
    // Opened from the keyboard, a menu starts on its first item, so that item is spoken.
    list_menu_->setActiveAction(list_menu_->actions().value(0));
}

void MainWindow::OpenArticleWindow() {
    auto* window = new ArticleWindow(state_, services_, this);
    window->setWindowFlag(Qt::Window);
    window->show();
    ShowArticle(state_, *window, services_);
}

void MainWindow::CloseWindow() {
    close();
}

void MainWindow::ShowWindow() {
    show();
}

}  // namespace vennadar

#include "gui/screen_reader.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <QTimer>

#include "gui/controls.h"

namespace vennadar {
namespace {

// A menu item as Qt presents it, but named by its caption without the access-key marker: Qt
// strips only the "&" and leaves the letter ("退出x", "操作(c)"), which a screen reader reads out.
class MenuItemAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    MenuItemAccessible(QWidget* owner, QAction* action) : owner_(owner), action_(action) {}

    bool isValid() const override { return !owner_.isNull() && !action_.isNull(); }
    QObject* object() const override { return action_; }
    QWindow* window() const override {
        return owner_ != nullptr ? owner_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(owner_);
    }
    int childCount() const override { return action_->menu() != nullptr ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && action_->menu() != nullptr
                   ? QAccessible::queryAccessibleInterface(action_->menu())
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && action_->menu() != nullptr && child->object() == action_->menu()
                   ? 0
                   : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text type) const override {
        switch (type) {
            case QAccessible::Name:
                return AccessibleCaption(action_->text());
            case QAccessible::Accelerator:
                return action_->shortcut().toString(QKeySequence::NativeText);
            default:
                return QString();
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        QRect area;
        if (const auto* menu = qobject_cast<const QMenu*>(owner_)) {
            area = menu->actionGeometry(action_);
        } else if (const auto* bar = qobject_cast<const QMenuBar*>(owner_)) {
            area = bar->actionGeometry(action_);
        }
        return area.translated(owner_->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override {
        return action_->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !owner_->isVisible() || !action_->isVisible();
        state.focusable = true;
        const auto* menu = qobject_cast<const QMenu*>(owner_);
        const auto* bar = qobject_cast<const QMenuBar*>(owner_);
        state.focused = (menu != nullptr && menu->activeAction() == action_) ||
                        (bar != nullptr && bar->activeAction() == action_);
        state.disabled = action_->isSeparator() || !action_->isEnabled();
        state.checkable = action_->isCheckable();
        state.checked = action_->isChecked();
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override {
        if (!action_->isEnabled()) {
            return {};
        }
        return action_->menu() != nullptr ? QStringList{showMenuAction()}
                                          : QStringList{pressAction()};
    }
    void doAction(const QString& name) override {
        if (!action_->isEnabled()) {
            return;
        }
        if (name == pressAction()) {
            action_->trigger();
        } else if (name == showMenuAction()) {
            if (auto* bar = qobject_cast<QMenuBar*>(owner_)) {
                bar->setActiveAction(action_);
            } else if (auto* menu = qobject_cast<QMenu*>(owner_)) {
                menu->setActiveAction(action_);
            }
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    QPointer<QWidget> owner_;
    QPointer<QAction> action_;
};

// The notice's label is a notification: a screen reader speaks a notification as it appears,
// wherever the focus is. (Qt reports a description change with the object instead of the new
// text, which Orca 43 cannot speak, and it speaks a repeated focus report of the control it
// already announced not at all.)
class NoticeAccessible final : public QAccessibleWidget {
  public:
    explicit NoticeAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::Notification) {}

    QString text(QAccessible::Text type) const override {
        return type == QAccessible::Name ? static_cast<const QLabel*>(widget())->text()
                                         : QAccessibleWidget::text(type);
    }
};

constexpr char kNoticeName[] = "notice";

QAccessibleInterface* MenuItemFactory(const QString&, QObject* object) {
    if (auto* label = qobject_cast<QLabel*>(object);
        label != nullptr && label->objectName() == QLatin1String(kNoticeName)) {
        return new NoticeAccessible(label);
    }
    auto* action = qobject_cast<QAction*>(object);
    if (action == nullptr) {
        return nullptr;
    }
    for (QObject* owner : action->associatedObjects()) {
        if (qobject_cast<QMenu*>(owner) != nullptr || qobject_cast<QMenuBar*>(owner) != nullptr) {
            return new MenuItemAccessible(static_cast<QWidget*>(owner), action);
        }
    }
    return nullptr;
}

class CurrentItemOnFocus final : public QObject {
  public:
    explicit CurrentItemOnFocus(QAbstractItemView* view) : QObject(view), view_(view) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            // Qt reports the view's own focus after this event; the row must come after it.
            QTimer::singleShot(0, view_, [view = view_] {
                if (view->hasFocus()) {
                    AnnounceCurrentItem(view);
                }
            });
        }
        return false;
    }

  private:
    QAbstractItemView* view_;
};

// Every accessibility event passes through one handler, installed with the menu item names.
QAccessible::UpdateHandler next_handler = nullptr;

void Deliver(QAccessibleEvent* event) {
    if (next_handler != nullptr) {
        next_handler(event);
        return;
    }
    // Qt's own delivery is reached only with no handler installed.
    const QAccessible::UpdateHandler ours = QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(ours);
}

// While a line edit takes the focus, its caret and selection reports are dropped until its focus
// has been reported.
QObject* taking_focus = nullptr;

// A menu opened from the menu bar reports its title's focus and, a few milliseconds later, its
// first item's; a screen reader that finds both waiting speaks only the item, and the user never
// hears which menu opened. The item's report is held back until the title has been spoken.
constexpr int kTitleSpeakingMs = 250;
constexpr int kOpensWithinMs = 100;
QPointer<QAction> menu_title;      // the menu bar item that last took the focus
QElapsedTimer menu_title_focused;  // since when; started whenever menu_title is set

// Qt reports a menu's or the menu bar's focused item as the menu with the item's index.
QAction* FocusedItem(QAccessibleEvent* event) {
    auto* owner = qobject_cast<QWidget*>(event->object());
    if (owner == nullptr || event->child() < 0 ||
        (qobject_cast<QMenu*>(owner) == nullptr && qobject_cast<QMenuBar*>(owner) == nullptr)) {
        return nullptr;
    }
    return owner->actions().value(event->child());
}

// Whether `event` is the first item of a menu whose title has just been reported.
bool OpensMenu(QAccessibleEvent* event) {
    return menu_title != nullptr && event->object() == menu_title->menu() &&
           menu_title_focused.elapsed() < kOpensWithinMs && FocusedItem(event) != nullptr;
}

void HoldFirstItem(QAccessibleEvent* event) {
    auto* menu = static_cast<QMenu*>(event->object());
    QPointer<QAction> item = FocusedItem(event);
    menu_title = nullptr;
    QTimer::singleShot(kTitleSpeakingMs, menu, [menu, item] {
        // Moved on meanwhile: that move has been reported already.
        if (item != nullptr && menu->isVisible() && menu->activeAction() == item) {
            QAccessibleEvent focus(menu, QAccessible::Focus);
            focus.setChild(static_cast<int>(menu->actions().indexOf(item)));
            Deliver(&focus);
        }
    });
}

void OnAccessibilityUpdate(QAccessibleEvent* event) {
    if (event->object() == taking_focus && taking_focus != nullptr) {
        switch (event->type()) {
            case QAccessible::TextCaretMoved:
            case QAccessible::TextSelectionChanged:
                return;
            case QAccessible::Focus:
                taking_focus = nullptr;
                break;
            default:
                break;
        }
    }
    if (event->type() == QAccessible::Focus) {
        if (OpensMenu(event)) {
            HoldFirstItem(event);
            return;
        }
        menu_title =
            qobject_cast<QMenuBar*>(event->object()) != nullptr ? FocusedItem(event) : nullptr;
        if (menu_title != nullptr) {
            menu_title_focused.start();
        }
    }
    Deliver(event);
}

class FocusBeforeCaret final : public QObject {
  public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn && QAccessible::isActive()) {
            taking_focus = watched;
            // Qt reports the focus right after this event; should it not, nothing stays held.
            QTimer::singleShot(0, this, [] { taking_focus = nullptr; });
        }
        return false;
    }
};

// Watches for Alt+letter shortcuts and keeps the menu bar's Alt-alone navigation off until Alt
// has been up for a moment: the replayed Alt release then finds nothing to toggle. Without this,
// that release would move the focus to the menu bar after a shortcut, or close the menu that the
// menu bar's own Alt+letter has just opened.
class AltChordGuard final : public QObject {
  public:
    explicit AltChordGuard(QMenuBar* bar) : QObject(bar), bar_(bar) {
        release_check_.setInterval(50);
        connect(&release_check_, &QTimer::timeout, this, &AltChordGuard::CheckReleased);
        qApp->installEventFilter(this);
    }

    bool Quiet() const { return quiet_; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && quiet_ && watched->parent() == bar_ &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Alt) {
            // The bar's menus close on an Alt press; the chord's own, handed back by a screen
            // reader after the letter has opened a menu, is not one.
            return true;
        }
        if (event->type() != QEvent::Shortcut || dispatching_) {
            return false;
        }
        const QKeySequence& keys = static_cast<QShortcutEvent*>(event)->key();
        if (keys.isEmpty() || !keys[0].keyboardModifiers().testFlag(Qt::AltModifier)) {
            return false;
        }
        if (watched == bar_) {
            // The menu bar opens its menu in keyboard mode first, which needs Alt navigation on.
            dispatching_ = true;
            static_cast<QObject*>(bar_)->event(event);
            dispatching_ = false;
            GoQuiet();
            return true;
        }
        GoQuiet();
        return false;
    }

  private:
    void GoQuiet() {
        quiet_ = true;
        released_.invalidate();
        release_check_.start();
    }

    void CheckReleased() {
        if (QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier)) {
            released_.invalidate();
        } else if (!released_.isValid()) {
            released_.start();
        } else if (released_.elapsed() >= 300) {
            quiet_ = false;
            release_check_.stop();
        }
    }

    QMenuBar* bar_;
    bool dispatching_ = false;
    bool quiet_ = false;
    QElapsedTimer released_;
    QTimer release_check_;
};

class AltGuardStyle final : public QProxyStyle {
  public:
    explicit AltGuardStyle(AltChordGuard* guard) : guard_(guard) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_MenuBar_AltKeyNavigation && guard_->Quiet()) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, data);
    }

  private:
    AltChordGuard* guard_;
};

// A menu measures an item's caption without its access-key marker, but Qt elides a caption
// counting the marker as a character, so any caption longer than the slack beside it is drawn
// cut ("打开网…页h") once the font is larger than the default. Each item gets the marker's width.
class MenuItemRoomStyle final : public QProxyStyle {
  public:
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_MenuItem) {
            const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
            if (item != nullptr && item->text.contains(QLatin1Char('&'))) {
                result.rwidth() += item->fontMetrics.horizontalAdvance(QLatin1Char('&'));
            }
        }
        return result;
    }
};

}  // namespace

void InstallScreenReaderSupport() {
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(MenuItemFactory);
        next_handler = QAccessible::installUpdateHandler(OnAccessibilityUpdate);
        installed = true;
    }
}

void NameMenus(QWidget* window) {
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        menu->setAccessibleName(AccessibleCaption(menu->title()));
    }
}

void FitMenuItems(QWidget* window) {
    auto* style = new MenuItemRoomStyle;
    style->setParent(window);
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        menu->setStyle(style);
    }
}

void AnnounceViewAndCurrentItem(QAbstractItemView* view) {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleEvent focus(view, QAccessible::Focus);
    QAccessible::updateAccessibility(&focus);
    // A screen reader drops a focus report that a newer one overtakes in its queue; the row
    // comes once the view has been taken.
    constexpr int kViewTakenMs = 150;
    QTimer::singleShot(kViewTakenMs, view, [view] {
        if (view->hasFocus()) {
            AnnounceCurrentItem(view);
        }
    });
}

void AnnounceCurrentItem(QAbstractItemView* view) {
    const QModelIndex current = view->currentIndex();
    if (!current.isValid() || !QAccessible::isActive()) {
        return;
    }
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view);
    if (table == nullptr || table->tableInterface() == nullptr) {
        return;
    }
    if (QAccessibleInterface* cell = table->tableInterface()->cellAt(current.row(), 0)) {
        QAccessibleEvent focus(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void SpeakCurrentItemOnFocus(QAbstractItemView* view) {
    view->installEventFilter(new CurrentItemOnFocus(view));
}

void SpeakFocusBeforeCaret(QWidget* edit) {
    edit->installEventFilter(new FocusBeforeCaret(edit));
}

void GuardAltNavigation(QMenuBar* bar) {
    auto* guard = new AltChordGuard(bar);
    auto* style = new AltGuardStyle(guard);
    style->setParent(bar);
    bar->setStyle(style);
}

Notice::Notice(QWidget* window, QWidget* fallback) : window_(window), fallback_(fallback) {
    clear_.setSingleShot(true);
    QObject::connect(&clear_, &QTimer::timeout, window, [this] { Clear(); });
}

void Notice::Show(const QString& text, int shown_ms) {
    Clear();
    // Kept in the focused control's description too, where a screen reader finds it when asked.
    QWidget* focused = QApplication::focusWidget();
    noticed_ = focused != nullptr && window_->isAncestorOf(focused) ? focused : fallback_;
    noticed_->setAccessibleDescription(text);
    // A label of its own for every notice: a screen reader reads the name when it gets to the
    // event, which may be after the next notice has come.
    // Named before its text is set: the text is reported at once, and the report fixes how the
    // label is presented.
    label_ = new QLabel(window_);
    label_->setObjectName(QLatin1String(kNoticeName));
    label_->setText(text);
    label_->setFocusPolicy(Qt::NoFocus);
    label_->setAutoFillBackground(true);
    label_->setBackgroundRole(QPalette::ToolTipBase);
    label_->setForegroundRole(QPalette::ToolTipText);
    label_->setFrameShape(QFrame::Box);
    label_->setMargin(4);
    label_->adjustSize();
    // In the window's lower left corner, over the controls, for the eye as well.
    label_->move(label_->margin(), window_->height() - label_->height() - label_->margin());
    label_->show();
    if (shown_ms > 0) {
        clear_.start(shown_ms);
    }
}

void Notice::Clear() {
    constexpr int kSpokenWithinMs = 2000;
    clear_.stop();
    if (label_ != nullptr) {
        label_->hide();
        QTimer::singleShot(kSpokenWithinMs, label_.data(), &QObject::deleteLater);
        label_ = nullptr;
    }
    if (noticed_ != nullptr) {
        noticed_->setAccessibleDescription(QString());
        noticed_ = nullptr;
    }
}

}  // namespace vennadar

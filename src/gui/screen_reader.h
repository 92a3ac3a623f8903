#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>

class QAbstractItemView;
class QLabel;
class QMenuBar;
class QWidget;

namespace vennadar {

// What a screen reader needs beyond Qt's own accessibility events, so that it speaks each step.

// Installs, once per application, what the functions below rely on, and two things of its own:
// menu items are spoken by their caption without the access-key marker ("操作", not "操作(c)"),
// and a menu opened from the menu bar is spoken by its title before its first item.
void InstallScreenReaderSupport();

// Each menu of `window` is named by its title without the access-key marker ("操作"), as the
// accessibility tree shows it.
void NameMenus(QWidget* window);

// Every menu of `window` leaves room for its captions' access-key markers, which Qt counts when
// it decides whether a caption fits; without it, captions are cut at larger text sizes.
void FitMenuItems(QWidget* window);

// Speaks the view's current row, as a focus move onto it does.
void AnnounceCurrentItem(QAbstractItemView* view);

// Speaks the view, then its current row, as focus arriving at the view does: a row that a
// screen reader announced last is not said again on its own.
void AnnounceViewAndCurrentItem(QAbstractItemView* view);

// Focus arriving at `view` also speaks its current row, not only the view's name.
void SpeakCurrentItemOnFocus(QAbstractItemView* view);

// A line edit reports its caret before its focus; a screen reader then takes the focus for old
// news and stays silent. This holds the caret reports back while the focus arrives.
void SpeakFocusBeforeCaret(QWidget* edit);

// An Alt+letter shortcut never leaves the focus on the menu bar, even when Alt's release comes
// late (a screen reader replays every key through the accessibility bus), and a menu it opens
// stays open when the Alt press comes late.
void GuardAltNavigation(QMenuBar* bar);

// A short notice ("正在加载…", "字号 150%") that a screen reader says once, without moving the
// focus: a notification shown in the window's corner, which screen readers speak as it appears.
// The focused control of the window (`fallback` when the focus is elsewhere) carries it in its
// description while it is shown. One channel per window: a new notice replaces the one shown.
class Notice {
  public:
    Notice(QWidget* window, QWidget* fallback);

    // Shows `text`; clears it by itself after `shown_ms` unless that is 0.
    void Show(const QString& text, int shown_ms = 0);
    void Clear();

  private:
    QWidget* window_;
    QWidget* fallback_;
    QPointer<QLabel> label_;
    QPointer<QWidget> noticed_;
    QTimer clear_;
};

}  // namespace vennadar

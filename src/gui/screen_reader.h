#pragma once

class QAbstractItemView;
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

// Speaks the view's current row, as a focus move onto it does.
void AnnounceCurrentItem(QAbstractItemView* view);

// Focus arriving at `view` also speaks its current row, not only the view's name.
void SpeakCurrentItemOnFocus(QAbstractItemView* view);

// A line edit reports its caret before its focus; a screen reader then takes the focus for old
// news and stays silent. This holds the caret reports back while the focus arrives.
void SpeakFocusBeforeCaret(QWidget* edit);

// An Alt+letter shortcut never leaves the focus on the menu bar, even when Alt's release comes
// late (a screen reader replays every key through the accessibility bus).
void GuardAltNavigation(QMenuBar* bar);

}  // namespace vennadar

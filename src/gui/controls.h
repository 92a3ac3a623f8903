#pragma once

#include <QRect>
#include <QString>

#include "adapters/qt/caption.h"

class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QWidget;

namespace vennadar {

// Shift, Ctrl and Alt only; the key handlers act when none of them is held.
int ModifierState(const QKeyEvent* event);

// Whose key handler a key is translated for. The two differ on purpose: Space steers only the
// article window's body, F5 refreshes only the main list; and the main list swallows every key
// it translates, so a key it has no use for must stay untranslated (0) to reach Qt.
enum class KeyHandler { kMainWindow, kArticleWindow };

// The key's code as the key handlers know it (key_event.h), or 0 for any other key.
int VirtualKey(const QKeyEvent* event, KeyHandler handler);

// The windows' controls sit at design places, scaled with the text size (PlaceControl); each
// carries its object name and a spoken name.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect rect);
// A label naming `buddy`, so that its access key focuses the buddy.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, QRect rect,
                  QWidget* buddy);
// A frame the layout keeps for its name but never shows.
QGroupBox* MakeHiddenGroupBox(QWidget* parent, const char* name, const QString& caption,
                              QRect rect);

}  // namespace vennadar

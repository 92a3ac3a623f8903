#pragma once

#include <QString>

class QWidget;

namespace vennadar {

// The name a screen reader speaks for a caption: without its access-key marker, "(&x)", an
// appended "&x" or a bare "&".
QString AccessibleCaption(QString caption);

// Names the buttons of a dialog built by Qt, and the controls its labels stand for, by their
// captions without the access-key marker and the label's colon ("保存", "文件名"). Qt strips only
// the "&" and leaves the letter, which a screen reader reads out.
void NameByCaptions(QWidget* dialog);

}  // namespace vennadar

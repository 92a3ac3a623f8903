#include "gui/controls.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "core/ports/key_event.h"
#include "gui/zoom.h"

namespace vennadar {

int ModifierState(const QKeyEvent* event) {
    return static_cast<int>(event->modifiers() &
                            (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}

int VirtualKey(const QKeyEvent* event, KeyHandler handler) {
    switch (event->key()) {
        case Qt::Key_Backspace:
            return kKeyBackspace;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kKeyEnter;
        case Qt::Key_Menu:
            return kKeyApplications;
        case Qt::Key_F5:
            return handler == KeyHandler::kMainWindow ? kKeyF5 : 0;
        case Qt::Key_Space:
            return handler == KeyHandler::kArticleWindow ? kKeySpace : 0;
        default:
            return 0;
    }
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect rect) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromUtf8(name));
    PlaceControl(button, rect);
    button->setAccessibleName(AccessibleCaption(caption));
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, QRect rect,
                  QWidget* buddy) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromUtf8(name));
    PlaceControl(label, rect);
    label->setBuddy(buddy);
    label->setAccessibleName(AccessibleCaption(caption));
    return label;
}

QGroupBox* MakeHiddenGroupBox(QWidget* parent, const char* name, const QString& caption,
                              QRect rect) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromUtf8(name));
    PlaceControl(box, rect);
    box->hide();
    return box;
}

}  // namespace vennadar

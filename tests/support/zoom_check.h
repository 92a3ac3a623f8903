#pragma once

// The text size as a user changes it, shared by the tests of both windows.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWheelEvent>
#include <array>
#include <functional>
#include <vector>

#include "core/ports/zoom.h"

namespace vennadar::test {

inline void TurnWheel(QWidget* target, int delta, Qt::KeyboardModifiers modifiers) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

struct ZoomAction {
    const char* name;
    std::function<void(QWidget* target)> act;
    int percent;  // the size after it, starting from the row before
};

// Every way to change the size, the ends and Ctrl+0, in one walk from 100 %.
inline std::vector<ZoomAction> ZoomWalk() {
    const auto key = [](Qt::Key code, Qt::KeyboardModifiers modifiers) {
        return [code, modifiers](QWidget* target) { QTest::keyClick(target, code, modifiers); };
    };
    const auto wheel = [](int delta, Qt::KeyboardModifiers modifiers) {
        return [delta, modifiers](QWidget* target) { TurnWheel(target, delta, modifiers); };
    };
    std::vector<ZoomAction> walk = {
        {"Ctrl+Plus", key(Qt::Key_Plus, Qt::ControlModifier), 110},
        {"Ctrl+=", key(Qt::Key_Equal, Qt::ControlModifier), 125},
        {"keypad Ctrl+Plus", key(Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier), 150},
        {"Ctrl+Minus", key(Qt::Key_Minus, Qt::ControlModifier), 125},
        {"keypad Ctrl+Minus", key(Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier), 110},
        {"Ctrl+0", key(Qt::Key_0, Qt::ControlModifier), 100},
        {"Ctrl+wheel up", wheel(120, Qt::ControlModifier), 110},
        {"half a notch waits", wheel(60, Qt::ControlModifier), 110},
        {"the other half steps", wheel(60, Qt::ControlModifier), 125},
        {"Ctrl+wheel down", wheel(-240, Qt::ControlModifier), 100},
        {"the wheel alone scrolls", wheel(-120, Qt::NoModifier), 100},
        {"Plus alone is typed", key(Qt::Key_Plus, Qt::NoModifier), 100},
    };
    for (int i = 0; i < 8; ++i) {
        walk.push_back({"Ctrl+Plus up to the top", key(Qt::Key_Plus, Qt::ControlModifier),
                        i < 7 ? std::array{110, 125, 150, 175, 200, 250, 300}[i] : 400});
    }
    walk.push_back({"held at 400", key(Qt::Key_Plus, Qt::ControlModifier), 400});
    walk.push_back({"Ctrl+0 from the top", key(Qt::Key_0, Qt::ControlModifier), 100});
    for (int i = 0; i < 5; ++i) {
        walk.push_back({"Ctrl+Minus down to the bottom", key(Qt::Key_Minus, Qt::ControlModifier),
                        std::array{90, 80, 67, 50, 50}[i]});
    }
    walk.push_back({"back to 100", key(Qt::Key_0, Qt::ControlModifier), 100});
    return walk;
}

// Runs the walk over `target` (a control of `window`); the focus stays where it was.
inline void ExpectZoomWalk(Zoom& zoom, QWidget* window, QWidget* target) {
    QWidget* focused = QApplication::focusWidget();
    for (const ZoomAction& action : ZoomWalk()) {
        SCOPED_TRACE(action.name);
        action.act(target);
        QApplication::processEvents();
        EXPECT_EQ(zoom.Percent(), action.percent);
        EXPECT_EQ(QApplication::focusWidget(), focused);
        EXPECT_EQ(window->font(), QApplication::font());
    }
}

// No caption is cut: each label's and button's text fits inside it, and the window inside the
// screen.
inline void ExpectCaptionsFit(QWidget* window) {
    for (QWidget* control : window->findChildren<QWidget*>()) {
        QString caption;
        if (const auto* button = qobject_cast<QAbstractButton*>(control)) {
            caption = button->text();
        } else if (const auto* label = qobject_cast<QLabel*>(control)) {
            caption = label->text();
        }
        if (caption.isEmpty() || control->objectName() == "notice") {
            continue;
        }
        SCOPED_TRACE(control->objectName().toStdString());
        const QFontMetrics metrics = control->fontMetrics();
        EXPECT_LT(metrics.horizontalAdvance(caption.remove('&')), control->width());
        EXPECT_LT(metrics.height(), control->height());
    }
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_LE(window->width(), screen.width());
    EXPECT_LE(window->height(), screen.height());
}

}  // namespace vennadar::test

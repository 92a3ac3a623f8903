#include "adapters/qt/caption.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QObject>
#include <QRegularExpression>

namespace vennadar {
namespace {

// A dialog may retitle a button while it is open (a file dialog's 保存 turns to 打开 on a
// folder); the name follows whenever the button is drawn anew.
class ButtonNameFollowsText final : public QObject {
  public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint || event->type() == QEvent::Show) {
            auto* button = static_cast<QAbstractButton*>(watched);
            const QString name = AccessibleCaption(button->text());
            if (button->accessibleName() != name) {
                button->setAccessibleName(name);
            }
        }
        return false;
    }
};

}  // namespace

QString AccessibleCaption(QString caption) {
    static const QRegularExpression marker(QStringLiteral("\\(&[^)]*\\)"));
    // A Latin letter appended to a Chinese caption ("退出&x") is only the access key.
    static const QRegularExpression appended(QStringLiteral("(?<=[^\\x{0}-\\x{7f}])&[A-Za-z0-9]"));
    caption.remove(marker);
    caption.remove(appended);
    caption.remove(QLatin1Char('&'));
    return caption.trimmed();
}

void NameByCaptions(QWidget* dialog) {
    auto* follow = new ButtonNameFollowsText(dialog);
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (!button->text().isEmpty()) {
            button->setAccessibleName(AccessibleCaption(button->text()));
            button->installEventFilter(follow);
        }
    }
    static const QRegularExpression colon(QStringLiteral("[:：]\\s*$"));
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->buddy() != nullptr) {
            // A screen reader may name the control by the label it is labelled by.
            const QString name = AccessibleCaption(label->text()).remove(colon);
            label->setAccessibleName(name);
            label->buddy()->setAccessibleName(name);
        }
    }
}

}  // namespace vennadar

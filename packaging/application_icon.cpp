#include "packaging/application_icon.h"

#include <QGuiApplication>
#include <QIcon>

namespace vennadar {

void SetApplicationIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        icon.addFile(QStringLiteral(":/icons/vennadar-%1.png").arg(size), QSize(size, size));
    }
    QGuiApplication::setWindowIcon(icon);
}

}  // namespace vennadar

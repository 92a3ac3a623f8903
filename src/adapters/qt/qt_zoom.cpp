#include "adapters/qt/qt_zoom.h"

#include <QApplication>
#include <cmath>

#include "core/settings/zoom.h"

namespace vennadar {
namespace {

QFont Scaled(QFont font, int percent) {
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * percent / 100.0);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(
            std::max(1, static_cast<int>(std::lround(font.pixelSize() * percent / 100.0))));
    }
    return font;
}

}  // namespace

QtZoom::QtZoom(std::string settings_path)
    : settings_path_(std::move(settings_path)),
      percent_(ReadZoomSetting(settings_path_)),
      desktop_font_(QApplication::font()) {
    for (const char* kind : {"QMenu", "QMenuBar", "QMessageBox", "QLabel", "QPushButton",
                             "QAbstractItemView", "QHeaderView", "QLineEdit", "QTipLabel"}) {
        const QFont font = QApplication::font(kind);
        if (font != desktop_font_) {
            class_fonts_.emplace_back(kind, font);
        }
    }
    if (percent_ != kDefaultZoom) {
        Apply();
    }
}

void QtZoom::SetPercent(int percent) {
    percent = NearestZoomStep(percent);
    if (percent == percent_) {
        return;
    }
    percent_ = percent;
    Apply();
    WriteZoomSetting(settings_path_, percent_);
}

void QtZoom::Apply() const {
    QApplication::setFont(Scaled(desktop_font_, percent_));
    for (const auto& [kind, font] : class_fonts_) {
        QApplication::setFont(Scaled(font, percent_), kind.constData());
    }
}

}  // namespace vennadar

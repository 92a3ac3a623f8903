#include "adapters/qt/qt_zoom.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

#include "core/settings/zoom.h"

namespace vennadar {
namespace {

// The size scaled, and rounded to whole pixels: a menu measures its items with the size asked
// for but draws them with the size the font resolved to, and a fraction of a pixel more on
// drawing elides the item's text ("打开网…页").
QFont Scaled(QFont font, int percent) {
    if (font.pointSizeF() > 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
        const double pixels =
            std::max(1.0, std::round(font.pointSizeF() * percent / 100.0 * dpi / 72.0));
        font.setPointSizeF(pixels * 72.0 / dpi);
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
    // A desktop font of a fractional pixel size is rounded even at 100 %.
    if (percent_ != kDefaultZoom || Scaled(desktop_font_, percent_) != desktop_font_) {
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

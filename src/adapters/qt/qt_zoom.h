#pragma once

#include <QByteArray>
#include <QFont>
#include <string>
#include <utility>
#include <vector>

#include "core/ports/zoom.h"

namespace vennadar {

// The text size as the application's font: the desktop's font scaled, so every window, menu and
// message box grows alike and no control keeps a font of its own. The size is read from and
// written to the settings file; a file that cannot be read or written means 100 % and no error.
class QtZoom final : public Zoom {
  public:
    // Remembers the desktop's fonts as they are now, so call it before any is changed.
    explicit QtZoom(std::string settings_path);

    int Percent() const override { return percent_; }
    void SetPercent(int percent) override;

  private:
    void Apply() const;

    std::string settings_path_;
    int percent_;
    QFont desktop_font_;
    // Fonts a desktop may give single kinds of control (menus, message boxes) beside its own.
    std::vector<std::pair<QByteArray, QFont>> class_fonts_;
};

}  // namespace vennadar
